#ifndef TESTS_RECORD_RECORDTESTCARD_H
#define TESTS_RECORD_RECORDTESTCARD_H

// A card for engines under test: a folder of the board mounted as
// "/tmp/mmc0/", and a finishing step that notes every closed file.

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "Function/common.h"
#include "Platform/BoardRoot.h"
#include "Record/Record.h"

class CFolderCard : public CRecordCard {
public:
    BOOL RegisterStateCallback(SD_STATE_CALLBACK_FUN fun, void* priv) override
    {
        m_lpfnCallback = fun;
        m_lpPriv = priv;
        return TRUE;
    }
    BOOL UnregisterStateCallback(SD_STATE_CALLBACK_FUN fun, void* priv) override
    {
        if (fun != m_lpfnCallback || priv != m_lpPriv) {
            return FALSE;
        }
        m_lpfnCallback = nullptr;
        return TRUE;
    }
    BOOL GetMountPath(char* path, size_t size) override
    {
        if (!(m_nState & emSDState_Insert) || !(m_nState & emSDState_Mount) || size < 12) {
            return FALSE;
        }
        strcpy(path, "/tmp/mmc0/");
        return TRUE;
    }
    BOOL GetDiskSpaceInfo(uint64_t* total, uint64_t* freeBytes) override
    {
        return XGetDiskPartitionSpace(XBoardPath("/tmp/mmc0").c_str(), total, freeBytes);
    }
    void SetRecordClient(CSDRecordClient*) override {}

    // The SD manager's notification of a new state.
    void Notify(int state)
    {
        m_nState = state;
        XCreateFullPathDir(XBoardPath("/tmp/mmc0").c_str(), 0777);
        if (m_lpfnCallback != nullptr) {
            m_lpfnCallback(state, m_lpPriv);
        }
    }

private:
    SD_STATE_CALLBACK_FUN m_lpfnCallback = nullptr;
    void* m_lpPriv = nullptr;
    std::atomic<int> m_nState{0};
};

// What the finishing step was handed for one closed file.
struct tagFinished {
    emRecordFileType type;
    std::string video;               // path of the recording
    BOOL bComplete;
    uint32_t frames;
    uint32_t triggers;
    int resFlag;
    std::vector<uint8_t> title;      // the waiting title image
    std::vector<std::string> thumbs; // names of the waiting thumbnails
    int records;                     // snapshot records handed over
};

class CNoteFinisher : public CRecordFinisher {
public:
    explicit CNoteFinisher(std::vector<tagFinished>* notes) : m_lpNotes(notes) {}
    BOOL FinishRecordFile(tagRecordFinishInfo& info) override
    {
        tagFinished f;
        f.type = info.emType;
        char name[RECORD_NAME_BUF_SIZE] = {0};
        info.lpVideoName->GetFileName(info.szRootPath,
                                      info.emType == emRecordFileType_Alarm ? RECORD_DIR_ALARM_VIDEO
                                                                            : RECORD_DIR_COMMON_VIDEO,
                                      "MP4", TRUE, FALSE, name);
        f.video = name;
        f.bComplete = info.bComplete;
        f.frames = info.nFrames;
        f.triggers = info.nTriggers;
        f.resFlag = info.nResFlag;
        if (info.bHasTitle && info.lpTitleName->GetFileName(info.szTmpPath, nullptr, "JPG", FALSE, TRUE, name)) {
            FILE* fp = fopen(name, "rb");
            int c;
            while (fp != nullptr && (c = fgetc(fp)) != EOF) {
                f.title.push_back(static_cast<uint8_t>(c));
            }
            if (fp != nullptr) {
                fclose(fp);
            }
        }
        if (info.bHasThumbs && info.lpThumbName->GetDirName(info.szTmpPath, TRUE, TRUE, name)) {
            DIR_CTX ctx;
            XFileFindData fd;
            for (BOOL ok = XFindFirstFile(name, &ctx, &fd); ok; ok = XFindNextFile(&ctx, &fd)) {
                if (!fd.is_dir) {
                    f.thumbs.push_back(fd.filename);
                }
            }
            XCloseFindFile(&ctx, FALSE);
        }
        f.records = 0;
        for (CAssociatedData* r = info.lpAssociatedData; r != nullptr; r = r->GetNext()) {
            ++f.records;
        }
        m_lpNotes->push_back(f);
        XDeleteWaitingImages(info);
        XPutAssociatedDataList(info.lpAssociatedData);
        info.lpAssociatedData = nullptr;
        return TRUE;
    }
    void ScanCard(const char*, CRecordFileIndex&, CRecordFileIndex&, CRecordFileIndex&) override {}

private:
    std::vector<tagFinished>* m_lpNotes;
};

#endif
