#include "Record/MP4/MP4Journal.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "Function/ByteOrder.h"
#include "Function/XLog.h"
#include "Function/common.h"
#include "Record/Index/AssociatedData.h"
#include "Record/Index/RecordFileName.h"
#include "Record/MP4/MP4SkipBox.h"

namespace {

void XCloseFd(int& fd)
{
    if (fd >= 0) {
        close(fd);
        fd = -1;
    }
}

// The alarm record's payload: the trigger mask, then the snapshot records.
std::vector<uint8_t> XAlarmPayload(uint32_t mask, const CAssociatedData* list)
{
    std::vector<uint8_t> payload(8);
    uint32_t count = 0;
    for (const CAssociatedData* p = list; p != nullptr; p = p->GetNext()) {
        uint8_t rec[MP4_ASCT_RECORD_SIZE];
        XMP4EncodeAsctRecord(*p, rec);
        payload.insert(payload.end(), rec, rec + sizeof(rec));
        ++count;
    }
    XPutBE32(payload.data(), mask);
    XPutBE32(payload.data() + 4, count);
    return payload;
}

}  // namespace

// One video's journal: its own descriptors, closed when the last holder
// (the recorder, or a flush in progress) lets go.
struct CMP4Journal::tagSession {
    int mediaFd = -1;
    int journalFd = -1;
    int dirFd = -1;
    std::string path;
    uint32_t seq = 0;
    uint64_t dataEnd = 64;  // end of the last sample journaled (mdat payload start)
    uint64_t durableReached = 0;  // first value of the last reached record synced
    BOOL bDirSynced = FALSE;
    BOOL bBroken = FALSE;
    ~tagSession()
    {
        XCloseFd(mediaFd);
        XCloseFd(journalFd);
        XCloseFd(dirFd);
    }
};

CMP4Journal::CMP4Journal(unsigned periodMs)
    : m_bOverflow(FALSE),
      m_bAlarmDirty(FALSE),
      m_bNamesDirty(FALSE),
      m_NamesPayload(),
      m_bDriven(FALSE),
      m_bFlushAlarm(FALSE),
      m_bFlushNames(FALSE),
      m_FlushNames(),
      m_bFlushReached(FALSE),
      m_FlushReached(),
      m_nFlushes(0),
      m_nRecords(0),
      m_nBytes(0),
      m_Flusher(periodMs > 0 ? periodMs : kDefaultPeriodMs)
{
    m_Pending.reserve(kMaxPending);
    m_Flushing.reserve(kMaxPending);
}

CMP4Journal::~CMP4Journal()
{
    m_Flusher.Stop();
}

