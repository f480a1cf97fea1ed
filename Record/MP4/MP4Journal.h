#ifndef RECORD_MP4_MP4JOURNAL_H
#define RECORD_MP4_MP4JOURNAL_H

// Keeps the recovery journal (MP4JournalFormat.h) of the video being
// written. The capture thread only queues entries in memory; a flusher
// thread of its own, once a period, syncs the video's data to the card and
// then appends and syncs the journal records that describe it, so that a
// journal never names bytes that are not on the card before it.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Function/types.h"
#include "MultiTask/PeriodicThread.h"
#include "Record/MP4/MP4JournalFormat.h"
#include "Record/MP4/MP4Muxer.h"

class CAssociatedData;

class CMP4Journal : public CMP4SampleObserver {
public:
    // Flush period: what a power cut may lose of the data written.
    static constexpr unsigned kDefaultPeriodMs = 1000;
    // Entries queued between two flushes at most; beyond that the video's
    // journal stops growing (a card stalled for minutes).
    static constexpr size_t kMaxPending = 8192;

    explicit CMP4Journal(unsigned periodMs = kDefaultPeriodMs);
    // Stops the flusher; the journal of a video still open stays on the card.
    ~CMP4Journal() override;
    CMP4Journal(const CMP4Journal&) = delete;
    CMP4Journal& operator=(const CMP4Journal&) = delete;

    // Starts the journal of the video just opened at `videoPath` (`mediaFd`
    // its descriptor, duplicated here): creates the journal beside it and
    // writes its head. With the head go, for an alarm file, its trigger
    // mask and snapshot records and, when `firstSeq` is not 0, the cache
    // number of the packet the video begins with (a reached record before
    // any sample): from its first write on the journal tells which file it
    // is and where in the cache it begins. 0, logged, when it cannot: the
    // video is then recorded without one.
    BOOL Begin(const char* videoPath, int mediaFd, const tagMP4JournalHeader& header, uint64_t firstSeq = 0,
               uint32_t alarmMask = 0, const CAssociatedData* records = nullptr);
    void OnSample(BOOL bVideo, uint64_t offset, uint32_t size, uint32_t duration, BOOL bChunkStart,
                  BOOL bForceChunk) override;
    void OnLostTime(BOOL bVideo, uint32_t duration) override;
    // The alarm file's trigger mask and snapshot records, as they are now.
    void SetAlarmState(uint32_t mask, const CAssociatedData* list);
    // Resolution flag, parking and the index of the title image in /tmp.
    void SetNames(int resFlag, BOOL bParking, int titleIndex);
    // The video is closed: nothing more is journaled (what is queued is
    // dropped). The journal file stays until Remove.
    void End();
    // Deletes the journal of the video closed last.
    void Remove();
    // A flush on the calling thread: 1 when everything queued reached the
    // journal (tools and tests; the flusher does this every period).
    BOOL Flush();
    void SetPeriod(unsigned ms);
    BOOL IsActive() const;

    // Flushing driven from outside (the recording engine's flusher, which
    // also puts its packet cache on the card): the journal's own flusher
    // stays idle. Collect runs under the lock the writer's caller holds, so
    // that the entries taken and `reachedAll` / `reachedVideo` (the packet
    // numbers the video has reached, see the reached record) describe the
    // same moment; WriteCollected then puts them on the card off that lock.
    void SetDriven(BOOL bDriven);
    void Collect(uint64_t reachedAll, uint64_t reachedVideo);
    BOOL WriteCollected();
    // The first reached value the card holds for the open video (synced by
    // an earlier WriteCollected); 0 when it holds none yet.
    BOOL GetDurableReached(uint64_t& reachedAll) const;

    struct tagStats {
        uint64_t flushes;  // flushes that wrote records
        uint64_t records;
        uint64_t bytes;
    };
    tagStats GetStats() const;

private:
    struct tagSession;

    // Takes the queued entries into the flusher's buffers; m_CycleLock held.
    void CollectLocked(BOOL bReached, uint64_t reachedAll, uint64_t reachedVideo);
    BOOL WriteCollectedLocked();
    // Encodes the queued entries as samples records.
    void EncodeSamples(tagSession& s, const std::vector<tagMP4JournalSample>& entries);

    mutable std::mutex m_Lock;  // everything below but the flusher's own buffers
    std::shared_ptr<tagSession> m_Session;
    std::vector<tagMP4JournalSample> m_Pending;
    BOOL m_bOverflow;
    BOOL m_bAlarmDirty;
    std::vector<uint8_t> m_AlarmPayload;
    BOOL m_bNamesDirty;
    uint8_t m_NamesPayload[8];
    std::string m_strClosedPath;
    BOOL m_bDriven;

    std::mutex m_CycleLock;  // one flush at a time; the buffers below
    std::shared_ptr<tagSession> m_Collected;  // the video of the entries taken
    std::vector<tagMP4JournalSample> m_Flushing;
    BOOL m_bFlushAlarm;
    std::vector<uint8_t> m_FlushAlarm;
    BOOL m_bFlushNames;
    uint8_t m_FlushNames[8];
    BOOL m_bFlushReached;
    uint64_t m_FlushReached[2];
    CMP4JournalBuffer m_Out;

    std::atomic<uint64_t> m_nFlushes;
    std::atomic<uint64_t> m_nRecords;
    std::atomic<uint64_t> m_nBytes;
    CPeriodicThread m_Flusher;  // last: stopped before the rest goes
};

#endif
