#ifndef RECORD_RECORD_H
#define RECORD_RECORD_H

// The road of a packet through this folder:
//   CRecord::IncommingPacket (Record.cpp) hands each stream to CRecordIntake
//   (RecordIntake.cpp), which checks it and copies it into the 6-second cache
//   CRecordRingBuffer (RingBuffer.cpp). What leaves the cache reaches
//   CRecord::ProcessPacket (RecordProcess.cpp): a video I-frame closes the
//   open file and opens the next, every packet is written by CMP4File
//   (MP4/MP4File.cpp, over CRecordFile in RecordFileBase.cpp) through
//   CMP4Muxer (MP4/MP4Muxer.cpp) and CByteIOFile (MP4/ByteIOFile.cpp), the
//   sample tables growing in CMovieEntry (MP4/MP4MovieEntry.cpp). Closing
//   writes the trailer: mdat's size, the skip box (MP4/MP4SkipBox.cpp) and
//   moov with its tracks (MP4/MP4Track.cpp and the track classes beside it).
//   The finishing step (RecordFinisher.h; CRecordPacker, RecordPacker.cpp)
//   then gives the file its final name (Index/RecordFileName.cpp), moves its
//   title image and thumbnail archive, enters it in its CRecordFileIndex
//   (Index/RecordFileIndex.cpp) and sends its JSON document
//   (Index/RecordFileIndexNode.cpp) to the phone (RecordNotify.cpp).
// The road of an alarm:
//   CRecord::StartAlarmRecord (RecordAlarm.cpp) only sets flags and the
//   pending trigger; at the next I-frame RecordProcess.cpp closes the loop
//   file and opens the alarm file, which its triggers keep open
//   (TimeTypeMapping.cpp). The snapshot records taken meanwhile
//   (Index/AssociatedData.cpp) go with the trigger letters into its skip
//   box, and at a mount the card scan (Index/RecordScan.cpp) reads them back
//   (MP4/AssociatedDataReader.cpp). The app's lists and
//   deletions are CRecord's app operations (RecordApp.cpp).
//
// The recording engine: turns the encoded packets that the capture thread
// hands over into loop ("common") and event ("alarm") MP4 files on the card.
// It has no thread: packets pass a 6-second cache and every video I-frame
// that leaves it is the only point where a file is closed and the next one
// opened. Alarms, pauses, stops and card changes from other threads only set
// flags and pending lists that the next I-frame acts on. One recursive lock
// guards everything and is held for a whole packet.

#include <atomic>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>

#include "Alarm/AlarmTypes.h"
#include "Function/types.h"
#include "MultiTask/Mutex.h"
#include "MultiTask/Singleton.h"
#include "Platform/MediaTypes.h"
#include "Record/Index/AssociatedData.h"
#include "Record/Index/RecordFileIndex.h"
#include "Record/Index/RecordFileName.h"
#include "Record/MP4/MP4Types.h"
#include "Record/MediaDataInfo.h"
#include "Record/RecordCard.h"
#include "Record/RecordFileBase.h"
#include "Record/RecordFinisher.h"
#include "Record/RecordIntake.h"
#include "Record/RecordListCache.h"
#include "Record/RecordSpill.h"
#include "Record/RingBuffer.h"
#include "Record/TimeTypeMapping.h"

// The recording LED.
#define RECORD_LED_GPIO 71

class CRecord : private CRecordPacketSink, private CRecordSpillSource, public CSDRecordClient, public CSingleton<CRecord> {
public:
    // An engine over its own writer, card and finishing step (all owned).
    // instance() uses an MP4 writer, CSDManager and the finishing step set
    // with SetFinisher; tests and tools make engines of their own, with a
    // smaller ring when they like.
    CRecord(CRecordFile* lpRecorder, CRecordCard* lpCard, CRecordFinisher* lpFinisher,
            uint32_t nRingSize = CRecordRingBuffer::m_nDefaultRingBuffSize);
    ~CRecord() override;
    CRecord(const CRecord&) = delete;
    CRecord& operator=(const CRecord&) = delete;

    // Stores the stream's figures, reads the quotas and registers the card
    // callback; the result is whether that registration succeeded.
    BOOL Init(int fps, int gop, unsigned width, unsigned height);
    // Unregisters, closes the open file (with its trailer, under its
    // recording name) and gives every index node, trigger and snapshot
    // record back to its pool: the indexes are empty afterwards; 1.
    BOOL CleanUp();

    static int SDCardStateChange(int state, void* priv);
    int OnSDCardStateChange(int state);

    // Capture thread: one stream (VENC_STREAM_S for video and JPEG,
    // AUDIO_STREAM_S for audio) with its description.
    void IncommingPacket(void* stream, const tagChannelConfig* config);
    // Processes every cached packet up to the last video frame.
    void FlushRingBuffer();

    BOOL StartCommonRecord();
    BOOL StopAllRecord(BOOL bFlushBuffer, BOOL bImmediately) override;
    BOOL PauseAllRecord(BOOL bFlushBuffer, BOOL bImmediately);
    BOOL ResumeCommonRecord();
    // `alarm` an emAlarmType bit, `type` the trigger letter ('M' manual).
    BOOL StartAlarmRecord(unsigned alarm, unsigned long type);
    // A snapshot record for the alarm file; 1 when taken (the engine owns it).
    BOOL SetAssociatedData(CAssociatedData* lpData);

