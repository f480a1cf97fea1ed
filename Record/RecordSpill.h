#ifndef RECORD_RECORDSPILL_H
#define RECORD_RECORDSPILL_H

// The recording engine's flusher: once a period it takes, under the engine's
// lock, the cached packets not spilled yet and the engine's state, then off
// the lock appends them to the card's spill files (RecordSpillFormat.h) and
// has the writer put the open file's recovery journal on the card. The
// capture thread never waits for the card: it only waits for the copy.

#include <cstdint>
#include <mutex>
#include <string>

#include "Function/types.h"
#include "MultiTask/Mutex.h"
#include "MultiTask/PeriodicThread.h"
#include "Record/MP4/MP4JournalFormat.h"
#include "Record/RecordSpillFormat.h"

class CRecordSpill;
struct tagMediaDataInfo;

// What the flusher takes from the engine and hands back to it.
class CRecordSpillSource {
public:
    virtual ~CRecordSpillSource() = default;
    // Under the engine's lock: appends a packet record (CRecordSpill::PutPacket)
    // for every cached packet numbered from `from` on, fills `state` (but
    // `next`) and takes the writer's recovery data.
    virtual void TakeSpill(CRecordSpill& spill, uint64_t from, tagRecordSpillState& state) = 0;
    // Off the lock, after the spill: the writer's recovery data to the card.
    virtual BOOL WriteTakenRecoveryData() = 0;
};

class CRecordSpill {
public:
    static constexpr unsigned kDefaultPeriodMs = 1000;

    // `lock` is the engine's, held while the flusher takes its packets.
    CRecordSpill(CRecordSpillSource* source, CMutex& lock);
    // Stops the flusher: not with the engine's lock held.
    ~CRecordSpill();
    CRecordSpill(const CRecordSpill&) = delete;
    CRecordSpill& operator=(const CRecordSpill&) = delete;

    // Starts spilling to the card mounted at `root` (a path of this machine):
    // both files are made empty, the next flush takes every packet cached
    // from number `firstSeq` on. Each file is emptied again once it holds
    // `rotateBytes` and the other one is needed no more. Under the lock.
    BOOL Open(const char* root, uint64_t firstSeq, uint64_t rotateBytes);
    // Closes the files (with bRemove deletes them: nothing is left to
    // recover). Under the lock; waits for a flush in progress.
    void Close(BOOL bRemove);
    // One flush on the calling thread (the flusher does one every period):
    // 1 when the spill and the journal reached the card. Not with the lock held.
    BOOL Flush();
    // 0: no flusher thread from now on, the card gets only the flushes
    // asked for (tools that flush per recorded second).
    void SetPeriod(unsigned ms);
    // Has the flusher flush as soon as it can (a file was just begun: its
    // names and its journal's head go to the card at once); any thread.
    void FlushSoon();
    // Ends the flusher thread; not with the lock held.
    void Stop();

    // For TakeSpill: one cached packet as a record.
    void PutPacket(const tagMediaDataInfo* pkt);

    struct tagStats {
        uint64_t flushes;
        uint64_t bytes;
        uint64_t packets;
        uint64_t rotations;
    };
    tagStats GetStats() const;

private:
    struct tagFile {
        int fd = -1;
        uint64_t size = 0;
        uint64_t maxSeq = 0;  // newest packet in it
    };

    // Entered with both locks; lets the engine's go once the packets are taken.
    BOOL FlushLocked();
    BOOL StartFile(tagFile& f);
    void CloseFiles();

    CRecordSpillSource* m_lpSource;
    CMutex& m_EngineLock;

    std::mutex m_CycleLock;  // one flush at a time; everything below
    std::string m_strPaths[2];
    tagFile m_Files[2];
    int m_nCurrent;
    int m_dirFd;
    BOOL m_bDirSynced;
    BOOL m_bBroken;
    uint64_t m_nRotateBytes;
    uint64_t m_nSyncedKeep;  // oldest packet the state on the card needs
    uint64_t m_nNextSeq;  // first packet not spilled yet
    uint64_t m_nBatchMaxSeq;
    uint32_t m_nRecordSeq;
    uint64_t m_nBatchPackets;
    CMP4JournalBuffer m_Out;
    tagStats m_Stats;
    CPeriodicThread m_Flusher;  // last: stopped before the rest goes
};

#endif
