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

namespace {

class CPackerRecoverer : public CRecordScanRecoverer {
public:
    CPackerRecoverer(CRecordPacker& packer, const std::string& root, CRecordFileIndex& common,
                     CRecordFileIndex& alarm, CRecordFileIndex& image)
        : m_Packer(packer), m_strRoot(root), m_strTmp(XBoardPath("/tmp")), m_Common(common), m_Alarm(alarm),
          m_Image(image)
    {
    }

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
            ok = Place(fields, r, finalName);
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
    BOOL Place(const RecFileNameFields& fields, const tagMP4RecoveryResult& r, std::string& finalName)
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
        info.szMountPath = m_strRoot.c_str();
        info.szRootPath = m_strRoot.c_str();
        info.szTmpPath = m_strTmp.c_str();
        info.lpVideoName = &videoName;
        info.lpTitleName = &titleName;
        info.lpThumbName = alarm ? nullptr : &thumbName;
        // A title image or thumbnails only when they are still in /tmp.
        info.bHasTitle = r.titleIndex >= 0 && titleName.GetFileName(m_strTmp.c_str(), nullptr, "JPG", FALSE, TRUE, src);
        info.bHasThumbs = !alarm && !r.bParking && thumbName.GetDirName(m_strTmp.c_str(), TRUE, TRUE, thumbs);
        info.bComplete = 1;
        info.nFrames = r.frames;
        info.nFps = r.fps;
        if (videoName.GetFileName(m_strRoot.c_str(), alarm ? RECORD_DIR_ALARM_VIDEO : RECORD_DIR_COMMON_VIDEO, "MP4",
                                  TRUE, FALSE, src)) {
            size_t size = 0;
            info.nTotalSize = XGetFileSize(src, &size) ? static_cast<int64_t>(size) : 0;
        }
        info.nResFlag = r.resFlag;
        info.bParking = r.bParking;
        info.lpCommonIndex = &m_Common;
        info.lpAlarmIndex = &m_Alarm;
        info.lpImageIndex = &m_Image;
        return m_Packer.PlaceRecoveredFile(info, finalName);
    }

    CRecordPacker& m_Packer;
    std::string m_strRoot;
    std::string m_strTmp;
    CRecordFileIndex& m_Common;
    CRecordFileIndex& m_Alarm;
    CRecordFileIndex& m_Image;
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
    CPackerRecoverer recoverer(*this, root, common, alarm, image);
    CRecordScan scan(common, alarm, image, &recoverer);
    scan.ScanCard(root.c_str());
}
