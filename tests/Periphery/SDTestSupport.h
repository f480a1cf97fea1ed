#ifndef TESTS_PERIPHERY_SDTESTSUPPORT_H
#define TESTS_PERIPHERY_SDTESTSUPPORT_H

#include <errno.h>

#include <cstdint>
#include <cstring>

#include <deque>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "Periphery/SDManager.h"
#include "Periphery/SDRecordClient.h"
#include "Periphery/SDSystem.h"
#include "Platform/BoardRoot.h"

// The system calls of the SD manager in memory: register words, a mount
// table text that Mount and Umount keep, and a log of every call
// ("mount DEV DIR rw", "umount DIR", "detach DIR", "exec CMD", "sleep MS").
class CFakeSDSystem : public CSDSystem {
public:
    BOOL ReadPhyAddr(unsigned phy_addr, int& value) override
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        if (m_bRegistersFail) {
            return FALSE;
        }
        if (phy_addr == SD_CARD_DETECT_ADDR) {
            value = m_bInserted ? 0x2 : 0x3;  // only bit 0 counts
            return TRUE;
        }
        if (phy_addr == SD_WRITE_PROTECT_ADDR) {
            value = m_bProtected ? 0x5 : 0x4;
            return TRUE;
        }
        return FALSE;
    }

    BOOL Mount(const char* dev, const char* dir, const char* fstype, BOOL bReadOnly, int& err) override
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        m_Calls.push_back(std::string("mount ") + dev + " " + dir + (bReadOnly ? " ro" : " rw"));
        err = 0;
        if (!m_MountErrors.empty()) {
            err = m_MountErrors.front();
            m_MountErrors.pop_front();
        }
        if (err != 0) {
            return FALSE;
        }
        m_strTable += Escape(dev) + " " + Escape(dir) + " " + fstype + (bReadOnly ? " ro" : " rw") + ",relatime 0 0\n";
        return TRUE;
    }

    BOOL Umount(const char* dir, BOOL bDetach, int& err) override
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        m_Calls.push_back(std::string(bDetach ? "detach " : "umount ") + dir);
        err = 0;
        if (bDetach ? m_bDetachFails : m_nUmountBusy != 0) {
            if (!bDetach && m_nUmountBusy > 0) {
                --m_nUmountBusy;
            }
            err = EBUSY;
            return FALSE;
        }
        if (!RemoveLine(dir)) {
            err = EINVAL;
            return FALSE;
        }
        return TRUE;
    }

    BOOL StatFs(const char* dir, SDFsInfo& info) override
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        m_Calls.push_back(std::string("statfs ") + dir);
        if (m_bStatFails) {
            return FALSE;
        }
        info = m_Fs;
        return TRUE;
    }

    BOOL ReadMountTable(const char*, std::string& text) override
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        text = m_strTable;
        return m_bTableMissing ? FALSE : TRUE;
    }

    int ReadPartition(const char*, uint64_t offset, void* buf, size_t len) override
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        if (m_nPartitionError != 0) {
            return m_nPartitionError;
        }
        if (offset > m_Partition.size() || len > m_Partition.size() - offset) {
            return EIO;
        }
        memcpy(buf, m_Partition.data() + offset, len);
        return 0;
    }

    int Exec(const char* cmd) override
    {
        std::function<int(const std::string&)> hook;
        {
            std::lock_guard<std::mutex> lock(m_Lock);
            m_Calls.push_back(std::string("exec ") + cmd);
            hook = m_ExecHook;
        }
        return hook ? hook(cmd) : 0;
    }

    void Sleep(unsigned ms) override
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        m_Calls.push_back("sleep " + std::to_string(ms));
    }

    // Calls that start with `prefix`.
    std::vector<std::string> Calls(const std::string& prefix = "")
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        std::vector<std::string> out;
        for (const std::string& c : m_Calls) {
            if (c.compare(0, prefix.size(), prefix) == 0) {
                out.push_back(c);
            }
        }
        return out;
    }
    void ClearCalls()
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        m_Calls.clear();
    }
    // Sets the options of the line mounted on `dir` ("ro" / "rw").
    void SetLineMode(const std::string& dir, const char* mode)
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        std::istringstream in(m_strTable);
        std::string line, out;
        while (std::getline(in, line)) {
            std::vector<std::string> w = Fields(line);
            if (w.size() >= 3 && w[1] == Escape(dir)) {
                line = w[0] + " " + w[1] + " " + w[2] + " " + mode + ",relatime 0 0";
            }
            out += line + "\n";
        }
        m_strTable = out;
    }
    void RemoveMountLine(const std::string& dir)
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        RemoveLine(dir.c_str());
    }

    std::mutex m_Lock;
    bool m_bInserted = true;
    bool m_bProtected = false;
    bool m_bRegistersFail = false;
    bool m_bTableMissing = false;
    bool m_bDetachFails = false;
    bool m_bStatFails = false;
    int m_nUmountBusy = 0;  // the next N plain unmounts fail with EBUSY (-1: all)
    std::deque<int> m_MountErrors;
    std::function<int(const std::string&)> m_ExecHook;
    std::vector<uint8_t> m_Partition;  // the partition's first bytes (none: nothing to read)
    int m_nPartitionError = 0;         // ReadPartition's error (EBUSY: a file system holds it)
    std::string m_strTable;
    SDFsInfo m_Fs = {4096, 8ULL << 30, 4ULL << 30};
    std::vector<std::string> m_Calls;

    // Names as the kernel writes them in its mount table: blank, tab,
    // newline and backslash in octal, every other byte as it is.
    static std::string Escape(const std::string& s)
    {
        std::string out;
        for (char c : s) {
            switch (c) {
            case ' ': out += "\\040"; break;
            case '\t': out += "\\011"; break;
            case '\n': out += "\\012"; break;
            case '\\': out += "\\134"; break;
            default: out += c;
            }
        }
        return out;
    }
    // The fields of a table line as the kernel separates them (by blanks).
    static std::vector<std::string> Fields(const std::string& line)
    {
        std::vector<std::string> out;
        std::string field;
        for (char c : line + " ") {
            if (c == ' ') {
                if (!field.empty()) {
                    out.push_back(field);
                }
                field.clear();
            } else {
                field += c;
            }
        }
        return out;
    }

