#ifndef TOOLS_RECFEED_TOOLBOARD_H
#define TOOLS_RECFEED_TOOLBOARD_H

// A throw-away board folder for the host tools, whose card (/tmp/mmc0) is a
// link to a folder of the caller's choice. Removed again, without the card.

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "Function/common.h"
#include "Platform/BoardRoot.h"

class CToolBoard {
public:
    explicit CToolBoard(const char* cardDir)
    {
        char real[4096];
        if (!XCreateFullPathDir(cardDir, 0777) || realpath(cardDir, real) == nullptr) {
            fprintf(stderr, "cannot use the card folder %s\n", cardDir);
            return;
        }
        char tmpl[] = "/tmp/recfeed-board-XXXXXX";
        if (mkdtemp(tmpl) == nullptr) {
            fprintf(stderr, "cannot make a board folder\n");
            return;
        }
        m_strDir = tmpl;
        XCreateFullPathDir((m_strDir + "/tmp").c_str(), 0777);
        XCreateFullPathDir((m_strDir + "/root").c_str(), 0777);
        XCreateFullPathDir((m_strDir + "/dev").c_str(), 0777);
        XCreateFullPathDir((m_strDir + "/bin").c_str(), 0777);
        // The register file the GPIO manager maps (the recording LED).
        const int fd = open((m_strDir + "/dev/mem").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0 || ftruncate(fd, 0x20200000) != 0) {
            fprintf(stderr, "cannot make the board's register file\n");
        }
        if (fd >= 0) {
            close(fd);
        }
        m_strCardLink = m_strDir + "/tmp/mmc0";
        if (symlink(real, m_strCardLink.c_str()) != 0) {
            fprintf(stderr, "cannot link the card folder\n");
            return;
        }
        PlatformSetBoardRoot(m_strDir.c_str());
        m_bOk = true;
    }

    ~CToolBoard()
    {
        PlatformSetBoardRoot("");
        if (!m_strCardLink.empty() && unlink(m_strCardLink.c_str()) != 0 && errno != ENOENT) {
            return;  // never walk into the card
        }
        if (m_strDir.rfind("/tmp/recfeed-board-", 0) == 0) {
            XRemoveDirectory(m_strDir.c_str(), 0);
        }
    }

    bool Ok() const { return m_bOk; }

private:
    std::string m_strDir;
    std::string m_strCardLink;
    bool m_bOk = false;
};

#endif
