#ifndef RECORD_RECORDFILEBASE_H
#define RECORD_RECORDFILEBASE_H

#include <cstdint>

#include "Function/RecTime.h"
#include "Function/types.h"
#include "Record/Index/AssociatedData.h"
#include "Record/RecordTypes.h"
#include "Record/TimeTypeMapping.h"

struct tagH264SPSPPS;     // the H.264 parameter sets handed to StartRecord
struct tagMediaDataInfo;  // one cached packet of the recording engine

// The file writer that the recording engine drives: one file's state bits,
// frame counts, the triggers that keep it open and its snapshot records. It
// decides when the file must be closed (CheckNeedPack) and closes it
// (CheckPack). The object is reused for every file.
class CRecordFile {
public:
    // Stopped and Paused at construction; the engine adds Continuous.
    explicit CRecordFile(int flag = emRecordFileFlag_Stopped | emRecordFileFlag_Paused);
    CRecordFile(const CRecordFile&) = delete;
    CRecordFile& operator=(const CRecordFile&) = delete;

    // Opens a new file and loads its trigger list (a copy; the caller keeps
    // `duration`): 1 or 0.
    virtual BOOL StartRecord(const char* filename, int timescale, int framerate, unsigned width, unsigned height,
                             const TimeTypeMappingNode* duration, unsigned thumbGranularity, emRecordFileType type,
                             const tagH264SPSPPS* spspps) = 0;
    virtual BOOL WriteAudioPacket(const tagMediaDataInfo* pkt) = 0;
    virtual BOOL WriteVideoPacket(const tagMediaDataInfo* pkt) = 0;
    // Bytes of the open file so far; 0 when none is open.
    virtual uint64_t GetFileSize() = 0;
    // Closes the open file: 1, or 0 when none is open.
    virtual BOOL StopRecord() = 0;
    // The cache number of the packet the file opened next begins with, for
    // its recovery data; before StartRecord. Writers without a journal
    // ignore it.
    virtual void SetRecoveryStart(uint64_t) {}
    // What the card scan needs beyond the samples to finish the open file
    // after a power cut: the resolution flag, parking, and the index of its
    // title image waiting in /tmp (-1 none). Writers without a journal
    // ignore it.
    virtual void SetRecoveryInfo(int, BOOL, int) {}
    // The closed file was handed on (finished, or given up): what was kept
    // on the card for recovering it goes.
    virtual void DropRecoveryData() {}
    // The engine's flusher puts the recovery data on the card from now on
    // (the writer's own flusher stays idle); 0 when the writer keeps none.
    virtual BOOL SetRecoveryDriven() { return 0; }
    // Under the engine's lock: takes what the open file's recovery data
    // gained since the last call. Off the lock: puts that on the card, 1
    // when it is there.
    virtual void CollectRecoveryData() {}
    virtual BOOL WriteRecoveryData() { return 1; }
    // Under the engine's lock: every cached packet numbered up to the result
    // is in the open file on the card (or was dropped); 0 when the card holds
    // no such mark for it yet.
    virtual uint64_t GetDurableSeq() { return 0; }
    // Sets Pack while recording when forced, when fewer than fps frames are
    // left, or when the file holds fps x 256 frames.
    virtual void CheckNeedPack(BOOL bImmediately);
    // Closes the file when Pack is set: the result of StopRecord, else 0.
    virtual BOOL CheckPack();
    // Gives the trigger list and the snapshot records back to their pools.
    virtual ~CRecordFile();

    // Arms `trigger` for `duration` frames, or re-arms it when it is running
    // already. A Common trigger is refused for alarm files; 0 also when the
    // pool is empty.
    BOOL AddTypeMapping(emRecordTriggerType trigger, unsigned duration);
    // Inserts a node the file owns from now on; 1.
    BOOL AddTypeMapping(TimeTypeMappingNode* node);
    // Counts `passedTime` frames off every trigger and drops the expired ones.
    void CheckTypeMapping(int passedTime);
    // Copies the running triggers into a new list from the pool (the caller
    // owns it), the largest remaining length into `nMaxLeft` and the file's
    // own left frames into `nLeftFrames`.
    void GetLeftFrames(TimeTypeMapping*& lpList, int& nMaxLeft, int& nLeftFrames);
    // Grows the file's remaining length to `duration` (at least fps); never
    // shrinks it.
    void SetDurationTime(unsigned duration);
    // Arms every trigger of `list`, in list order.
    void SetDurationTime(const TimeTypeMapping* list);

    // Puts the records of `list`, in their order, in front of the file's.
    void SetAssociatedData(CAssociatedData* list);
    // The first record; with bReset the file forgets its list and the caller
    // owns the records.
    void GetAssociatedData(CAssociatedData*& lpHead, BOOL bReset);

    int GetFlag() const { return m_Flag; }
    void SetFlag(int flag) { m_Flag = flag; }
    void AddFlag(int flag) { m_Flag |= flag; }
    void RmFlag(int flag) { m_Flag &= ~flag; }
    emRecordFileType GetRecordFileType() const { return m_emRecordFileType; }
    unsigned GetStartTime() const { return m_FirstFrameTime; }
    uint32_t GetTotalAlarmTrigger() const { return m_totalTriggerType; }
    unsigned GetCurrentAlarmTrigger() const { return m_curTriggerType; }
    int64_t GetTotalSize() const { return m_TotalSize; }
    unsigned GetErrorCount() const { return m_Errors; }
    unsigned GetContext() const { return m_Context; }
    int GetLeftFrames() const { return m_LeftFrames; }
    unsigned GetTotalFrames() const { return m_TotalFrames; }
    int GetFps() const { return m_Fps; }
    const TimeTypeMapping* GetTypeMappings() const { return m_pTimeTypeMappingsHead; }
    void SetThumbGranularity(int frames) { m_ThumbGranularity = frames; }
    void SetFileNameInfo(const RECTIME& time, int index)
    {
        m_RecFileTime = time;
        m_RecFileIndex = index;
    }
    const RECTIME& GetFileNameTime() const { return m_RecFileTime; }
    int GetFileNameIndex() const { return m_RecFileIndex; }
    // Whole seconds of the written frames, rounded up; 0 when fps is 0.
    unsigned GetFileNameDuration() const;

protected:
    // Give the trigger list / the snapshot records back and forget them.
    void ReleaseTypeMappings();
    void ReleaseAssociatedData();

    int m_Flag;
    emRecordFileType m_emRecordFileType;
    RECTIME m_RecFileTime;
    int m_RecFileIndex;
    unsigned m_FirstFrameTime;
    unsigned m_LastVideoFrameSerial;
    unsigned m_LastAudioFrameSerial;
    unsigned m_TotalFrames;
    int m_LeftFrames;
    int m_Fps;
    int m_ThumbGranularity;
    int m_LeftThumb;
    unsigned m_Context;
    unsigned m_Errors;
    unsigned m_MaxLimitFrames;
    TimeTypeMapping* m_pTimeTypeMappingsHead;
    unsigned m_curTriggerType;
    uint32_t m_totalTriggerType;
    CAssociatedData* m_lpAssociatedDataListHead;
    CAssociatedData* m_lpAssociatedDataListTail;
    int64_t m_TotalSize;
    unsigned m_LastFrameTime;
    unsigned m_TotalIFrames;
};

#endif
