#include "Snapshot/Snapshot.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "Function/SystemTime.h"
#include "Function/XLog.h"
#include "Function/common.h"
#include "IniConfig/IniConfig.h"
#include "MultiTask/Msg.h"
#include "Periphery/SDManager.h"
#include "Platform/BoardRoot.h"
#include "Platform/MpiVenc.h"
#include "PlayAudio/PcmIndex.h"

namespace {

constexpr mode_t kSnapDirMode = 0777;
constexpr const char* kSnapDir = "DCIM/104snap";

// Whether prompt 2 goes with an image of this type.
BOOL XSnapshotPromptWanted(unsigned long type)
{
    CIniConfig* ini = CIniConfig::instance();
    switch (type) {
    case 'G': return ini->GetGSnapVoiceCfg() == 1;
    case 'A': return ini->GetASnapVoiceCfg() == 1;
    case 'M': return ini->GetMSnapVoiceCfg() == 1;
    case 'P': return ini->GetParkingVoiceCfg() == 1;
    default: return TRUE;
    }
}

}  // namespace


CSnapshotManager::CSnapshotManager()
    : CThread(FALSE, kMsgQueueSize, 0),
      m_SnapChannel(2),
      m_SDState(0),
      m_JpegChnFD(-1),
      m_PauseSnapshot(FALSE),
      m_lpTmpBuff(nullptr),
      m_nTmpBuffLen(0),
      m_bRegistered(FALSE)
{
    m_SDPath[0] = '\0';
}

CSnapshotManager::~CSnapshotManager()
{
    DestroyThread(TRUE);
    if (m_bRegistered) {
        m_Roles.card->UnregisterSDStateCallback(SDCardStateChange, this);
    }
    free(m_lpTmpBuff);
}

BOOL CSnapshotManager::Init()
{
    if (!m_bRegistered) {
        m_bRegistered = m_Roles.card != nullptr && m_Roles.card->RegisterSDStateCallback(SDCardStateChange, this);
    }
    if (!m_bRegistered || !CreateThread(0)) {
        if (m_bRegistered) {
            m_Roles.card->UnregisterSDStateCallback(SDCardStateChange, this);
            m_bRegistered = FALSE;
        }
        return FALSE;
    }
    return TRUE;
}

BOOL CSnapshotManager::CleanUp()
{
    BOOL ok = TRUE;
    if (m_bRegistered) {
        ok = m_Roles.card->UnregisterSDStateCallback(SDCardStateChange, this);
        m_bRegistered = FALSE;
    }
    return DestroyThread(TRUE) && ok;
}

BOOL CSnapshotManager::Snapshot(int channel, int notify, unsigned long type)
{
    const uint32_t lpa = static_cast<uint32_t>(type << 8) | (notify ? 1u : 0u);
    return SendMsg(XM_SNAPSHOT, static_cast<unsigned>(channel), lpa, MSG_PRIORITY_NORMAL);
}

BOOL CSnapshotManager::PauseSnapshot()
{
    m_PauseSnapshot = TRUE;
    return TRUE;
}

BOOL CSnapshotManager::ResumeSnapshot()
{
    m_PauseSnapshot = FALSE;
    return TRUE;
}

int CSnapshotManager::SDCardStateChange(int state, void* priv)
{
    static_cast<CSnapshotManager*>(priv)->OnSDCardStateChange(state);
    return 0;
}

void CSnapshotManager::OnSDCardStateChange(int state)
{
    puts("IN Snapshot SD STATE CALLBACK...");
    CGuard guard(m_Mutex);
    m_SDState = state;
    CCardFiles* card = m_Roles.card;
    if (!XSDStateWritable(state) || card == nullptr || !card->GetSDMountPath(m_SDPath, sizeof(m_SDPath))) {
        m_SDPath[0] = '\0';
    }
}

BOOL CSnapshotManager::IsCardUsable()
{
    CGuard guard(m_Mutex);
    return XSDStateWritable(m_SDState);
}

BOOL CSnapshotManager::IsRunnable() const
{
    return m_bLoop && !m_PauseSnapshot;
}

char CSnapshotManager::ImageLetter(unsigned long type)
{
    switch (type) {
    case 'A':
    case 'G':
    case 'M':
    case 'P':
    case 'R':
    case 'V':
    case 'W':
        return static_cast<char>(type);
    default:
        return 'U';
    }
}

