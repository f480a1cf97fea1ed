#ifndef RECORD_INDEX_RECORDFILEINDEXNODE_H
#define RECORD_INDEX_RECORDFILEINDEXNODE_H

#include <cstdint>

#include "Function/RecTime.h"
#include "Function/types.h"
#include "Record/Index/AssociatedData.h"
#include "Record/Index/JsonText.h"
#include "Record/Index/PoolInstance.h"
#include "Record/Index/RecordFileName.h"
#include "Record/RecordTypes.h"

// Bytes of the document built for a deletion notice.
static constexpr int RECORD_DELETE_NOTICE_SIZE = 1024;

// One indexed file on the card with its title image and thumbnail archive.
// Nodes come from CRecordFileIndexNodeManager; m_lpNext points toward older
// files, m_lpPrev toward newer ones.
class CRecordFileIndexNode {
public:
    CRecordFileIndexNode() : m_lpAssociatedDataList(nullptr) { Init(); }

    // Resets every field and gives the snapshot records back to their pool.
    void Init();

    // The name's fields: time, collision index, type letter.
    const RECTIME& GetRecTime() const { return m_RecTime; }
    uint32_t GetRecTime2() const { return m_RecTime.value; }
    void SetRecTime(const RECTIME& time) { m_RecTime = time; }
    int GetRecIndex() const { return m_RecIndex; }
    void SetRecIndex(int index) { m_RecIndex = index; }
    // The image type letter, 0 for videos.
    char GetRecType() const { return m_RecType[0]; }
    void SetRecType(char type)
    {
        m_RecType[0] = type;
        m_RecType[1] = '\0';
    }
    // The video's duration and size.
    uint32_t GetRecDuration() const { return m_RecDuration; }
    void SetRecDuration(uint32_t duration) { m_RecDuration = duration; }
    uint32_t GetRecSize() const { return m_RecSize; }
    void SetRecSize(uint32_t size) { m_RecSize = size; }
    // The title image and thumbnail archive: whether there, their sizes.
    BOOL HasTitleFile() const { return (m_RecFlag & emRecFileFlag_HasTitle) ? 1 : 0; }
    BOOL HasThumbFile() const { return (m_RecFlag & emRecFileFlag_HasTimestamp) ? 1 : 0; }
    uint32_t GetRecTitleSize() const { return m_RecTitleSize; }
    void SetRecTitleSize(uint32_t size) { m_RecTitleSize = size; }
    uint32_t GetRecThumbSize() const { return m_RecThumbSize; }
    void SetRecThumbSize(uint32_t size) { m_RecThumbSize = size; }
    // The file, title and archive sizes together.
    uint64_t GetAllSize() const
    {
        return static_cast<uint64_t>(m_RecSize) + m_RecTitleSize + m_RecThumbSize;
    }
    // Alarm videos: snapshot records and triggers.
    const CAssociatedData* GetAssociatedData() const { return m_lpAssociatedDataList; }
    uint32_t GetRecTrigger() const { return m_RecTrigger; }
    void SetRecTrigger(uint32_t trigger) { m_RecTrigger = trigger; }
    // emRecFileFlag bits.
    int GetRecFlag() const { return m_RecFlag; }
    void SetRecFlag(int flag) { m_RecFlag = flag; }
    void AddRecFlag(int flag) { m_RecFlag |= flag; }
    // The name's suffixes of a video.
    int GetRecResolution() const { return m_RecResolution; }
    void SetRecResolution(int resolution) { m_RecResolution = resolution; }
    BOOL GetRecParkingFlag() const { return m_RecParkingFlag; }
    void SetRecParkingFlag(BOOL parking) { m_RecParkingFlag = parking; }

    // [L]T[_D][(n)][_720p][_P].ext: the suffixes come with the duration
    // (videos). `filename` holds RECORD_NAME_BUF_SIZE bytes.
    BOOL GetFileName(char* filename, const char* ext, BOOL bHasDuration) const;
    // The same behind prefixPath and dir.
    BOOL GetFileName(char* filename, const char* prefixPath, const char* dir, const char* ext,
                     BOOL bHasDuration) const;
    // T; `buff` holds at least 15 bytes.
    void GetFileTime(char* buff) const;
    // The file as a JSON object, wrapped in its category's document with
    // bWriteheader: the length written, or -1 when `len` is too short.
    int GetFileInfoAsJSON(char* buff, int len, emRecFileType type, int bWriteheader) const;
    // Deletes the title image and thumbnail archive (each flag and size is
    // cleared once its file is gone), then the file, and sends the deletion
    // notice. A file that is already gone counts as deleted. 0 at the first
    // other failure (the node stays, no notice).
    BOOL DeleteFile(const char* mountPath, emRecFileType type);
    // Puts the whole list in front of the node's records.
    void AddAssociatedData(CAssociatedData* list);
    // Gives the node's records back to their pool.
    void ReleaseAssociatedDataNode();

    // The links of the index's list.
    CRecordFileIndexNode* GetNext() const { return m_lpNext; }
    void SetNext(CRecordFileIndexNode* next) { m_lpNext = next; }
    CRecordFileIndexNode* GetPrev() const { return m_lpPrev; }
    void SetPrev(CRecordFileIndexNode* prev) { m_lpPrev = prev; }

private:
    // The name as the lists show it: images always with a letter, one
    // outside A-Z as U; videos and their companions without.
    BOOL GetShownFileName(char* filename, const char* ext, BOOL bHasDuration, BOOL bImage) const;
    // key, then the shown name (empty unless bPresent), then the closing quote.
    BOOL PutShownFileName(CJsonWriter& out, const char* key, const char* ext, BOOL bHasDuration, BOOL bImage,
                          BOOL bPresent) const;
    RecFileNameFields Fields(BOOL bHasDuration, char type) const;

    RECTIME m_RecTime;
    int m_RecIndex;
    uint32_t m_RecDuration;
    char m_RecType[2];
    uint32_t m_RecSize;
    uint32_t m_RecTitleSize;
    uint32_t m_RecThumbSize;
    int m_RecFlag;
    uint32_t m_RecTrigger;
    int m_RecResolution;
    BOOL m_RecParkingFlag;
    CAssociatedData* m_lpAssociatedDataList;
    CRecordFileIndexNode* m_lpNext;
    CRecordFileIndexNode* m_lpPrev;
};

// Process-wide pool of index nodes (blocks of 256).
class CRecordFileIndexNodeManager final : public CPoolBlocksInstance<CRecordFileIndexNodeManager, CRecordFileIndexNode> {
    CRecordFileIndexNodeManager() = default;
    friend class CSingleton<CRecordFileIndexNodeManager>;
};

// The document head of a category, or null for an unknown one.
const char* XGetRecFileIndexHead(emRecFileType type);

#endif
