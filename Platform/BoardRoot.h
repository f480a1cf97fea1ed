#ifndef PLATFORM_BOARDROOT_H
#define PLATFORM_BOARDROOT_H

#include <string>

// Every absolute device path (/root/system.ini, /dev/mem, /tmp/mmc0, ...) goes
// through XBoardPath. On the camera the board root is "/" and paths are
// unchanged; on the simulated board they resolve under the board folder.

// The board root without a trailing slash ("" on the camera).
std::string PlatformBoardRoot();

// Resolves an absolute path under the board root; relative paths are kept.
std::string XBoardPath(const char* path);
std::string XBoardPath(const std::string& path);

// Checks that the process may start on this board. Prints the reason and
// returns 0 when it may not (the host build needs a board folder).
int PlatformCheckBoard();

// Host builds only: points the process at another board folder (tests).
void PlatformSetBoardRoot(const char* root);

#endif