void CSnapshotManager::FormatSnapshotName(char* name, size_t size, char letter, const RECTIME& t, int index,
                                          BOOL bCounted, int count)
{
    const int year = static_cast<int>(t.year()) + 2000;
    const int month = static_cast<int>(t.month());
    const int day = static_cast<int>(t.day());
    const int hour = static_cast<int>(t.hour());
    const int minute = static_cast<int>(t.minute());
    const int second = static_cast<int>(t.second());
    if (bCounted && index > 0) {
        snprintf(name, size, "%c%04d%02d%02d%02d%02d%02d_%d(%d).JPG", letter, year, month, day, hour, minute, second,
                 count, index);
    } else if (bCounted) {
        snprintf(name, size, "%c%04d%02d%02d%02d%02d%02d_%d.JPG", letter, year, month, day, hour, minute, second,
                 count);
    } else if (index > 0) {
        snprintf(name, size, "%c%04d%02d%02d%02d%02d%02d(%d).JPG", letter, year, month, day, hour, minute, second,
                 index);
    } else {
        snprintf(name, size, "%c%04d%02d%02d%02d%02d%02d.JPG", letter, year, month, day, hour, minute, second);
    }
}

void CSnapshotManager::ThreadProc()
{
    std::unique_ptr<char[]> gps(new (std::nothrow) char[kGPSBufferSize]);
    while (m_bLoop) {
        XMSG msg;
        if (!RecvMsg(&msg, TRUE)) {
            fprintf(stderr, "CSnapshotManager RecvMsg error...\n");
            break;
        }
        if (msg.msg == XM_QUIT) {
            m_bLoop = FALSE;
        } else if (msg.msg == XM_SNAPSHOT && !m_PauseSnapshot && static_cast<int>(msg.wpa) == m_SnapChannel &&
                   gps) {
            ProcessSnapshot(msg.lpa, gps.get());
        }
    }
    gps.reset();
    fprintf(stderr, "CSnapshotManager RecvMsg Quiting...\n");
}

void CSnapshotManager::ProcessSnapshot(uint32_t lpa, char* gps)
{
    // This request's line only: empty when the fetch gives none.
    memset(gps, 0, kGPSBufferSize);
    unsigned len = kGPSBufferSize - 1;
    BOOL bHasGPS = m_Roles.ports != nullptr && m_Roles.ports->GetGPSData(gps, &len) && len > 0;
    if (bHasGPS) {
        len = len < kGPSBufferSize - 1 ? len : kGPSBufferSize - 1;
        gps[len] = '\0';
    } else {
        gps[0] = '\0';
    }
    const unsigned long type = lpa >> 8;
    const char letter = ImageLetter(type);

    CGuard capture(m_CaptureMutex);
    if (!IsRunnable()) {
        return;
    }
    DrainPictures();
    if (bHasGPS) {
        const HI_S32 ret =
            HI_MPI_VENC_InsertUserData(m_SnapChannel, reinterpret_cast<HI_U8*>(gps), static_cast<HI_U32>(len));
        if (ret != HI_SUCCESS) {
            XERROR("[IMAGE SNAPSHOT]HI_MPI_VENC_InsertUserData(%d, %d) faild with %#x\n", m_SnapChannel,
                   static_cast<int>(len), static_cast<unsigned>(ret));
            return;
        }
    }
    if (IsCardUsable() && XSnapshotPromptWanted(type) && m_Roles.prompts != nullptr) {
        m_Roles.prompts->PlayPrompt(PCM_IMAGECAPTURE);
    }
    if (!OpenJpegFd()) {
        return;
    }
    if (!EnableEnc()) {
        XERROR("ENABLE SNAPSHOT ENCOCE ERROR...\n");
        return;
    }
    if (!CaptureImage(nullptr, nullptr, gps, (lpa & 1) ? TRUE : FALSE, letter)) {
        DrainPictures();
    }
}

BOOL CSnapshotManager::Capture(unsigned char* buffer, unsigned* length)
{
    if (buffer == nullptr || length == nullptr) {
        return FALSE;
    }
    CGuard capture(m_CaptureMutex);
    if (!IsRunnable()) {
        return FALSE;
    }
    DrainPictures();
    if (!OpenJpegFd() || !EnableEnc()) {
        return FALSE;
    }
    if (!CaptureImage(buffer, length, "", FALSE, 'U')) {
        DrainPictures();
        return FALSE;
    }
    return TRUE;
}

void CSnapshotManager::DrainPictures()
{
    for (int i = 0; i <= VENC_MAX_QUEUED_PICTURES; ++i) {
        VENC_CHN_STAT_S stat;
        if (HI_MPI_VENC_Query(m_SnapChannel, &stat) != HI_SUCCESS || stat.u32LeftStreamFrames == 0 ||
            stat.u32CurPacks == 0) {
            return;
        }
        std::unique_ptr<VENC_PACK_S[]> packs(new (std::nothrow) VENC_PACK_S[stat.u32CurPacks]);
        if (!packs) {
            return;
        }
        VENC_STREAM_S stream;
        memset(&stream, 0, sizeof(stream));
        stream.pstPack = packs.get();
        stream.u32PackCount = stat.u32CurPacks;
        if (HI_MPI_VENC_GetStream(m_SnapChannel, &stream, 0) != HI_SUCCESS) {
            return;
        }
        HI_MPI_VENC_ReleaseStream(m_SnapChannel, &stream);
    }
}