private:
    bool RemoveLine(const char* dir)
    {
        std::istringstream in(m_strTable);
        std::string line, out;
        bool removed = false;
        while (std::getline(in, line)) {
            std::vector<std::string> w = Fields(line);
            if (!removed && w.size() >= 2 && w[1] == Escape(dir)) {
                removed = true;
                continue;
            }
            out += line + "\n";
        }
        m_strTable = out;
        return removed;
    }
};

// Every state a callback was called with, in order.
typedef struct tagSDStateLog {
    std::mutex lock;
    std::vector<int> states;
    std::vector<std::string> order;  // names of the callbacks in call order
    std::string name;

    static int Record(int state, void* priv)
    {
        tagSDStateLog* log = static_cast<tagSDStateLog*>(priv);
        std::lock_guard<std::mutex> guard(log->lock);
        log->states.push_back(state);
        return 0;
    }
    std::vector<int> States()
    {
        std::lock_guard<std::mutex> guard(lock);
        return states;
    }
} SDStateLog;

// The recording engine's part in the free-space policy: each deletion frees
// `m_nFreedPerDelete` bytes of the fake file system until `m_nFiles` runs out.
class CRecordDouble : public CSDRecordClient {
public:
    explicit CRecordDouble(CFakeSDSystem* fs = nullptr) : m_pFs(fs) {}

    int GetIsPauseRecord() override
    {
        return m_bPaused ? 1 : 0;
    }
    BOOL CheckOverflowFile() override
    {
        ++m_nOverflowChecks;
        return TRUE;
    }
    BOOL DeleteOldestCommonRecordFile() override
    {
        if (m_nFiles == 0) {
            return FALSE;
        }
        --m_nFiles;
        ++m_nDeleted;
        if (m_pFs != nullptr) {
            std::lock_guard<std::mutex> lock(m_pFs->m_Lock);
            m_pFs->m_Fs.free_bytes += m_nFreedPerDelete;
        }
        return TRUE;
    }
    BOOL StopAllRecord(BOOL bFlushBuffer, BOOL bImmediately) override
    {
        m_Stops.push_back(std::to_string(bFlushBuffer) + "," + std::to_string(bImmediately));
        return TRUE;
    }

    CFakeSDSystem* m_pFs;
    bool m_bPaused = false;
    int m_nFiles = 0;
    uint64_t m_nFreedPerDelete = 0;
    int m_nOverflowChecks = 0;
    int m_nDeleted = 0;
    std::vector<std::string> m_Stops;
};

#endif
