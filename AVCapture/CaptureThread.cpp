// The capture thread: every packet of the main stream, the small JPEG and
// the AAC encoder goes to the sink with its stream description.

#include <errno.h>
#include <sys/select.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "AVCapture/CommAVCapture.h"
#include "Function/XLog.h"
#include "Platform/Aenc.h"
#include "Platform/MpiVenc.h"

namespace {

// Rows read by the thread, in serving order.
const int kReadList[3] = {CCommAVCapture::ENCODE_CHN_H264_MAIN, CCommAVCapture::ENCODE_CHN_JPEG_SUB,
                          CCommAVCapture::ENCODE_CHN_AUDIO_AAC};
const int kAacEntry = 2;
const HI_S32 kBlocking = -1;
const HI_S32 kNonBlocking = 0;

// Get and release on a video channel until a call fails; the last status.
HI_S32 DrainVideo(int chn, std::vector<uint8_t>& buf)
{
    for (;;) {
        VENC_CHN_STAT_S stat;
        HI_S32 ret = HI_MPI_VENC_Query(chn, &stat);
        if (ret != HI_SUCCESS) {
            return ret;
        }
        const size_t need = static_cast<size_t>(stat.u32CurPacks) * sizeof(VENC_PACK_S);
        if (buf.size() < need) {
            buf.resize(need);
        }
        VENC_STREAM_S st;
        memset(&st, 0, sizeof(st));
        st.pstPack = reinterpret_cast<VENC_PACK_S*>(buf.data());
        st.u32PackCount = stat.u32CurPacks;
        ret = HI_MPI_VENC_GetStream(chn, &st, kNonBlocking);
        if (ret != HI_SUCCESS) {
            return ret;
        }
        ret = HI_MPI_VENC_ReleaseStream(chn, &st);
        if (ret != HI_SUCCESS) {
            return ret;
        }
    }
}

}  // namespace

HI_S32 CCommAVCapture::DrainAudio()
{
    for (;;) {
        AUDIO_STREAM_S st;
        memset(&st, 0, sizeof(st));
        HI_S32 ret = HI_MPI_AENC_GetStream(0, &st, kNonBlocking);
        if (ret != HI_SUCCESS) {
            return ret;
        }
        ret = HI_MPI_AENC_ReleaseStream(0, &st);
        if (ret != HI_SUCCESS) {
            return ret;
        }
    }
}

HI_S32 CCommAVCapture::DrainStreams()
{
    DrainAudio();
    std::vector<uint8_t> buf(4096);  // pack records, grown as needed
    DrainVideo(0, buf);
    return DrainVideo(3, buf);
}

void CCommAVCapture::ThreadProc()
{
    printf("Starting CAVCapture thread...\n");
    FD_ZERO(&m_FdsAVChnRead);
    int fds[3] = {-1, -1, -1};
    int maxfd = -1;
    BOOL bAac = FALSE;
    {
        std::lock_guard<std::mutex> lock(m_StateLock);
        bAac = m_bAudioEncInSet;
    }
    for (int i = 0; i < 3; ++i) {
        fds[i] = GetVEncFD(kReadList[i]);
        if (fds[i] < 0) {
            XERROR("HI_MPI_VENC_GetFd failed with %#x!\n", static_cast<unsigned>(fds[i]));
            EndCapture();
            return;
        }
        if (i != kAacEntry || bAac) {
            FD_SET(fds[i], &m_FdsAVChnRead);
        }
        if (fds[i] > maxfd) {
            maxfd = fds[i];
        }
    }
    if (!m_EnableAudioIn) {
        AudioInputMuteEnable();
    }
    {
        std::lock_guard<std::mutex> lock(m_StateLock);
        m_PauseCapture = FALSE;
        m_bPauseAcked = FALSE;
        m_bCaptureRunning = TRUE;
        m_CaptureSelf = pthread_self();
    }
    printf("BEGIN LOOP(CHANNCEL=%d)...\n", 3);
    fflush(stdout);
    CaptureLoop(fds, maxfd);
    EndCapture();
}

void CCommAVCapture::EndCapture()
{
    // recording never waits for a capture that has ended
    PauseRecorder(TRUE, TRUE);
    printf("CAVCapture Thread Quiting...\n");
    fflush(stdout);
    std::lock_guard<std::mutex> lock(m_StateLock);
    m_bCaptureRunning = FALSE;
    m_StateCond.notify_all();
}

