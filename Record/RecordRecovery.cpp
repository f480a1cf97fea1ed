// The card scan of the packer: videos whose recording never ended (a power
// cut, a card pulled) are finished from their recovery journals, named as
// the packer names closed files, and entered with the rest.

#include <cstdio>
#include <string>

#include "Function/common.h"
#include "Platform/BoardRoot.h"
#include "Record/Index/RecordScan.h"
#include "Record/MP4/MP4Recovery.h"
#include "Record/RecordPacker.h"
#include "Record/RecordRecovery.h"

BOOL XPlaceRecoveredVideo(const tagRecoveryPlace& place, const RecFileNameFields& fields,
                          const tagMP4RecoveryResult& r, std::string& finalName)
{
    const BOOL alarm = r.type == emRecordFileType_Alarm;
    CRecordFileName videoName;
    videoName.SetFileName(fields.time, fields.index, 0);
    CRecordFileName titleName;
    titleName.SetFileName(fields.time, r.titleIndex < 0 ? 0 : r.titleIndex, 0);
    CRecordFileName thumbName;
    thumbName.SetFileName(fields.time, fields.index, 0);
    char thumbs[RECORD_NAME_BUF_SIZE];
    char src[RECORD_NAME_BUF_SIZE];
    tagRecordFinishInfo info = {};
    info.emType = r.type;
    info.szMountPath = place.strRoot.c_str();
    info.szRootPath = place.strRoot.c_str();
    info.szTmpPath = place.strTmp.c_str();
    info.lpVideoName = &videoName;
    info.lpTitleName = &titleName;
    info.lpThumbName = alarm ? nullptr : &thumbName;
    // A title image or thumbnails only when they are still in /tmp.
    info.bHasTitle =
        r.titleIndex >= 0 && titleName.GetFileName(place.strTmp.c_str(), nullptr, "JPG", FALSE, TRUE, src);
    info.bHasThumbs = !alarm && !r.bParking && thumbName.GetDirName(place.strTmp.c_str(), TRUE, TRUE, thumbs);
    info.bComplete = 1;
    info.nFrames = r.frames;
    info.nFps = r.fps;
    if (videoName.GetFileName(place.strRoot.c_str(), alarm ? RECORD_DIR_ALARM_VIDEO : RECORD_DIR_COMMON_VIDEO, "MP4",
                              TRUE, FALSE, src)) {
        size_t size = 0;
        info.nTotalSize = XGetFileSize(src, &size) ? static_cast<int64_t>(size) : 0;
    }
    info.nResFlag = r.resFlag;
    info.bParking = r.bParking;
    info.lpCommonIndex = place.lpCommon;
    info.lpAlarmIndex = place.lpAlarm;
    info.lpImageIndex = place.lpImage;
    return place.lpPacker->PlaceRecoveredFile(info, finalName);
}

namespace {

class CPackerRecoverer : public CRecordScanRecoverer {
public:
    explicit CPackerRecoverer(const tagRecoveryPlace& place) : m_Place(place) {}

    BOOL RecoverVideo(const std::string& folder, const std::string& name, const std::string& journal,
                      emFileType type, const RecFileNameFields& fields, std::string& finalName) override
    {
        const std::string video = folder + name;
        const std::string journalPath = folder + journal;
        tagMP4RecoveryResult r;
        BOOL ok = CMP4Recovery::Recover(video.c_str(), journalPath.c_str(), r);
        const emRecordFileType folderType =
            type == emFileType_AlarmVideo ? emRecordFileType_Alarm : emRecordFileType_Common;
        if (ok && r.type != folderType) {
            printf("[RECOVER] %s: the journal is of a%s file.\n", video.c_str(),
                   r.type == emRecordFileType_Alarm ? "n alarm" : " loop");
            ok = 0;
        }
        if (ok) {
            ok = XPlaceRecoveredVideo(m_Place, fields, r, finalName);
        } else {
            printf("[RECOVER] %s DELETED.\n", video.c_str());
            XDeleteFile(video.c_str());
        }
        XDeleteFile(journalPath.c_str());
        if (ok) {
            printf("[RECOVER] %s FINISHED AS %s (%u frames).\n", video.c_str(), finalName.c_str(), r.frames);
        }
        return ok;
    }

private:
    const tagRecoveryPlace& m_Place;
};

}  // namespace

void CRecordPacker::ScanCard(const char* rootPath, CRecordFileIndex& common, CRecordFileIndex& alarm,
                             CRecordFileIndex& image)
{
    if (rootPath == nullptr || rootPath[0] == '\0') {
        return;
    }
    std::string root(rootPath);
    if (root.back() != '/') {
        root += '/';
    }
    const tagRecoveryPlace place = {this, root, XBoardPath("/tmp"), &common, &alarm, &image};
    XRecoverSpill(place);
    CPackerRecoverer recoverer(place);
    CRecordScan scan(common, alarm, image, &recoverer);
    scan.ScanCard(root.c_str());
}
