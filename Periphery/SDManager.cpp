#include "Periphery/SDManager.h"

#include <errno.h>
#include <fcntl.h>
#include <inttypes.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "Function/common.h"
#include "Periphery/SDFsState.h"
#include "Periphery/SDRecordClient.h"
#include "Platform/BoardRoot.h"
#include "Platform/Card.h"

namespace {

const int kMaxDisks = 10;
const int kMaxPartitions = 4;
const int kFormatTries = 5;
const int kUnmountTries = 5;
const int kRemountTries = 3;
const unsigned kRetryPauseMs = 1000;
// Bound of one free-space pass, against an engine that reports deletions
// that free nothing; the next pass goes on.
const int kMaxDeletesPerPass = 256;

// Copies `src` into a buffer of `size` bytes, cut to fit and NUL-ended.
void XCopyName(char* dst, size_t size, const char* src)
{
    if (size == 0) {
        return;
    }
    snprintf(dst, size, "%s", src != nullptr ? src : "");
}

// Decodes the octal escapes (\040 for a blank, ...) of a mount table field.
std::string XDecodeMountField(const std::string& s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '3' && s[i + 2] >= '0' &&
            s[i + 2] <= '7' && s[i + 3] >= '0' && s[i + 3] <= '7') {
            out += static_cast<char>((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0'));
            i += 3;
        } else {
            out += s[i];
        }
    }
    return out;
}

// The path with every symbolic link resolved, or the path itself when it
// cannot be resolved (a source such as "tmpfs").
std::string XCanonicalPath(const std::string& path)
{
    char buf[PATH_MAX];
    if (realpath(path.c_str(), buf) == nullptr) {
        return path;
    }
    return buf;
}

bool XSamePath(const std::string& a, const std::string& b)
{
    return a == b || XCanonicalPath(a) == XCanonicalPath(b);
}

// The first `count` fields of a mount table line, their octal escapes
// decoded. The kernel separates fields by blanks and escapes only blank,
// tab, newline and backslash, so every other byte (\r, \v, \f, ...) belongs
// to a field. False when the line has fewer fields.
bool XMountFields(const std::string& line, size_t count, std::vector<std::string>& fields)
{
    fields.clear();
    size_t i = 0;
    while (fields.size() < count) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) {
            ++i;
        }
        if (i == line.size()) {
            return false;
        }
        const size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') {
            ++i;
        }
        fields.push_back(XDecodeMountField(line.substr(start, i - start)));
    }
    return true;
}

// Whether a line of the mount table `text` has the source `dev`.
bool XTableListsSource(const std::string& text, const std::string& dev)
{
    std::istringstream lines(text);
    std::string line;
    std::vector<std::string> fields;
    while (std::getline(lines, line)) {
        if (XMountFields(line, 2, fields) && XSamePath(fields[0], dev)) {
            return true;
        }
    }
    return false;
}

// A device command on one path, as the camera's shell gets it ("umount
// /tmp/mmc0 \n"): the path quoted when it holds anything the shell would
// split or expand.
std::string XPathCommand(const char* words, const std::string& path)
{
    return std::string(words) + " " + XShellQuote(path) + " \n";
}

}  // namespace

CSDManager::CSDManager() : CSDManager(&m_OwnSystem)
{
}

CSDManager::CSDManager(CSDSystem* pSystem)
    : m_SDState(0),
      m_PauseSD(FALSE),
      m_FormatingSD(FALSE),
      m_bNoSpace(FALSE),
      m_CardCheckFailed(FALSE),
      m_nNotifierCount(0),
      m_nOldState(-1),
      m_nDisk(-1),
      m_pSystem(pSystem),
      m_pRecordClient(nullptr)
{
    m_szFirstPartName[0] = '\0';
    m_szMountPath[0] = '\0';
    for (SDStateCBInfo& info : m_StateNotifier) {
        info.cb_fun = nullptr;
        info.priv_data = nullptr;
    }
}

