#include "PlayAudio/PromptWorker.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "Function/XLog.h"
#include "IniConfig/IniConfig.h"
#include "Platform/AudioOut.h"
#include "Platform/Thread.h"
#include "PlayAudio/PromptPath.h"

namespace {

const int kAoDev = 0;
const int kAoChn = 0;
const unsigned kFrameBytes = 512;
const unsigned kFrameMs = 32;         // 256 samples at 8000 Hz
const int kSendWaitMs = 100;          // one wait for room, repeated until stopped
const size_t kPieceBytes = 64 * 1024; // longer prompts are read from the file in pieces
const unsigned kIdleMs = 50;
const unsigned kTailMs = 200;
const int kAmpGpio = 1;

}  // namespace

int PlayPCM(const uint8_t* buffer, unsigned length)
{
    uint8_t frame[kFrameBytes];
    memset(frame, 0, sizeof(frame));
    memcpy(frame, buffer, length < kFrameBytes ? length : kFrameBytes);
    AUDIO_FRAME_S f;
    memset(&f, 0, sizeof(f));
    f.enBitwidth = AUDIO_BIT_WIDTH_16;
    f.enSoundmode = AUDIO_SOUND_MODE_MONO;
    f.pVirAddr[0] = frame;
    f.u32Len = kFrameBytes;
    CPromptWorker* worker = CPromptWorker::instance();
    HI_S32 ret;
    do {
        ret = HI_MPI_AO_SendFrame(kAoDev, kAoChn, &f, kSendWaitMs);
    } while (ret == AO_ERR_TIMEOUT && !worker->Stopping());
    if (ret != 0 && !worker->Stopping()) {
        printf("HI_MPI_AO_SendFrame faild with %#x\n", static_cast<unsigned>(ret));
        worker->Nap(kFrameMs);  // the frame is dropped; the next one follows after its time
    }
    return 0;
}

CPromptWorker::~CPromptWorker()
{
    Stop();
}

CPromptWorker::CPromptWorker()
    : recv_audio_msg_flag(0),
      play_audio_flag(0),
      m_Index(0),
      m_bStop(false),
      m_Thread(),
      m_bRunning(false),
      m_Path(),
      m_DataCap(0),
      m_DataLen(0),
      m_DataPos(0),
      m_bHeld(false)
{
}

void CPromptWorker::Request(int index)
{
    m_Index.store(index, std::memory_order_release);
    {
        // Under the lock: the worker cannot be between its check and its wait.
        std::lock_guard<std::mutex> lock(m_Lock);
        recv_audio_msg_flag.store(1, std::memory_order_release);
    }
    m_Wake.notify_all();
}

BOOL CPromptWorker::Start()
{
    std::lock_guard<std::mutex> lock(m_Lock);
    if (m_bRunning) {
        return TRUE;
    }
    m_bStop.store(false, std::memory_order_release);
    if (PlatformCreateThread(&m_Thread, 0, Body, this) != 0) {
        return FALSE;
    }
    m_bRunning = true;
    return TRUE;
}

BOOL CPromptWorker::Running()
{
    std::lock_guard<std::mutex> lock(m_Lock);
    return m_bRunning ? TRUE : FALSE;
}

void CPromptWorker::Stop()
{
    std::unique_lock<std::mutex> lock(m_Lock);
    if (!m_bRunning) {
        recv_audio_msg_flag.store(0, std::memory_order_release);
        return;
    }
    m_bStop.store(true, std::memory_order_release);
    m_Wake.notify_all();
    const pthread_t thread = m_Thread;
    lock.unlock();
    pthread_join(thread, nullptr);
    lock.lock();
    m_bRunning = false;
    recv_audio_msg_flag.store(0, std::memory_order_release);
}

void CPromptWorker::Nap(unsigned ms)
{
    std::unique_lock<std::mutex> lock(m_Lock);
    m_Wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return Stopping(); });
}

void* CPromptWorker::Body(void* arg)
{
    static_cast<CPromptWorker*>(arg)->Play_Audio();
    return nullptr;
}

bool CPromptWorker::SpeakerMuted()
{
    return m_Roles.audio != nullptr && m_Roles.audio->GetIsOutputVolumeMute();
}