void CCommAVCapture::CaptureLoop(const int fds[3], int maxfd)
{
    BOOL bTune = FALSE;
    uint32_t nMainFrames = 0;
    BOOL bAac = FD_ISSET(fds[kAacEntry], &m_FdsAVChnRead) ? TRUE : FALSE;
    CCaptureSink* const sink = m_Roles.sink;
    while (m_bLoop) {
        if (bTune) {
            SyncEncPTS();
            ISPTuning();
            bTune = FALSE;
        }
        {
            std::unique_lock<std::mutex> lock(m_StateLock);
            if (m_bAudioEncInSet && !bAac) {
                DrainAudio();  // what waited while it was not read
                FD_SET(fds[kAacEntry], &m_FdsAVChnRead);
                bAac = TRUE;
            } else if (!m_bAudioEncInSet && bAac) {
                FD_CLR(fds[kAacEntry], &m_FdsAVChnRead);
                bAac = FALSE;
            }
            if (m_PauseCapture) {
                if (!m_bPauseAcked) {
                    m_bPauseAcked = TRUE;
                    m_StateCond.notify_all();
                }
                if (!m_bDrainRequest) {
                    m_StateCond.wait_for(lock, std::chrono::milliseconds(200), [this] { return m_bDrainRequest; });
                    bTune = TRUE;
                    continue;
                }
                m_DrainStatus = DrainStreams();
                m_bDrainRequest = FALSE;
                m_bPauseAcked = FALSE;
                m_PauseCapture = FALSE;
                m_StateCond.notify_all();
            }
        }
        fd_set ready = m_FdsAVChnRead;
        struct timeval tv = {2, 0};
        const int n = select(maxfd + 1, &ready, nullptr, nullptr, &tv);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            XERROR("select failed!\n");
            break;
        }
        if (n == 0) {
            printf("get venc stream time out\n");
            continue;
        }
        for (int i = 0; i < 3; ++i) {
            if (!FD_ISSET(fds[i], &ready)) {
                continue;
            }
            const int entry = kReadList[i];
            tagChannelConfig row;
            {
                std::lock_guard<std::mutex> lock(m_CfgLock);
                row = m_ChnCfg[entry];
            }
            if (entry == ENCODE_CHN_AUDIO_AAC) {
                AUDIO_STREAM_S st;
                memset(&st, 0, sizeof(st));
                HI_S32 ret = HI_MPI_AENC_GetStream(0, &st, kBlocking);
                if (ret != HI_SUCCESS) {
                    XERROR("HI_MPI_AENC_GetStream failed with %#x!\n", static_cast<unsigned>(ret));
                    continue;
                }
                if (sink != nullptr) {
                    if (sink != nullptr) {
                sink->IncommingPacket(&st, &row);
            }
                }
                ret = HI_MPI_AENC_ReleaseStream(0, &st);
                if (ret != HI_SUCCESS) {
                    XERROR("HI_MPI_AENC_ReleaseStream 0 error with %#x \n", static_cast<unsigned>(ret));
                    break;
                }
                continue;
            }
            const int chn = row.channel_id;
            VENC_CHN_STAT_S stat;
            HI_S32 ret = HI_MPI_VENC_Query(chn, &stat);
            if (ret != HI_SUCCESS) {
                XERROR("HI_MPI_VENC_Query chn[%d] i[%d] failed with %#x!\n", entry, i, static_cast<unsigned>(ret));
                break;
            }
            const unsigned need = stat.u32CurPacks * static_cast<unsigned>(sizeof(VENC_PACK_S));
            if (m_TmpFrmBuffLen < need) {
                free(m_lpTmpFrmBuff);
                m_lpTmpFrmBuff = nullptr;
                m_TmpFrmBuffLen = need;
            }
            if (m_lpTmpFrmBuff == nullptr) {
                m_lpTmpFrmBuff = static_cast<uint8_t*>(malloc(m_TmpFrmBuffLen));
                if (m_lpTmpFrmBuff == nullptr) {
                    XERROR("malloc stream pack failed!\n");
                    break;
                }
            }
            VENC_STREAM_S st;
            memset(&st, 0, sizeof(st));
            st.pstPack = reinterpret_cast<VENC_PACK_S*>(m_lpTmpFrmBuff);
            st.u32PackCount = stat.u32CurPacks;
            ret = HI_MPI_VENC_GetStream(chn, &st, kBlocking);
            if (ret != HI_SUCCESS) {
                XERROR("HI_MPI_VENC_GetStream failed with %#x!\n", static_cast<unsigned>(ret));
                break;
            }
            if (entry == ENCODE_CHN_H264_MAIN && (nMainFrames++ % 2) == 0) {
                bTune = TRUE;  // every second main-stream frame
            }
            if (sink != nullptr) {
                sink->IncommingPacket(&st, &row);
            }
            ret = HI_MPI_VENC_ReleaseStream(chn, &st);
            if (ret != HI_SUCCESS) {
                XERROR("HI_MPI_VENC_ReleaseStream [%d] error with %#x \n", i, static_cast<unsigned>(ret));
                break;
            }
        }
    }
}