CSDManager::~CSDManager() = default;

int CSDManager::GetSDSate() const
{
    return m_SDState.load();
}

void CSDManager::SetState(int state)
{
    m_SDState.store(state);
}

void CSDManager::SetFormatStatusFlag(BOOL flag)
{
    m_FormatingSD.store(flag ? TRUE : FALSE);
}

BOOL CSDManager::GetFormatStatusFlag() const
{
    return m_FormatingSD.load();
}

BOOL CSDManager::GetNoSpaceFlag() const
{
    return m_bNoSpace.load();
}

void CSDManager::SetRecordClient(CSDRecordClient* client)
{
    m_pRecordClient.store(client);
}

BOOL CSDManager::GetCardCheckFailed() const
{
    return m_CardCheckFailed.load();
}

BOOL CSDManager::GetSDMountPath(char* path, size_t size)
{
    if (path == nullptr) {
        return FALSE;
    }
    CGuard guard(m_Mutex);
    const int state = m_SDState.load();
    if (m_PauseSD.load() || (state & emSDState_Insert) == 0 || (state & emSDState_Mount) == 0 ||
        m_szMountPath[0] == '\0') {
        return FALSE;
    }
    size_t len = strlen(m_szMountPath);
    const bool slash = m_szMountPath[len - 1] == '/';
    if (size < len + (slash ? 1 : 2)) {
        return FALSE;
    }
    memcpy(path, m_szMountPath, len);
    if (!slash) {
        path[len++] = '/';
    }
    path[len] = '\0';
    return TRUE;
}

BOOL CSDManager::GetDiskSpaceInfo(uint64_t* total, uint64_t* freeBytes)
{
    uint64_t t = 0;
    uint64_t f = 0;
    BOOL ok = FALSE;
    {
        CGuard guard(m_Mutex);
        const int state = m_SDState.load();
        if (!m_PauseSD.load() && (state & emSDState_Insert) != 0 && (state & emSDState_Mount) != 0 &&
            m_szMountPath[0] != '\0') {
            SDFsInfo info = {};
            if (m_pSystem->StatFs(XBoardPath(m_szMountPath).c_str(), info)) {
                t = info.total_bytes;
                f = info.free_bytes;
                ok = TRUE;
            }
        }
    }
    if (total != nullptr) {
        *total = t;
    }
    if (freeBytes != nullptr) {
        *freeBytes = f;
    }
    return ok;
}

BOOL CSDManager::RegisterSDStateCallback(SD_STATE_CALLBACK_FUN fun, void* priv)
{
    if (fun == nullptr) {
        return FALSE;
    }
    std::lock_guard<std::mutex> lock(m_CallbackLock);
    for (int i = 0; i < m_nNotifierCount; ++i) {
        if (m_StateNotifier[i].cb_fun == fun && m_StateNotifier[i].priv_data == priv) {
            return FALSE;
        }
    }
    if (m_nNotifierCount >= SD_STATE_CALLBACK_MAX) {
        return FALSE;
    }
    m_StateNotifier[m_nNotifierCount].cb_fun = fun;
    m_StateNotifier[m_nNotifierCount].priv_data = priv;
    ++m_nNotifierCount;
    return TRUE;
}

BOOL CSDManager::UnregisterSDStateCallback(SD_STATE_CALLBACK_FUN fun, void* priv)
{
    std::unique_lock<std::mutex> lock(m_CallbackLock);
    for (int i = 0; i < m_nNotifierCount; ++i) {
        if (m_StateNotifier[i].cb_fun == fun && m_StateNotifier[i].priv_data == priv) {
            for (int j = i + 1; j < m_nNotifierCount; ++j) {
                m_StateNotifier[j - 1] = m_StateNotifier[j];
            }
            --m_nNotifierCount;
            m_StateNotifier[m_nNotifierCount].cb_fun = nullptr;
            m_StateNotifier[m_nNotifierCount].priv_data = nullptr;
            // The caller may free `priv` next: let a call still running end.
            const std::thread::id self = std::this_thread::get_id();
            m_CallEnded.wait(lock, [&] { return !IsCalledElsewhere(fun, priv, self); });
            return TRUE;
        }
    }
    return FALSE;
}