BOOL CMP4Journal::Begin(const char* videoPath, int mediaFd, const tagMP4JournalHeader& header, uint64_t firstSeq,
                        uint32_t alarmMask, const CAssociatedData* records)
{
    End();
    char path[RECORD_NAME_BUF_SIZE];
    if (!XMP4JournalPath(videoPath, path, sizeof(path)) || mediaFd < 0) {
        XERROR("no journal name for %s\n", videoPath != nullptr ? videoPath : "(null)");
        return 0;
    }
    std::shared_ptr<tagSession> s = std::make_shared<tagSession>();
    s->path = path;
    std::string dir(path);
    dir.resize(dir.rfind('/') + 1);
    // A name left over is dropped, never written through: it may be
    // another file's.
    unlink(path);
    s->journalFd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    s->mediaFd = fcntl(mediaFd, F_DUPFD_CLOEXEC, 0);
    s->dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (s->journalFd < 0 || s->mediaFd < 0) {
        XERROR("JOURNAL %s NOT CREATED: %s\n", path, strerror(errno));
        if (s->journalFd >= 0) {
            unlink(path);
        }
        return 0;
    }
    CMP4JournalBuffer head;
    head.PutHead();
    head.BeginRecord(emMP4JournalRecord_Header, s->seq++);
    head.PutHeader(header);
    head.EndRecord();
    if (header.fileType == 1) {
        const std::vector<uint8_t> alarm = XAlarmPayload(alarmMask, records);
        head.BeginRecord(emMP4JournalRecord_Alarm, s->seq++);
        head.PutBytes(alarm.data(), alarm.size());
        head.EndRecord();
    }
    if (firstSeq != 0) {
        head.BeginRecord(emMP4JournalRecord_Reached, s->seq++);
        head.Put64(firstSeq - 1);
        head.Put64(firstSeq - 1);
        head.EndRecord();
    }
    // Into the page cache only; the first flush syncs it with the folder.
    if (FullWrite(s->journalFd, head.Bytes().data(), head.Bytes().size()) !=
        static_cast<ssize_t>(head.Bytes().size())) {
        XERROR("JOURNAL %s NOT WRITTEN: %s\n", path, strerror(errno));
        unlink(path);
        return 0;
    }
    BOOL bDriven = FALSE;
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        m_Session = s;
        m_Pending.clear();
        m_bOverflow = FALSE;
        m_bAlarmDirty = FALSE;
        m_AlarmPayload.clear();
        m_bNamesDirty = FALSE;
        bDriven = m_bDriven;
    }
    if (bDriven) {
        // The engine's flusher writes the journal; no thread of its own.
        return 1;
    }
    m_Flusher.Start([this] {
        BOOL bDrivenNow = FALSE;
        {
            std::lock_guard<std::mutex> lock(m_Lock);
            bDrivenNow = m_bDriven;
        }
        if (!bDrivenNow) {
            Flush();
        }
    });
    return 1;
}

void CMP4Journal::OnSample(BOOL bVideo, uint64_t offset, uint32_t size, uint32_t duration, BOOL bChunkStart,
                           BOOL bForceChunk)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    if (!m_Session || m_bOverflow) {
        return;
    }
    if (m_Pending.size() >= kMaxPending) {
        // A gap cannot be journaled: the journal keeps what it has.
        m_bOverflow = TRUE;
        XERROR("JOURNAL %s FULL: THE CARD DOES NOT KEEP UP\n", m_Session->path.c_str());
        return;
    }
    tagMP4JournalSample e;
    e.offset = offset;
    e.size = size;
    e.duration = duration;
    e.kind = bVideo ? emMP4JournalEntry_Video : emMP4JournalEntry_Audio;
    e.flags = static_cast<uint8_t>((bChunkStart ? MP4_JOURNAL_FLAG_KEY : 0) |
                                   (bForceChunk ? MP4_JOURNAL_FLAG_FORCE_CHUNK : 0));
    m_Pending.push_back(e);
}

void CMP4Journal::OnLostTime(BOOL bVideo, uint32_t duration)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    if (!m_Session || m_bOverflow || m_Pending.size() >= kMaxPending) {
        return;
    }
    tagMP4JournalSample e = {};
    e.duration = duration;
    e.kind = bVideo ? emMP4JournalEntry_VideoLost : emMP4JournalEntry_AudioLost;
    m_Pending.push_back(e);
}

void CMP4Journal::SetAlarmState(uint32_t mask, const CAssociatedData* list)
{
    std::vector<uint8_t> payload = XAlarmPayload(mask, list);
    std::lock_guard<std::mutex> lock(m_Lock);
    if (m_Session) {
        m_AlarmPayload.swap(payload);
        m_bAlarmDirty = TRUE;
    }
}

void CMP4Journal::SetNames(int resFlag, BOOL bParking, int titleIndex)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    if (!m_Session) {
        return;
    }
    XPutBE16(m_NamesPayload, static_cast<uint16_t>(resFlag == 720 ? 720 : 1080));
    m_NamesPayload[2] = bParking ? 1 : 0;
    m_NamesPayload[3] = 0;
    XPutBE32(m_NamesPayload + 4, static_cast<uint32_t>(titleIndex < 0 ? -1 : titleIndex));
    m_bNamesDirty = TRUE;
}

