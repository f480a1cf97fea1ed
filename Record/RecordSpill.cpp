#include "Record/RecordSpill.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "Function/XLog.h"
#include "Function/common.h"
#include "Record/MediaDataInfo.h"

namespace {

uint8_t XSpillKind(int avType)
{
    switch (avType) {
    case AVDATA_TYPE_AUDIO:
        return emRecordSpillKind_Audio;
    case AVDATA_TYPE_IMAGE:
        return emRecordSpillKind_Image;
    default:
        return emRecordSpillKind_Video;
    }
}

}  // namespace

CRecordSpill::CRecordSpill(CRecordSpillSource* source, CMutex& lock)
    : m_lpSource(source),
      m_EngineLock(lock),
      m_nCurrent(0),
      m_dirFd(-1),
      m_bDirSynced(FALSE),
      m_bBroken(FALSE),
      m_nRotateBytes(0),
      m_nSyncedKeep(0),
      m_nNextSeq(1),
      m_nBatchMaxSeq(0),
      m_nRecordSeq(0),
      m_nBatchPackets(0),
      m_Stats(),
      m_Flusher(kDefaultPeriodMs)
{
}

CRecordSpill::~CRecordSpill()
{
    Stop();
    std::lock_guard<std::mutex> cycle(m_CycleLock);
    CloseFiles();
}

void CRecordSpill::Stop()
{
    m_Flusher.Stop();
}

void CRecordSpill::SetPeriod(unsigned ms)
{
    if (ms == 0) {
        m_Flusher.Stop();
        return;
    }
    m_Flusher.SetPeriod(ms);
}

void CRecordSpill::FlushSoon()
{
    m_Flusher.RunSoon();
}

CRecordSpill::tagStats CRecordSpill::GetStats() const
{
    std::lock_guard<std::mutex> cycle(const_cast<std::mutex&>(m_CycleLock));
    return m_Stats;
}

BOOL CRecordSpill::StartFile(tagFile& f)
{
    CMP4JournalBuffer head;
    head.PutBytes(RECORD_SPILL_MAGIC, 6);
    head.Put16(RECORD_SPILL_VERSION);
    f.size = 0;
    f.maxSeq = 0;
    if (ftruncate(f.fd, 0) != 0 || lseek(f.fd, 0, SEEK_SET) != 0 ||
        FullWrite(f.fd, head.Bytes().data(), head.Bytes().size()) != static_cast<ssize_t>(head.Bytes().size())) {
        return 0;
    }
    f.size = head.Bytes().size();
    return 1;
}

void CRecordSpill::CloseFiles()
{
    for (tagFile& f : m_Files) {
        if (f.fd >= 0) {
            close(f.fd);
        }
        f = tagFile();
    }
    if (m_dirFd >= 0) {
        close(m_dirFd);
        m_dirFd = -1;
    }
}