bool CSDManager::IsRegistered(const SDStateCBInfo& info) const
{
    for (int i = 0; i < m_nNotifierCount; ++i) {
        if (m_StateNotifier[i].cb_fun == info.cb_fun && m_StateNotifier[i].priv_data == info.priv_data) {
            return true;
        }
    }
    return false;
}

bool CSDManager::IsCalledElsewhere(SD_STATE_CALLBACK_FUN fun, void* priv, std::thread::id self) const
{
    for (const tagSDStateCall& call : m_Calls) {
        if (call.info.cb_fun == fun && call.info.priv_data == priv && call.thread != self) {
            return true;
        }
    }
    return false;
}

void CSDManager::SDStateNotify(int state)
{
    m_bNoSpace = FALSE;  // the recording engine starts afresh on any change
    SDStateCBInfo table[SD_STATE_CALLBACK_MAX];
    int count = 0;
    {
        std::lock_guard<std::mutex> lock(m_CallbackLock);
        count = m_nNotifierCount;
        for (int i = 0; i < count; ++i) {
            table[i] = m_StateNotifier[i];
        }
    }
    const std::thread::id self = std::this_thread::get_id();
    for (int i = 0; i < count; ++i) {
        {
            // Unregistered since the copy: its owner may have freed it.
            std::lock_guard<std::mutex> lock(m_CallbackLock);
            if (!IsRegistered(table[i])) {
                continue;
            }
            m_Calls.push_back(tagSDStateCall{table[i], self});
        }
        table[i].cb_fun(state, table[i].priv_data);
        std::lock_guard<std::mutex> lock(m_CallbackLock);
        for (size_t c = m_Calls.size(); c-- > 0;) {
            if (m_Calls[c].thread == self && m_Calls[c].info.cb_fun == table[i].cb_fun &&
                m_Calls[c].info.priv_data == table[i].priv_data) {
                m_Calls.erase(m_Calls.begin() + static_cast<std::ptrdiff_t>(c));
                break;
            }
        }
        m_CallEnded.notify_all();
    }
}

void CSDManager::ClearNames(BOOL bPartName)
{
    CGuard guard(m_Mutex);
    m_szMountPath[0] = '\0';
    if (bPartName) {
        m_szFirstPartName[0] = '\0';
    }
}

BOOL CSDManager::SDInserted(BOOL& bInserted)
{
    int value = 0;
    if (!m_pSystem->ReadPhyAddr(SD_CARD_DETECT_ADDR, value)) {
        return FALSE;
    }
    bInserted = (value & 1) == 0 ? TRUE : FALSE;
    return TRUE;
}

BOOL CSDManager::SDWriteProtect()
{
    int value = 0;
    if (!m_pSystem->ReadPhyAddr(SD_WRITE_PROTECT_ADDR, value)) {
        XERROR("cannot read the write-protect register\n");
        return FALSE;
    }
    return (value & 1) != 0 ? TRUE : FALSE;
}