void CMP4Journal::End()
{
    std::lock_guard<std::mutex> lock(m_Lock);
    if (!m_Session) {
        return;
    }
    m_strClosedPath = m_Session->path;
    m_Session.reset();
    m_Pending.clear();
    m_bAlarmDirty = FALSE;
    m_bNamesDirty = FALSE;
}

void CMP4Journal::Remove()
{
    std::string path;
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        path.swap(m_strClosedPath);
    }
    if (!path.empty() && unlink(path.c_str()) != 0 && errno != ENOENT) {
        XERROR("JOURNAL %s NOT REMOVED: %s\n", path.c_str(), strerror(errno));
    }
}

BOOL CMP4Journal::Flush()
{
    std::lock_guard<std::mutex> cycle(m_CycleLock);
    CollectLocked(FALSE, 0, 0);
    return WriteCollectedLocked();
}

void CMP4Journal::SetDriven(BOOL bDriven)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    m_bDriven = bDriven;
}

void CMP4Journal::Collect(uint64_t reachedAll, uint64_t reachedVideo)
{
    std::lock_guard<std::mutex> cycle(m_CycleLock);
    CollectLocked(TRUE, reachedAll, reachedVideo);
}

BOOL CMP4Journal::WriteCollected()
{
    std::lock_guard<std::mutex> cycle(m_CycleLock);
    return WriteCollectedLocked();
}

BOOL CMP4Journal::GetDurableReached(uint64_t& reachedAll) const
{
    std::lock_guard<std::mutex> lock(m_Lock);
    reachedAll = m_Session ? m_Session->durableReached : 0;
    return reachedAll != 0;
}

void CMP4Journal::SetPeriod(unsigned ms)
{
    m_Flusher.SetPeriod(ms > 0 ? ms : kDefaultPeriodMs);
}

BOOL CMP4Journal::IsActive() const
{
    std::lock_guard<std::mutex> lock(m_Lock);
    return m_Session ? TRUE : FALSE;
}

CMP4Journal::tagStats CMP4Journal::GetStats() const
{
    tagStats s;
    s.flushes = m_nFlushes.load();
    s.records = m_nRecords.load();
    s.bytes = m_nBytes.load();
    return s;
}

void CMP4Journal::EncodeSamples(tagSession& s, const std::vector<tagMP4JournalSample>& entries)
{
    typedef tagMP4JournalLimits L;
    const size_t maxEntries = (L::kMaxPayload - L::kSamplesHeadBytes) / L::kEntryBytes;
    size_t countPos = 0;
    uint32_t count = 0;
    bool open = false;
    auto close = [&]() {
        if (open) {
            XPutBE32(&m_Out.Bytes()[countPos], count);
            m_Out.EndRecord();
            open = false;
        }
    };
    for (const tagMP4JournalSample& e : entries) {
        const bool lost = e.kind == emMP4JournalEntry_VideoLost || e.kind == emMP4JournalEntry_AudioLost;
        // One record per run of samples lying back to back.
        if (open && (count == maxEntries || (!lost && e.offset != s.dataEnd))) {
            close();
        }
        if (!open) {
            m_Out.BeginRecord(emMP4JournalRecord_Samples, s.seq++);
            m_Out.Put64(lost ? s.dataEnd : e.offset);
            countPos = m_Out.Bytes().size();
            m_Out.Put32(0);
            count = 0;
            open = true;
        }
        m_Out.PutEntry(e);
        ++count;
        if (!lost) {
            s.dataEnd = e.offset + e.size;
        }
    }
    close();
}

