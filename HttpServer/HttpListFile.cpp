#include "HttpServer/HttpListFile.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "Function/common.h"
#include "Platform/BoardRoot.h"

namespace {

// The file of one list and the document it holds (not kept alive by it:
// only compared, and the file keeps its own copy).
class CListFile {
public:
    CListFile() = default;
    CListFile(const CListFile&) = delete;
    CListFile& operator=(const CListFile&) = delete;
    ~CListFile() { Close(); }

    bool Holds(const RecordListBytes& bytes) const
    {
        return m_nFd != -1 && !m_Source.owner_before(bytes) && !bytes.owner_before(m_Source);
    }
    bool Write(const RecordListBytes& bytes)
    {
        Close();
        m_nFd = XAnonymousFile();
        if (m_nFd == -1) {
            return false;
        }
        const std::string& doc = *bytes;
        if (FullWrite(m_nFd, doc.data(), doc.size()) != static_cast<ssize_t>(doc.size())) {
            Close();
            return false;
        }
        m_Source = bytes;
        return true;
    }
    int Dup() const { return fcntl(m_nFd, F_DUPFD_CLOEXEC, 0); }
    void Close()
    {
        if (m_nFd != -1) {
            close(m_nFd);
            m_nFd = -1;
        }
        m_Source.reset();
    }

private:
    static int XAnonymousFile()
    {
        const int fd = memfd_create("list", MFD_CLOEXEC);
        if (fd != -1) {
            return fd;
        }
        std::string path = XBoardPath("/tmp") + "/list-XXXXXX";
        const int tmp = mkostemp(&path[0], O_CLOEXEC);
        if (tmp != -1) {
            unlink(path.c_str());
        }
        return tmp;
    }

    int m_nFd = -1;
    std::weak_ptr<const std::string> m_Source;
};

CListFile g_Files[HTTP_LIST_FILE_SLOTS];
bool g_bEnabled = true;

}  // namespace

int list_file_for(size_t slot, const RecordListBytes& bytes)
{
    if (slot >= HTTP_LIST_FILE_SLOTS) {
        return -1;
    }
    CListFile& file = g_Files[slot];
    if (!g_bEnabled || !bytes) {
        file.Close();
        return -1;
    }
    if (!file.Holds(bytes) && !file.Write(bytes)) {
        return -1;
    }
    return file.Dup();
}

void list_files_enable(int enable)
{
    g_bEnabled = enable != 0;
}