BOOL CSnapshotManager::OpenJpegFd()
{
    // Before a picture is asked for: a request that ends here leaves none
    // to arrive late and be taken by the next one.
    if (m_JpegChnFD < 0) {
        m_JpegChnFD = m_Roles.ports != nullptr ? m_Roles.ports->GetVEncFD(m_SnapChannel) : -1;
        if (m_JpegChnFD < 0) {
            XERROR("[JPEG MAIN] fd = %d\n", m_JpegChnFD);
            return FALSE;
        }
    }
    return TRUE;
}

BOOL CSnapshotManager::EnableEnc()
{
    VENC_RECV_PIC_PARAM_S param;
    param.s32RecvPicNum = 1;
    const HI_S32 ret = HI_MPI_VENC_StartRecvPicEx(m_SnapChannel, &param);
    if (ret != HI_SUCCESS) {
        XERROR("[IMAGE SNAPSHOT]HI_MPI_VENC_StartRecvPic faild with%#x\n", static_cast<unsigned>(ret));
        return FALSE;
    }
    return TRUE;
}

BOOL CSnapshotManager::CaptureImage(unsigned char* buffer, unsigned* length, const char* gps, BOOL bNotify,
                                    char letter)
{
    if (m_JpegChnFD < 0 || !IsRunnable()) {
        return FALSE;
    }

    const uint32_t start = SystemGetMSCount();
    for (;;) {
        const uint32_t spent = SystemGetMSCount() - start;
        if (spent >= static_cast<uint32_t>(kCaptureTimeoutMs)) {
            puts("[IMAGE SNAPSHOT]get venc stream time out");
            return FALSE;
        }
        struct pollfd pfd = {m_JpegChnFD, POLLIN, 0};
        const int n = poll(&pfd, 1, static_cast<int>(kCaptureTimeoutMs - spent));
        if (n > 0 && (pfd.revents & POLLIN)) {
            break;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 || (n > 0 && (pfd.revents & (POLLERR | POLLNVAL)))) {
            XERROR("[IMAGE SNAPSHOT]select failed!\n");
            return FALSE;
        }
    }

    VENC_CHN_STAT_S stat;
    HI_S32 ret = HI_MPI_VENC_Query(m_SnapChannel, &stat);
    if (ret != HI_SUCCESS) {
        XERROR("[IMAGE SNAPSHOT]HI_MPI_VENC_Query failed with %#x!\n", static_cast<unsigned>(ret));
        return FALSE;
    }
    const unsigned need = (stat.u32CurPacks > 0 ? stat.u32CurPacks : 1) * static_cast<unsigned>(sizeof(VENC_PACK_S));
    if (need > m_nTmpBuffLen) {
        free(m_lpTmpBuff);
        m_lpTmpBuff = static_cast<uint8_t*>(malloc(need));
        m_nTmpBuffLen = m_lpTmpBuff != nullptr ? need : 0;
        if (m_lpTmpBuff == nullptr) {
            XERROR("[IMAGE SNAPSHOT]malloc stream pack failed!\n");
            return FALSE;
        }
    }
    VENC_STREAM_S stream;
    memset(&stream, 0, sizeof(stream));
    stream.pstPack = reinterpret_cast<VENC_PACK_S*>(m_lpTmpBuff);
    stream.u32PackCount = stat.u32CurPacks;
    ret = HI_MPI_VENC_GetStream(m_SnapChannel, &stream, -1);
    if (ret != HI_SUCCESS) {
        XERROR("[IMAGE SNAPSHOT]HI_MPI_VENC_GetStream failed with %#x!\n", static_cast<unsigned>(ret));
        return FALSE;
    }

    BOOL ok = TRUE;
    if (buffer != nullptr && length != nullptr && *length > 0) {
        ok = SaveToBuffer(stream, buffer, length);
    } else {
        RECTIME time;
        Second2RECTIME(static_cast<time_t>(stream.u32PackCount > 0 ? stream.pstPack[0].u64PTS / 1000000ULL : 0),
                       time);
        char name[64];
        char path[512];
        int index = 0;
        while (CreateSnapshotFileName(name, sizeof(name), path, sizeof(path), &index, time, letter, FALSE, 0)) {
            const int saved = SaveToFile(stream, gps, bNotify, letter, name, path, index, time);
            if (saved >= 0) {
                ok = saved == 1;
                break;
            }
            ++index;  // taken since the name was chosen
        }
    }
    if (!ok) {
        ReleaseStream(stream);
        return FALSE;
    }
    return ReleaseStream(stream);
}

