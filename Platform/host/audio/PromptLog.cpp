#include "Platform/PromptLog.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <string>

#include "Platform/BoardRoot.h"

void XPromptLog(int index)
{
    const std::string path = XBoardPath("/log/prompts.log");
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        return;
    }
    char line[24];
    int len = snprintf(line, sizeof(line), "PCM %d\n", index);
    if (len > 0) {
        // one write of an appended line: lines from several threads never mix
        ssize_t r = write(fd, line, static_cast<size_t>(len));
        (void)r;
    }
    close(fd);
}
