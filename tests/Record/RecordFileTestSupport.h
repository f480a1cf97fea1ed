#ifndef TESTS_RECORD_RECORDFILETESTSUPPORT_H
#define TESTS_RECORD_RECORDFILETESTSUPPORT_H

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "support/TestBoard.h"

// A fresh folder under /tmp, removed with its contents at the end.
class CRecTempDir {
public:
    CRecTempDir()
    {
        char tmpl[] = "/tmp/dashcam-rec-XXXXXX";
        if (mkdtemp(tmpl) != nullptr) {
            m_strPath = tmpl;
        }
    }
    ~CRecTempDir()
    {
        if (!m_strPath.empty()) {
            std::error_code ec;
            std::filesystem::permissions(m_strPath, std::filesystem::perms::all, ec);
            std::filesystem::remove_all(m_strPath, ec);
        }
    }
    CRecTempDir(const CRecTempDir&) = delete;
    CRecTempDir& operator=(const CRecTempDir&) = delete;

    const std::string& Path() const { return m_strPath; }
    // The folder with a trailing "/", as mount paths are handed over.
    std::string Root() const { return m_strPath + "/"; }
    std::string operator/(const std::string& rel) const { return m_strPath + "/" + rel; }

private:
    std::string m_strPath;
};

inline void XRecWriteFile(const std::string& path, const std::string& data)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << data;
}

// The bytes of the file at `path`; empty when it cannot be read.
inline std::string XRecReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline bool XRecExists(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

// Names of the files (not folders) in `dir`, sorted; none when it is missing.
// Hidden names (the recorder's journals) are left out, as the card's
// folder listings leave them out.
inline std::vector<std::string> XRecListDir(const std::string& dir)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        if (!it->is_directory(ec) && it->path().filename().string()[0] != '.') {
            names.push_back(it->path().filename().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Runs a python3 helper from tests/Record with `input` as its standard input
// file; returns its output and exit status.
inline std::string XRecRunPython(const std::string& script, const std::string& input, int* status)
{
    char tmpl[] = "/tmp/dashcam-rec-in-XXXXXX";
    int fd = mkstemp(tmpl);
    if (fd < 0) {
        *status = -1;
        return "mkstemp failed";
    }
    close(fd);
    XRecWriteFile(tmpl, input);
    std::string out = XTestRun(std::string(DASHCAM_PYTHON " ") + DASHCAM_SOURCE_DIR + "/tests/Record/" + script +
                                   " < " + tmpl + " 2>&1",
                               status);
    unlink(tmpl);
    return out;
}

#endif
