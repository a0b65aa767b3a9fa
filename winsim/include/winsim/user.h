// What the user can do to the simulated desktop, as the scenario names it and the machine carries it out.
#pragma once

namespace winsim {

// A mouse action on the first icon of the notification area (scenario event tray-click).
enum class TrayClick { Left, Right, Double, Move };

// A key or a click in the modal dialog (scenario event dialog press): a click on the OK or Cancel button,
// the Escape key, or the close box.
enum class DialogPress { Ok, Cancel, Escape, Close };

} // namespace winsim