BOOL CSDManager::SDReadOnly(int disk)
{
    if (disk < 0 || disk >= kMaxDisks) {
        return FALSE;
    }
    char path[64];
    snprintf(path, sizeof(path), "/sys/block/mmcblk%d/ro", disk);
    int fd = open(XBoardPath(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return FALSE;
    }
    char c = 0;
    ssize_t n = SafeRead(fd, &c, 1);
    close(fd);
    return (n == 1 && c == '1') ? TRUE : FALSE;
}

int CSDManager::GetSDFirstPartitionDevNodeName(char* name, size_t size)
{
    char path[64];
    for (int disk = 0; disk < kMaxDisks; ++disk) {
        snprintf(path, sizeof(path), "/dev/mmcblk%d", disk);
        if (!XFilePathExists(XBoardPath(path).c_str())) {
            continue;
        }
        for (int part = 1; part <= kMaxPartitions; ++part) {
            snprintf(path, sizeof(path), "/dev/mmcblk%dp%d", disk, part);
            if (XFilePathExists(XBoardPath(path).c_str())) {
                XCopyName(name, size, path);
                return disk;
            }
        }
    }
    XCopyName(name, size, "");
    return -1;
}

BOOL CSDManager::CheckMountedStatus(const char* devname, const char* mountdir, BOOL& bMounted, BOOL& bReadOnly,
                                    BOOL* pReadable)
{
    bMounted = FALSE;
    bReadOnly = FALSE;
    if (pReadable != nullptr) {
        *pReadable = TRUE;
    }
    std::string text;
    if (!m_pSystem->ReadMountTable(XBoardPath("/proc/mounts").c_str(), text)) {
        XERROR("/proc/mounts not found. Is the /proc filesystem mounted?\n");
        if (pReadable != nullptr) {
            *pReadable = FALSE;
        }
        return FALSE;
    }
    if (devname == nullptr || mountdir == nullptr || mountdir[0] == '\0') {
        return FALSE;
    }
    const std::string dev = XBoardPath(devname);
    const std::string dir = XBoardPath(mountdir);
    BOOL found = FALSE;
    BOOL other = FALSE;
    std::istringstream lines(text);
    std::string line;
    std::vector<std::string> fields;  // source, folder, type, options
    while (std::getline(lines, line)) {
        if (!XMountFields(line, 4, fields) || !XSamePath(fields[1], dir)) {
            continue;
        }
        if (XSamePath(fields[0], dev)) {
            found = TRUE;
            bMounted = TRUE;
            bReadOnly = strncasecmp(fields[3].c_str(), "ro", 2) == 0 ? TRUE : FALSE;
        } else {
            other = TRUE;
        }
    }
    // Another device on the same folder hides or shares the card: not
    // safely writable.
    if (found && other) {
        bReadOnly = TRUE;
    }
    return found;
}

BOOL CSDManager::CheckFileSystem(const std::string& rdev)
{
    const emSDFsState fs = XSDFsState(PlatformCardFsType(), [&](uint64_t offset, uint8_t* buf, size_t len) {
        return m_pSystem->ReadPartition(rdev.c_str(), offset, buf, len) == 0;
    });
    // Clean, still held by a file system of the kernel, or nothing readable:
    // mounted as it is.
    if (fs != emSDFsState_Dirty) {
        return TRUE;
    }
    if (SDReadOnly(m_nDisk) || SDWriteProtect()) {
        printf("SD Card Not Cleanly Unmounted, Not Checked: Read Only.\n");
        return TRUE;
    }
    const std::string cmd = XPathCommand(PlatformCardCheckCommand(), rdev);
    printf("SD Card Not Cleanly Unmounted, Checking: %s", cmd.c_str());
    fflush(stdout);
    const int status = m_pSystem->Exec(cmd.c_str());
    const int code = status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (code < 0 || code > PlatformCardCheckRepairedMax()) {
        XERROR("SD card check failed, the card is not mounted[status=%d]: %s", status, cmd.c_str());
        return FALSE;
    }
    printf("SD Card Checked: %s.\n", code == 0 ? "No Errors" : "Errors Repaired");
    return TRUE;
}

BOOL CSDManager::Mount(const char* dev, const char* target, BOOL& bReadOnly, BOOL* pCheckFailed)
{
    const std::string rdev = XBoardPath(dev);
    const std::string rdir = XBoardPath(target);
    const char* fstype = PlatformCardFsType();
    int ret = -1;
    BOOL bMounted = FALSE;
    BOOL bRO = FALSE;
    int err = 0;
    if (pCheckFailed != nullptr) {
        *pCheckFailed = FALSE;
    }

    if (CheckMountedStatus(dev, target, bMounted, bRO) && bMounted) {
        // A stale mount of the card: drop it and mount afresh.
        m_pSystem->Exec(XPathCommand("mkdir -p", rdir).c_str());
        if (!m_pSystem->Umount(rdir.c_str(), FALSE, err) && !m_pSystem->Umount(rdir.c_str(), TRUE, err)) {
            printf("UMOUNT ERROR[ret=%d:errno=%d:%s]\n", -1, err, strerror(err));
            ret = 0;
        }
    }
    if (ret != 0) {
        m_pSystem->Exec(XPathCommand("mkdir -p", rdir).c_str());
        m_pSystem->Exec(XPathCommand("umount", rdir).c_str());
        if (!CheckFileSystem(rdev)) {
            if (pCheckFailed != nullptr) {
                *pCheckFailed = TRUE;
            }
            bReadOnly = FALSE;
            return FALSE;
        }
        // Only shown: the mount itself is a system call.
        const std::string shown = std::string("mount -t ") + fstype + " " + rdev + " " + rdir + "\n";
        printf("%s", shown.c_str());
        BOOL bLocked = FALSE;
        BOOL ok = m_pSystem->Mount(rdev.c_str(), rdir.c_str(), fstype, FALSE, err);
        if (!ok && (err == EACCES || err == EROFS)) {
            // The card is read-only at the block level: mount it read-only.
            ok = m_pSystem->Mount(rdev.c_str(), rdir.c_str(), fstype, TRUE, err);
            bLocked = ok;
        }
        if (!ok) {
            printf("MOUNT ERROR[ret=%d:errno=%d:%s]: %s", -1, err, strerror(err), shown.c_str());
        } else {
            if (!bLocked) {
                m_pSystem->Exec(XPathCommand("mount -oremount,rw", rdir).c_str());
            }
            BOOL found = CheckMountedStatus(dev, target, bMounted, bRO);
            if (!found) {
                printf("CHECK MOUNTED STATUS FAILED 2.\n");
            } else if (!bMounted) {
                printf("CHECK MOUNTED STATUS FAILED 1.\n");
            } else {
                ret = 0;
            }
            // Mounted but not seen so: nothing may stay mounted behind the state.
            if (ret != 0 &&
                !m_pSystem->Umount(rdir.c_str(), FALSE, err) && !m_pSystem->Umount(rdir.c_str(), TRUE, err)) {
                printf("UMOUNT ERROR[ret=%d:errno=%d:%s]\n", -1, err, strerror(err));
            }
        }
    }
    bReadOnly = bRO;
    return ret == 0 ? TRUE : FALSE;
}

BOOL CSDManager::Unmount(const char* dir, BOOL bDetach)
{
    if (dir == nullptr || dir[0] == '\0') {
        return FALSE;
    }
    const std::string rdir = XBoardPath(dir);
    printf("[UMOUNT SD] umount %s \n", rdir.c_str());
    const int tries = bDetach ? 1 : kUnmountTries;
    int err = 0;
    for (int i = 1; i <= tries; ++i) {
        if (m_pSystem->Umount(rdir.c_str(), FALSE, err)) {
            return TRUE;
        }
        printf("SD Umount[ret=%d:errno=%d:%s] try count = %d\n", -1, err, strerror(err), i);
        if (err == EINVAL) {
            // Not a mount point (any more): done when the card's line is gone.
            BOOL bMounted = FALSE;
            BOOL bRO = FALSE;
            char part[256];
            {
                CGuard guard(m_Mutex);
                XCopyName(part, sizeof(part), m_szFirstPartName);
            }
            std::string text;
            if (!CheckMountedStatus(part, dir, bMounted, bRO) &&
                m_pSystem->ReadMountTable(XBoardPath("/proc/mounts").c_str(), text)) {
                return TRUE;
            }
        }
        if (i < tries) {
            m_pSystem->Sleep(kRetryPauseMs);
        }
    }
    if (bDetach) {
        // The card is gone: detach the folder now, whatever still holds it.
        if (m_pSystem->Umount(rdir.c_str(), TRUE, err)) {
            return TRUE;
        }
        printf("SD Umount[ret=%d:errno=%d:%s] detach\n", -1, err, strerror(err));
    }
    return FALSE;
}

BOOL CSDManager::SDFormat(const char* dev)
{
    if (dev == nullptr || dev[0] == '\0') {
        return FALSE;
    }
    const std::string rdev = XBoardPath(dev);
    const std::string cmd = XPathCommand("mkdosfs -v", rdev);
    printf("[FORMAT SD] mkdosfs -v %s \n", rdev.c_str());
    for (int i = 1; i <= kFormatTries; ++i) {
        errno = 0;
        int ret = m_pSystem->Exec(cmd.c_str());
        if (ret == 0) {
            return TRUE;
        }
        int e = errno;
        printf("SD Format try count = %d(ret = %d,errno=%d[%s])\n", i, ret, e, strerror(e));
        if (i < kFormatTries) {
            m_pSystem->Sleep(kRetryPauseMs);
        }
    }
    return FALSE;
}

BOOL CSDManager::UnmountedForFormat(const char* part, const char* dir, BOOL bJustUnmounted)
{
    if (part == nullptr || part[0] == '\0') {
        return TRUE;  // no partition: SDFormat runs nothing
    }
    BOOL bMounted = FALSE;
    BOOL bRO = FALSE;
    BOOL readable = TRUE;
    if (dir != nullptr && dir[0] != '\0' && CheckMountedStatus(part, dir, bMounted, bRO, &readable)) {
        if (!Unmount(dir, FALSE)) {
            return FALSE;
        }
        bJustUnmounted = TRUE;
    }
    // An unreadable table: only an unmount just done vouches for the partition.
    if (!readable) {
        return bJustUnmounted;
    }
    std::string text;
    if (!m_pSystem->ReadMountTable(XBoardPath("/proc/mounts").c_str(), text)) {
        XERROR("/proc/mounts not found. Is the /proc filesystem mounted?\n");
        return bJustUnmounted;
    }
    return XTableListsSource(text, XBoardPath(part)) ? FALSE : TRUE;
}

BOOL CSDManager::RemountReadWrite(const char* dir)
{
    const std::string rdir = XBoardPath(dir);
    const std::string cmd = XPathCommand("mount -oremount,rw", rdir);
    printf("mount -oremount,rw %s \n", rdir.c_str());
    for (int i = 1; i <= kRemountTries; ++i) {
        if (m_pSystem->Exec(cmd.c_str()) == 0) {
            return TRUE;
        }
        if (i < kRemountTries) {
            m_pSystem->Sleep(kRetryPauseMs);
        }
    }
    return FALSE;
}

// A card seen for the first time since it was put in (or since a format).
BOOL CSDManager::CardArrived()
{
    char part[256];
    const int disk = GetSDFirstPartitionDevNodeName(part, sizeof(part));
    {
        CGuard guard(m_Mutex);
        XCopyName(m_szFirstPartName, sizeof(m_szFirstPartName), part);
    }
    if (disk < 0) {
        XERROR("Get SD Dev Node Name Error...\n");
        return FALSE;
    }
    m_nDisk = disk;
    char target[32];
    snprintf(target, sizeof(target), "/tmp/mmc%d", disk);
    int state = m_SDState.load();
    BOOL bReadOnly = FALSE;
    BOOL bCheckFailed = FALSE;
    const BOOL mounted = Mount(part, target, bReadOnly, &bCheckFailed);
    m_CardCheckFailed.store(bCheckFailed);
    if (mounted) {
        SDFsInfo info = {};
        m_pSystem->StatFs(XBoardPath(target).c_str(), info);
        printf("SD Card Mounted.Block Size:%d Byte\n", static_cast<int>(info.block_size));
        {
            CGuard guard(m_Mutex);
            XCopyName(m_szMountPath, sizeof(m_szMountPath), target);
        }
        state |= emSDState_Mount;
        if (bReadOnly || SDReadOnly(disk)) {
            state |= emSDState_ReadOnly;
            printf("SD Card Read Only.\n");
        } else {
            state &= ~emSDState_ReadOnly;
            printf("SD Card Not Read Only.\n");
        }
    } else {
        ClearNames(FALSE);
        state &= ~emSDState_Mount;
        printf("SD Card Mount Error.\n");
    }
    state |= emSDState_Insert;
    printf("SD Card Inserted.\n");
    if (SDWriteProtect()) {
        state |= emSDState_WriteProtect;
        printf("SD Card Write Protect.\n");
    } else {
        state &= ~emSDState_WriteProtect;
        printf("SD Card Write/Read.\n");
    }
    SetState(state);
    return TRUE;
}

void CSDManager::CardRemoved()
{
    m_CardCheckFailed.store(FALSE);
    int state = m_SDState.load() & ~emSDState_Insert;
    SetState(state);
    printf("SD Card Removed.\n");
    if ((state & emSDState_Mount) == 0) {
        return;
    }
    SDStateNotify(state & ~emSDState_Mount);
    char dir[256];
    {
        CGuard guard(m_Mutex);
        XCopyName(dir, sizeof(dir), m_szMountPath);
    }
    if (Unmount(dir, TRUE)) {
        SetState(state & ~emSDState_Mount);
        ClearNames(TRUE);
        printf("SD Card Umounted.\n");
    }
}

// The card stays in: follow its mount line.
void CSDManager::CheckMountedCard()
{
    char part[256];
    char dir[256];
    {
        CGuard guard(m_Mutex);
        XCopyName(part, sizeof(part), m_szFirstPartName);
        XCopyName(dir, sizeof(dir), m_szMountPath);
    }
    const int state = m_SDState.load();
    int next = state;
    BOOL bMounted = FALSE;
    BOOL bRO = FALSE;
    BOOL readable = TRUE;
    BOOL found = dir[0] != '\0' && CheckMountedStatus(part, dir, bMounted, bRO, &readable);
    if (found && bRO && (state & emSDState_ReadOnly) == 0 && !SDReadOnly(m_nDisk)) {
        RemountReadWrite(dir);
        found = CheckMountedStatus(part, dir, bMounted, bRO, &readable);
    }
    if (!readable) {
        // The table says nothing either way: keep the state.
        return;
    }
    if (!found) {
        if ((state & emSDState_Mount) != 0) {
            // The mount went away under us.
            next &= ~emSDState_Mount;
            ClearNames(FALSE);
            printf("SD Card Umounted.\n");
        }
    } else {
        next |= emSDState_Mount;
        if (bRO || SDReadOnly(m_nDisk)) {
            next |= emSDState_ReadOnly;
        } else {
            next &= ~emSDState_ReadOnly;
        }
    }
    if (next != state) {
        SetState(next);
        SDStateNotify(next);
    }
}

int CSDManager::CheckSDCard()
{
    if (m_PauseSD.load()) {
        return 1;
    }
    std::unique_lock<std::recursive_mutex> card(m_CardLock, std::try_to_lock);
    if (!card.owns_lock() || m_PauseSD.load()) {
        return 1;
    }
    BOOL present = FALSE;
    if (!SDInserted(present)) {
        XERROR("cannot read the card-detect register\n");
        return m_SDState.load();
    }
    const int now = present ? 0 : 1;
    if (now != m_nOldState) {
        if (present) {
            if (!CardArrived()) {
                fflush(stdout);
                return 0;
            }
        } else {
            CardRemoved();
        }
        SDStateNotify(m_SDState.load());
        m_nOldState = now;
    } else if (present) {
        CheckMountedCard();
    }
    fflush(stdout);
    return m_SDState.load();
}

int CSDManager::Format()
{
    std::lock_guard<std::recursive_mutex> card(m_CardLock);
    const BOOL prevFlag = m_FormatingSD.exchange(TRUE);
    const int state = m_SDState.load();
    if ((state & emSDState_Insert) == 0) {
        m_FormatingSD.store(prevFlag);
        return -1;
    }
    {
        CGuard guard(m_Mutex);
        m_PauseSD.store(TRUE);
    }
    SDStateNotify(state & ~emSDState_Mount);
    char dir[256];
    char part[256];
    {
        CGuard guard(m_Mutex);
        XCopyName(dir, sizeof(dir), m_szMountPath);
        XCopyName(part, sizeof(part), m_szFirstPartName);
    }
    // The card's folder even when the Mount bit is clear.
    char folder[256];
    XCopyName(folder, sizeof(folder), dir);
    if (folder[0] == '\0' && m_nDisk >= 0) {
        snprintf(folder, sizeof(folder), "/tmp/mmc%d", m_nDisk);
    }
    const BOOL bMountBit = (state & emSDState_Mount) != 0 ? TRUE : FALSE;
    if ((bMountBit && !Unmount(dir, FALSE)) || !UnmountedForFormat(part, folder, bMountBit)) {
        // Cleared first: the listeners ask for the mount path and space.
        m_PauseSD.store(FALSE);
        SDStateNotify(state);
        printf("umount sd error.\n");
        fflush(stdout);
        m_FormatingSD.store(prevFlag);
        return -2;
    }
    SetState(0);
    ClearNames(TRUE);
    m_CardCheckFailed.store(FALSE);
    m_nOldState = -1;
    const BOOL ok = SDFormat(part);
    m_PauseSD.store(FALSE);
    fflush(stdout);
    m_FormatingSD.store(prevFlag);
    return ok ? 0 : -3;
}

void CSDManager::CheckSDCardFreeSpace()
{
    if (m_PauseSD.load()) {
        return;
    }
    std::unique_lock<std::recursive_mutex> card(m_CardLock, std::try_to_lock);
    if (!card.owns_lock() || m_PauseSD.load() || !XSDStateWritable(m_SDState.load())) {
        return;
    }
    CSDRecordClient* record = m_pRecordClient.load();
    if (record == nullptr || record->GetIsPauseRecord()) {
        return;
    }
    m_bNoSpace = FALSE;
    uint64_t total = 0;
    uint64_t freeBytes = 0;
    if (!GetDiskSpaceInfo(&total, &freeBytes)) {
        return;
    }
    if (freeBytes <= SD_FREE_SPACE_THRESHOLD) {
        record->CheckOverflowFile();
    }
    for (int deleted = 0;; ++deleted) {
        if (!GetDiskSpaceInfo(&total, &freeBytes) || freeBytes > SD_FREE_SPACE_THRESHOLD) {
            break;
        }
        if (deleted >= kMaxDeletesPerPass) {
            XERROR("%d loop videos deleted and still %" PRIu64 " bytes free\n", deleted, freeBytes);
            break;
        }
        printf("SD FREE SPACE = %" PRIu64 ", THRESHOLD = %" PRIu64 "\n", freeBytes,
               static_cast<uint64_t>(SD_FREE_SPACE_THRESHOLD));
        if (!record->DeleteOldestCommonRecordFile()) {
            XERROR("NOT ANY COMMON RECORD FILE TO DELETE...\n");
            record->StopAllRecord(FALSE, TRUE);
            m_bNoSpace = TRUE;
            break;
        }
    }
    fflush(stdout);
}