BOOL CRecordSpill::Open(const char* root, uint64_t firstSeq, uint64_t rotateBytes)
{
    std::lock_guard<std::mutex> cycle(m_CycleLock);
    CloseFiles();
    std::string base(root != nullptr ? root : "");
    if (base.empty()) {
        return 0;
    }
    if (base.back() != '/') {
        base += '/';
    }
    m_strPaths[0] = base + RECORD_SPILL_NAME0;
    m_strPaths[1] = base + RECORD_SPILL_NAME1;
    const std::string dir = m_strPaths[0].substr(0, m_strPaths[0].rfind('/') + 1);
    XCreateFullPathDir(dir.c_str(), 0777);
    m_bBroken = FALSE;
    for (int i = 0; i < 2; ++i) {
        // Made new: a name left over may be another file's.
        unlink(m_strPaths[i].c_str());
        m_Files[i].fd = open(m_strPaths[i].c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (m_Files[i].fd < 0 || !StartFile(m_Files[i])) {
            XERROR("SPILL %s NOT CREATED: %s\n", m_strPaths[i].c_str(), strerror(errno));
            m_bBroken = TRUE;
        }
    }
    m_dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    m_bDirSynced = FALSE;
    m_nCurrent = 0;
    m_nRotateBytes = rotateBytes;
    m_nSyncedKeep = 0;
    m_nNextSeq = firstSeq;
    m_nRecordSeq = 0;
    if (m_bBroken) {
        CloseFiles();
        return 0;
    }
    m_Flusher.Start([this] { Flush(); });
    return 1;
}

void CRecordSpill::Close(BOOL bRemove)
{
    std::lock_guard<std::mutex> cycle(m_CycleLock);
    const BOOL bOpen = m_Files[0].fd >= 0 || m_Files[1].fd >= 0;
    CloseFiles();
    if (bRemove && bOpen) {
        for (const std::string& path : m_strPaths) {
            if (unlink(path.c_str()) != 0 && errno != ENOENT) {
                XERROR("SPILL %s NOT REMOVED: %s\n", path.c_str(), strerror(errno));
            }
        }
    }
}

void CRecordSpill::PutPacket(const tagMediaDataInfo* pkt)
{
    if (pkt == nullptr || pkt->nSeq < m_nNextSeq || pkt->lpData == nullptr || pkt->nDataSize == 0) {
        return;
    }
    m_Out.BeginRecord(emRecordSpillRecord_Packet, m_nRecordSeq++);
    m_Out.Put64(pkt->nSeq);
    m_Out.Put8(XSpillKind(pkt->emAVType));
    m_Out.Put8(pkt->emAVType == AVDATA_TYPE_VIDEO && pkt->emFrameType == AVDATA_TYPE_I_FRAME ? RECORD_SPILL_FLAG_KEY
                                                                                              : 0);
    m_Out.Put16(0);
    m_Out.Put32(pkt->nFrameSerial);
    m_Out.Put64(pkt->nTimestamp);
    m_Out.Put16(static_cast<uint16_t>(pkt->nPicWidth));
    m_Out.Put16(static_cast<uint16_t>(pkt->nPicHeight));
    m_Out.PutBytes(pkt->lpData, pkt->nDataSize);
    m_Out.EndRecordUnsealed();
    m_nBatchMaxSeq = pkt->nSeq;
    ++m_nBatchPackets;
}

BOOL CRecordSpill::Flush()
{
    // The engine's lock first, then the flush's, as Close takes them; the
    // engine's is let go once the packets are taken.
    m_EngineLock.Enter();
    std::lock_guard<std::mutex> cycle(m_CycleLock);
    return FlushLocked();
}

BOOL CRecordSpill::FlushLocked()
{
    const BOOL bOpen = m_Files[m_nCurrent].fd >= 0 && !m_bBroken;
    tagRecordSpillState state;
    m_Out.Clear();
    m_nBatchMaxSeq = 0;
    m_nBatchPackets = 0;
    const uint32_t firstRecord = m_nRecordSeq;
    if (bOpen) {
        m_lpSource->TakeSpill(*this, m_nNextSeq, state);
        state.next = m_nBatchMaxSeq != 0 ? m_nBatchMaxSeq + 1 : (state.head > m_nNextSeq ? state.head : m_nNextSeq);
        if (state.keep > state.next) {
            state.keep = state.next;
        }
        m_nNextSeq = state.next;
        m_Out.BeginRecord(emRecordSpillRecord_State, m_nRecordSeq++);
        XPutSpillState(m_Out, state);
        m_Out.EndRecordUnsealed();
    } else {
        // No card to spill to: the journal still goes out.
        m_lpSource->TakeSpill(*this, ~0ULL, state);
    }
    m_EngineLock.Leave();
    BOOL ok = TRUE;
    if (bOpen) {
        m_Out.Seal();
        tagFile* f = &m_Files[m_nCurrent];
        tagFile& other = m_Files[1 - m_nCurrent];
        // The other file is emptied only when the state already on the card
        // needs none of it: a cut before this flush is synced falls back on
        // that state.
        if (f->size >= m_nRotateBytes && other.fd >= 0 && other.maxSeq < m_nSyncedKeep) {
            // Nothing in the other file is needed any more: it takes over.
            if (!StartFile(other)) {
                XERROR("SPILL %s NOT EMPTIED: %s\n", m_strPaths[1 - m_nCurrent].c_str(), strerror(errno));
                m_bBroken = TRUE;
            } else {
                m_nCurrent = 1 - m_nCurrent;
                f = &other;
                ++m_Stats.rotations;
            }
        }
        const std::vector<uint8_t>& out = m_Out.Bytes();
        if (!m_bBroken && (FullWrite(f->fd, out.data(), out.size()) != static_cast<ssize_t>(out.size()) ||
                           XSyncFileData(f->fd) != 0)) {
            XERROR("SPILL %s NOT WRITTEN: %s\n", m_strPaths[m_nCurrent].c_str(), strerror(errno));
            m_bBroken = TRUE;
        }
        if (m_bBroken) {
            // The record numbers go on; the files' contents end here.
            m_nRecordSeq = firstRecord;
            ok = FALSE;
        } else {
            if (!m_bDirSynced && m_dirFd >= 0) {
                fsync(m_dirFd);
                m_bDirSynced = TRUE;
            }
            f->size += out.size();
            m_nSyncedKeep = state.keep;
            if (m_nBatchMaxSeq > f->maxSeq) {
                f->maxSeq = m_nBatchMaxSeq;
            }
            ++m_Stats.flushes;
            m_Stats.bytes += out.size();
            m_Stats.packets += m_nBatchPackets;
        }
    }
    m_Out.Clear();
    // The journal after the packets: a journal on the card never points
    // past the spill.
    if (!m_lpSource->WriteTakenRecoveryData()) {
        ok = FALSE;
    }
    return ok;
}