    int GetIsPauseRecord() override;
    BOOL GetIsCanbeRecord() const { return m_CanbeRecord.load(); }
    BOOL GetParkingFlag() const { return m_ParkingFlag.load(); }
    void SetFactoryTesting(BOOL bTesting);
    void SetLedOnOffRate(int frames);
    void CleanAllFileIndex();

    // The free-space policy (CSDRecordClient).
    BOOL CheckOverflowFile() override;
    BOOL DeleteOldestCommonRecordFile() override;

    // The app's file operations (web bridges, app channel, snapshots).
    // The lists: the category's document and its length, -1 when the buffer
    // is too short or the card is not inserted and mounted.
    int GetCommonVideoFileAsJson(char* buff, int buff_len);
    int GetAlarmVideoFileAsJSON(char* buff, int buff_len);
    int GetAlarmImgFileAsJSON(char* buff, int buff_len);
    // The same document shared, built once per change of the category's
    // index (at most `largest` bytes with its terminator); refused as the
    // lists above are.
    emListBuild GetFileList(emRecFileType type, size_t largest, RecordListBytes& out);
    // Deletes the file the app names, with its title and archive, from the
    // card and the index; 0 unless the card is usable.
    BOOL DeleteCommonVideoFile(const char* filename);
    BOOL DeleteAlarmVideoFile(const char* filename);
    BOOL DeleteAlarmImgFile(const char* filename);
    // Every file of the category; 0 unless the card is usable.
    BOOL CleanAllCommonVideoFile();
    BOOL CleanAllAlarmVideoFile();
    BOOL CleanAllAlarmImgFile();
    // The card shares in percent. Setting stores them unchecked, recomputes
    // the byte limits on a usable card and writes them to the settings; 1.
    void GetFileSpaceQuotaOnSD(unsigned& common, unsigned& alarmVideo, unsigned& alarmImage);
    BOOL SetFileSpaceQuotaOnSD(unsigned common, unsigned alarmVideo, unsigned alarmImage);
    // An image the snapshot side wrote to the card: indexed, and the phone
    // told; 0 when the index refuses it.
    BOOL AddAlarmImgIndex(const RECTIME& time, char type, int index, unsigned long size);
    // Bytes held by each kind, for the app's storage report; read without
    // the engine's lock.
    void GetTotalFileSize(uint64_t& common, uint64_t& alarm, uint64_t& image) const;

    // Capture side, under the lock. A resolution switch sets the size before
    // it pauses with a flush; the file open then keeps its own resolution.
    void SetRecordResolution(PIC_SIZE_E res, unsigned width, unsigned height);
    // Entering (1 fps time-lapse, no cache) or leaving parking mode; called
    // while recording is paused.
    void SetParkingMode(BOOL bParking);

    // Factory test.
    BOOL StartRecordAAC(const char* filename);
    BOOL StopRecordAAC();
    BOOL ImageSensorActive();

    // Replaces the finishing step (owned from now on; null: files keep their
    // recording names).
    void SetFinisher(CRecordFinisher* lpFinisher);
    // Arrival clock of the packets (tools feeding recorded time).
    void SetPacketClock(XUSClockFunc lpfnClock);

    // Puts the packet cache on the card too, once a period with the open
    // file's journal (RecordSpill.h), while a card is mounted; 0 when the
    // writer keeps no journal. Before the card is mounted.
    BOOL EnableSpill();
    // One flush of the spill and the journal now (tools); not under the
    // engine's lock. 1 when both reached the card (or there is no spill).
    BOOL FlushRecoveryData();
    // The flusher's period; 0: no flusher, only FlushRecoveryData puts the
    // recovery data on the card (tools flushing per recorded second).
    void SetRecoveryPeriod(unsigned ms);
    const CRecordSpill* GetSpill() const { return m_lpSpill.get(); }

    // Written by capture; read from any thread.
    std::atomic<int> m_RecordResolution;  // PIC_SIZE_E
    std::atomic<BOOL> m_ParkingFlag;

    // Diagnostics and tests.
    int GetRecorderFlag();
    int GetResFlag();
    const CRecordRingBuffer& GetRingBuffer() const { return m_Ring; }
    CRecordFileIndex& GetCommonRecordFileIndex() { return m_CommonRecordFileIndex; }
    CRecordFileIndex& GetAlarmRecordFileIndex() { return m_AlarmRecordFileIndex; }
    CRecordFileIndex& GetAlarmImageFileIndex() { return m_AlarmImageFileIndex; }
    void GetByteLimits(uint64_t& common, uint64_t& alarm, uint64_t& image);

private:
    friend class CSingleton<CRecord>;
    // The process's engine: an MP4 writer, the SD manager's card, the packer.
    CRecord();

    // What ChangeCardFiles does to a category's files.
    enum emCardFilesChange {
        emCardFilesChange_Delete,        // the file named
        emCardFilesChange_CleanAll,      // every file
        emCardFilesChange_DeleteOldest,  // the oldest file
    };