BOOL CSnapshotManager::ReleaseStream(VENC_STREAM_S& stream)
{
    const HI_S32 ret = HI_MPI_VENC_ReleaseStream(m_SnapChannel, &stream);
    if (ret != HI_SUCCESS) {
        XERROR("[IMAGE SNAPSHOT]HI_MPI_VENC_ReleaseStream error with %#x \n", static_cast<unsigned>(ret));
        return FALSE;
    }
    return TRUE;
}

BOOL CSnapshotManager::CreateSnapshotFileName(char* name, size_t nameSize, char* path, size_t pathSize, int* index,
                                              const RECTIME& time, char letter, BOOL bCounted, int count)
{
    std::string dir;
    {
        CGuard guard(m_Mutex);
        if (!XSDStateWritable(m_SDState) || m_SDPath[0] == '\0') {
            return FALSE;
        }
        dir = std::string(m_SDPath) + kSnapDir;
        if (!XCreateFullPathDir(XBoardPath(dir).c_str(), kSnapDirMode)) {
            XERROR("[SNAPSHOT] Create Full Path [%s] Failed.\n", dir.c_str());
            return FALSE;
        }
    }
    for (int i = *index; i <= kMaxNameIndex; ++i) {
        FormatSnapshotName(name, nameSize, letter, time, i, bCounted, count);
        const int n = snprintf(path, pathSize, "%s/%s", dir.c_str(), name);
        if (n < 0 || static_cast<size_t>(n) >= pathSize) {
            return FALSE;
        }
        if (!XFilePathExists(XBoardPath(path).c_str())) {
            *index = i;
            return TRUE;
        }
    }
    return FALSE;
}

int CSnapshotManager::SaveToFile(const VENC_STREAM_S& stream, const char* gps, BOOL bNotify, char letter,
                                 const char* name, const char* path, int index, const RECTIME& time)
{
    const std::string file = XBoardPath(path);
    const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        return errno == EEXIST ? -1 : 0;
    }
    unsigned long size = 0;
    BOOL written = TRUE;
    for (uint32_t i = 0; i < stream.u32PackCount && written; ++i) {
        const VENC_PACK_S& p = stream.pstPack[i];
        written = FullWrite(fd, p.pu8Addr, p.u32Len) == static_cast<ssize_t>(p.u32Len);
        size += p.u32Len;
    }
    // The picture on the card before the name that lists it.
    if (written && XSyncFileData(fd) != 0) {
        written = FALSE;
    }
    if (close(fd) != 0) {
        written = FALSE;
    }
    if (!written) {
        unlink(file.c_str());
        XERROR("[SNAPSHOT] Write File [%s] Failed.\n", path);
        return 0;
    }
    XSyncDirectory(file.substr(0, file.rfind('/') + 1).c_str());

    puts("Add Alarm Image File Index .");
    if (m_Roles.ports == nullptr || !m_Roles.ports->AddAlarmImgIndex(time, letter, index, size)) {
        puts("Add Alarm Image File Index Failed.");
    }
    if (bNotify) {
        CAssociatedDataManager* pool = CAssociatedDataManager::instance();
        CAssociatedData* data = pool != nullptr ? pool->GetNode() : nullptr;
        if (data != nullptr) {
            data->SetRecType(letter);
            data->SetRecTime(time);
            data->SetRecIndex(index);
            data->SetGPSPosition(gps != nullptr ? gps : "");
            if (m_Roles.ports == nullptr || !m_Roles.ports->SetAssociatedData(data)) {
                pool->PutNode(data);
            }
        }
    }
    printf("SANPSHOT[%s]\n", name);
    fflush(stdout);
    return 1;
}

BOOL CSnapshotManager::SaveToBuffer(const VENC_STREAM_S& stream, unsigned char* buffer, unsigned* length)
{
    unsigned used = 0;
    for (uint32_t i = 0; i < stream.u32PackCount; ++i) {
        const VENC_PACK_S& p = stream.pstPack[i];
        const unsigned left = *length - used;
        if (p.u32Len > left) {
            XERROR("[JPEG MAIN] lack of buffer(pkt=%d,used=%u,left=%u,need=%u)\n", static_cast<int>(i), used, left,
                   p.u32Len);
            return FALSE;
        }
        memcpy(buffer + used, p.pu8Addr, p.u32Len);
        used += p.u32Len;
    }
    *length = used;
    return TRUE;
}
