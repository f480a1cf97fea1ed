#ifndef FUNCTION_SHELL_H
#define FUNCTION_SHELL_H

#include <string>
#include <vector>

// The shell and the file systems as the managers with injected links use
// them (ExecCommand, ExecCommand2 and SyncFS of Function/common.h).
class CShell {
public:
    virtual ~CShell() = default;

    // The command's exit status; -1 when it cannot start.
    virtual int RunCommand(const char* cmd) = 0;
    // The command's output lines.
    virtual int ExecCommand2(const char* cmd, std::vector<std::string>& lines) = 0;
    virtual void SyncFS() = 0;
};

#endif