    BOOL ProcessPacket(const tagMediaDataInfo* pkt) override;
    void TakeSpill(CRecordSpill& spill, uint64_t from, tagRecordSpillState& state) override;
    BOOL WriteTakenRecoveryData() override;
    BOOL CheckStartRecord(time_t t, const tagMediaDataInfo* pkt);
    BOOL CheckPackRecord(BOOL bForcePack);
    void CheckSaveTitle(const tagMediaDataInfo* pkt);
    void CheckSaveThumb(const tagMediaDataInfo* pkt);
    void MergeRecordDurationToNext(const TimeTypeMapping* list);
    void MergeTriggerToNext(emRecordTriggerType trigger, int lefttime);
    void MergeRecordAssociatedDataToNext(const CAssociatedData* record);
    // Closes the open file at once without finishing it (the card is gone);
    // a pending alarm file goes with it.
    void CloseForLostCard();
    // The next file is a loop file; pending alarm triggers and records go back to their pools.
    void ResetNextRecordToCommon();
    // Empties the indexes and gives the pending lists and the recorder's
    // snapshot records back to their pools.
    void ReleasePoolObjects();
    BOOL IsCardUsable() const;
    // Inserted and mounted (a read-only card still lists).
    BOOL IsCardListable() const;
    BOOL FetchMountPath();
    // The byte limits from the card's size and the percentages.
    void UpdateByteLimits();
    void FillFinishInfo(tagRecordFinishInfo& info, BOOL bComplete);
    void SetLed(BOOL bOn);
    // Start and resume: clears `clearedFlag` and, on a usable card, asks
    // for the next file. Stop and pause: sets `setFlag` and closes the file.
    void ContinueRecord(int clearedFlag);
    void HaltRecord(int setFlag, BOOL bFlushBuffer, BOOL bImmediately);
    // The app's operations of every category: the index of a category, its
    // list under the lock, and the changes of its files on a usable card.
    CRecordFileIndex& IndexOf(emRecFileType type);
    int GetFileListAsJson(emRecFileType type, char* buff, int buff_len);
    BOOL ChangeCardFiles(emRecFileType type, emCardFilesChange change, const char* filename);

    std::atomic<int> m_SDState;
    char m_szSDMountPath[256];
    std::unique_ptr<CRecordFile> m_lpRecorder;
    std::unique_ptr<CRecordCard> m_lpCard;
    std::unique_ptr<CRecordFinisher> m_lpFinisher;
    emRecordFileType m_emNextRecordFileType;
    TimeTypeMapping* m_lpNextRecordFileDuration;
    TimeTypeMapping* m_lpPrevRecordFileLeftDuration;
    CAssociatedData* m_lpNextRecordFileAssociatedData;
    int m_TimeScale;
    int m_RecordChnFps;
    int m_RecordChnGop;
    unsigned m_RecordChnWidth;
    unsigned m_RecordChnHeight;
    int m_nSensorFps;  // the stream's rate outside parking mode
    unsigned m_AlarmPreRecordTime;
    unsigned m_AlarmRecordDelayTime;
    int m_AlarmRecordLeftTime;
    unsigned m_CommonRecordDuration;
    unsigned m_CommonRecordThumbGranularity;
    int m_ResFlag;
    CRecordFileName m_CommonRecordFileName;
    CRecordFileName m_CommonRecordTitleFileName;
    CRecordFileName m_CommonRecordThumbFileName;
    CRecordFileName m_AlarmRecordFileName;
    CRecordFileName m_AlarmRecordTitleFileName;
    CRecordFileIndex m_CommonRecordFileIndex;
    CRecordFileIndex m_AlarmRecordFileIndex;
    CRecordFileIndex m_AlarmImageFileIndex;
    CRecordListCache m_ListCache[3];  // by emRecFileType
    uint64_t m_nMaxCommonVideoSize;
    uint64_t m_nMaxAlarmVideoSize;
    uint64_t m_nMaxAlarmImageSize;
    unsigned m_nCommonVideoOnSDQuota;
    unsigned m_nAlarmVideoOnSDQuota;
    unsigned m_nAlarmImageOnSDQuota;
    CRecordRingBuffer m_Ring;
    CRecordIntake m_Intake;
    BOOL m_bFactoryTesting;
    int m_nLedOnOffRate;
    unsigned m_nLedCounter;
    BOOL m_bLedState;
    BOOL m_bTitleWaiting;   // the open file's title image waits in /tmp
    BOOL m_bThumbsWaiting;  // the open file's thumbnails wait in /tmp
    BOOL m_bCallbackRegistered;
    std::string m_strFinishRoot;  // paths handed to the finishing step
    std::string m_strFinishTmp;
    std::atomic<BOOL> m_CanbeRecord;
    CMutex m_Mutex;
    uint64_t m_nOpenFirstSeq;  // cache number of the open file's first packet
    // Made last, ended first: its flusher takes the lock and reads the rest.
    std::unique_ptr<CRecordSpill> m_lpSpill;
};

#endif