bool CPromptWorker::MuteMicrophone()
{
    return m_Roles.audio != nullptr && CIniConfig::instance()->GetMAudioRecordCfg() != 0 &&
           m_Roles.factory != nullptr && m_Roles.factory->GetFactoryTestOK();
}

void CPromptWorker::SetAmplifier(int level)
{
    if (m_Roles.pins != nullptr) {
        m_Roles.pins->WriteGpio(kAmpGpio, level);
    }
}

void CPromptWorker::TakeOutputs()
{
    if (MuteMicrophone()) {
        m_Roles.audio->AudioInputMuteEnable();
    }
    SetAmplifier(1);
    m_bHeld = true;
}

void CPromptWorker::ReleaseOutputs()
{
    SetAmplifier(0);
    if (MuteMicrophone()) {
        m_Roles.audio->AudioInputMuteDisable();
    }
    m_bHeld = false;
}

void CPromptWorker::DropData()
{
    m_File.Close();
    m_Data.reset();
    m_DataCap = 0;
    m_DataLen = 0;
    m_DataPos = 0;
}

bool CPromptWorker::Load()
{
    // a request raised after this exchange is loaded at the next turn
    recv_audio_msg_flag.exchange(0, std::memory_order_acq_rel);
    play_audio_flag.store(1, std::memory_order_relaxed);
    DropData();
    const int index = m_Index.load(std::memory_order_acquire);
    if (get_file_path(m_Path, index, m_Roles) != 0) {
        XERROR("get audio filename err\n");
        return false;
    }
    if (!m_File.Open(m_Path)) {
        XERROR("open %s failed\n", m_Path);
        return false;
    }
    m_DataCap = m_File.Length() < kPieceBytes ? m_File.Length() : kPieceBytes;
    m_Data.reset(new (std::nothrow) uint8_t[m_DataCap]);
    if (!m_Data) {
        XERROR("malloc memory failed\n");
        DropData();
        return false;
    }
    m_DataLen = m_File.Read(m_Data.get(), m_DataCap);
    if (m_DataLen == 0) {
        XERROR("open %s failed\n", m_Path);
        DropData();
        return false;
    }
    if (m_File.Length() <= kPieceBytes) {
        m_File.Close();  // loaded whole
    }
    TakeOutputs();
    m_DataPos = 0;
    return true;
}

bool CPromptWorker::PlayNext()
{
    if (m_DataPos == m_DataLen) {
        m_DataLen = m_File.Read(m_Data.get(), m_DataCap);
        m_DataPos = 0;
        if (m_DataLen == 0) {
            return false;
        }
    }
    if (!m_bHeld) {
        TakeOutputs();  // resumed after a pause
    }
    const size_t n = m_DataLen - m_DataPos < kFrameBytes ? m_DataLen - m_DataPos : kFrameBytes;
    PlayPCM(m_Data.get() + m_DataPos, static_cast<unsigned>(n));
    m_DataPos += n;
    return true;
}

void CPromptWorker::Play_Audio()
{
    while (!Stopping()) {
        if (SpeakerMuted()) {
            // a waiting request waits, a prompt pauses without holding the outputs
            if (m_bHeld) {
                ReleaseOutputs();
            }
            Nap(kIdleMs);
            continue;
        }
        if (recv_audio_msg_flag.load(std::memory_order_acquire) != 0) {
            if (!Load()) {
                play_audio_flag.store(0, std::memory_order_relaxed);
                if (m_bHeld) {
                    ReleaseOutputs();  // the cut prompt's outputs
                }
                continue;
            }
        }
        if (play_audio_flag.load(std::memory_order_relaxed) != 0 && !PlayNext()) {
            play_audio_flag.store(0, std::memory_order_relaxed);
            DropData();
            Nap(kTailMs);
            ReleaseOutputs();
        }
        if (recv_audio_msg_flag.load(std::memory_order_acquire) == 0 &&
            play_audio_flag.load(std::memory_order_relaxed) == 0) {
            std::unique_lock<std::mutex> lock(m_Lock);
            m_Wake.wait_for(lock, std::chrono::milliseconds(kIdleMs), [this] {
                return Stopping() || recv_audio_msg_flag.load(std::memory_order_acquire) != 0;
            });
        }
    }
    play_audio_flag.store(0, std::memory_order_relaxed);
    DropData();
    if (m_bHeld) {
        SetAmplifier(0);
        m_bHeld = false;
    }
}
