// The built-in scenario: what duodesk-sim runs when it is given no scenario.
#include "scenario.h"

namespace winsim {

// The raw texts' delimiter is "scenario": the menu labels end in ")" and a quote. The machine is a text of
// its own because an interactive session runs on it with the timeline typed in.
const char* const kBuiltInMachine =
    R"scenario(# A Windows XP machine with one display; the adapter, not yet plugged in, saved its layout last time
# (extended, 1024x768).
os 5.1 csd "Service Pack 3"
display PCI\VEN_10DE&DEV_0421 primary modes 1280x1024x32@60,75 1024x768x32@60,75 1024x768x16@60 800x600x32@60
adapter modes 1280x1024x32@60 1280x1024x16@60 1024x768x32@60 1024x768x16@60 800x600x32@60 ready-after 3 mirror-ready-after 1
profile "VGA DONGLE" DispState 2
profile "VGA DONGLE" Width 1024
profile "VGA DONGLE" Height 768
profile "VGA DONGLE" BitDepth 32
profile "VGA DONGLE" FirstRun 1
service UxSms absent
)scenario";

const char* const kBuiltInTimeline =
    R"scenario(# The utility starts at logon; the adapter is plugged in a little later and comes up in its saved
# layout. The user opens the tray menu, switches to Mirror and back to Extended, picks 1280x1024 and keeps
# it when asked; then the adapter is pulled out and a second start closes the utility.
at 0 start
at 1500 dump
at 2s plug
at 12s dump
at 13s tray-click right
at 14s menu pick "USB-VGA(Mirror)"
at 20s dump
at 21s tray-click right
at 22s menu pick "USB-VGA(Extended)"
at 28s dump
at 29s tray-click right
at 30s menu pick "Resolution" "High Resolution" "&1280X1024X32"
at 32s dump
at 33s dialog press ok
at 34s dump
at 36s unplug
at 37s dump
at 39s start Close
end 41s
)scenario";

} // namespace winsim
