// Rights and integrity levels: what the token of each process may do under User Account Control, and
// which window messages reach a process of higher integrity (User Interface Privilege Isolation).
#pragma once
#include <windows.h>

namespace winsim {

struct Process;
struct Window;

// Windows before Vista have no integrity levels: None never blocks anything.
enum class Integrity { None, Medium, High };

// The user's administrator rights are in the token: on XP, with UAC off, or in an elevated start.
bool HasFullToken(const Process& process);
Integrity IntegrityOf(const Process& process);
// Explorer, and so the notification area, runs at the rights of a start that is not elevated.
Integrity ShellIntegrity();
// Whether a message sent or posted at `from` reaches the window, after its process's and its own filter.
bool MessageReaches(Integrity from, const Window& window, UINT message);
// HKLM, the service control manager and the security privilege need the full token of the process that
// runs now.
bool MayChangeMachine();

} // namespace winsim