void CMP4Journal::CollectLocked(BOOL bReached, uint64_t reachedAll, uint64_t reachedVideo)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    if (m_Collected != m_Session) {
        // Entries of a video closed meanwhile are of no use any more.
        m_Collected = m_Session;
        m_Flushing.clear();
        m_bFlushAlarm = FALSE;
        m_bFlushNames = FALSE;
        m_bFlushReached = FALSE;
    }
    if (!m_Session) {
        return;
    }
    m_Flushing.insert(m_Flushing.end(), m_Pending.begin(), m_Pending.end());
    m_Pending.clear();
    if (m_bAlarmDirty) {
        m_FlushAlarm.swap(m_AlarmPayload);
        m_bFlushAlarm = TRUE;
        m_bAlarmDirty = FALSE;
    }
    if (m_bNamesDirty) {
        memcpy(m_FlushNames, m_NamesPayload, sizeof(m_FlushNames));
        m_bFlushNames = TRUE;
        m_bNamesDirty = FALSE;
    }
    if (bReached && !m_bOverflow) {
        m_FlushReached[0] = reachedAll;
        m_FlushReached[1] = reachedVideo;
        m_bFlushReached = TRUE;
    }
}

BOOL CMP4Journal::WriteCollectedLocked()
{
    std::shared_ptr<tagSession> s = m_Collected;
    m_Collected.reset();
    if (!s) {
        return 1;
    }
    const BOOL bAlarm = m_bFlushAlarm;
    const BOOL bNames = m_bFlushNames;
    const BOOL bReached = m_bFlushReached;
    m_bFlushAlarm = FALSE;
    m_bFlushNames = FALSE;
    m_bFlushReached = FALSE;
    if (s->bBroken) {
        m_Flushing.clear();
        return 0;
    }
    if (m_Flushing.empty() && !bAlarm && !bNames && !bReached && s->bDirSynced) {
        return 1;
    }
    const uint32_t firstSeq = s->seq;
    m_Out.Clear();
    EncodeSamples(*s, m_Flushing);
    m_Flushing.clear();
    if (bAlarm) {
        m_Out.BeginRecord(emMP4JournalRecord_Alarm, s->seq++);
        m_Out.PutBytes(m_FlushAlarm.data(), m_FlushAlarm.size());
        m_Out.EndRecord();
    }
    if (bNames) {
        m_Out.BeginRecord(emMP4JournalRecord_Names, s->seq++);
        m_Out.PutBytes(m_FlushNames, sizeof(m_FlushNames));
        m_Out.EndRecord();
    }
    if (bReached) {
        m_Out.BeginRecord(emMP4JournalRecord_Reached, s->seq++);
        m_Out.Put64(m_FlushReached[0]);
        m_Out.Put64(m_FlushReached[1]);
        m_Out.EndRecord();
    }
    // The samples first, then the records that name them.
    if (XSyncFileData(s->mediaFd) != 0) {
        XERROR("JOURNAL %s: VIDEO NOT SYNCED: %s\n", s->path.c_str(), strerror(errno));
        s->bBroken = TRUE;
        return 0;
    }
    if (!s->bDirSynced) {
        // The names of the video and its journal survive a cut.
        if (s->dirFd >= 0) {
            fsync(s->dirFd);
        }
        s->bDirSynced = TRUE;
    }
    const std::vector<uint8_t>& out = m_Out.Bytes();
    if (!out.empty()) {
        if (FullWrite(s->journalFd, out.data(), out.size()) != static_cast<ssize_t>(out.size()) ||
            XSyncFileData(s->journalFd) != 0) {
            XERROR("JOURNAL %s NOT WRITTEN: %s\n", s->path.c_str(), strerror(errno));
            s->bBroken = TRUE;
            return 0;
        }
        m_nFlushes++;
        m_nRecords += s->seq - firstSeq;
        m_nBytes += out.size();
    } else if (XSyncFileData(s->journalFd) != 0) {
        s->bBroken = TRUE;
        return 0;
    }
    if (bReached) {
        std::lock_guard<std::mutex> lock(m_Lock);
        s->durableReached = m_FlushReached[0];
    }
    return 1;
}
