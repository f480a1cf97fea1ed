#ifndef PLATFORM_SHELL_H
#define PLATFORM_SHELL_H

#include <string>

// Turns a shell command of the system into the text handed to /bin/sh.
// On the simulated board the board's bin/ comes first in PATH, a command
// named by absolute path is resolved under the board root, and programs that
// would change the machine (reboot, formatting, disk repair, mounting, clock,
// network) run only when the board has a stand-in for them. Returns 0 when
// the command is refused; `out` is then empty.
int PlatformShellCommand(const char* cmd, std::string& out);

#endif
