// The card scan's first step: the packets the engine held in its cache at a
// power cut, read back from the spill (RecordSpillFormat.h), go where the
// engine would have written them. The open file goes on after what its
// journal names; where an alarm had asked for its file, the first I-frame
// that would have left the cache after it begins the alarm file, named as
// the engine names it; with no file open, the next I-frame begins the file
// the engine waited for. Everything later stays in the file it falls in (the
// engine's other file changes depend on counters that change every frame).

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "Function/common.h"
#include "Record/Index/RecordScan.h"
#include "Record/MP4/AssociatedDataReader.h"
#include "Record/MP4/MP4File.h"
#include "Record/MP4/MP4Recovery.h"
#include "Record/RecordFinisher.h"
#include "Record/RecordPacker.h"
#include "Record/RecordRecovery.h"
#include "Record/RecordSpillReader.h"

namespace {

typedef tagRecordSpillLimits L;

// A trigger list from the pool: `triggers`, or one node per bit of `mask`.
TimeTypeMapping* XTriggerList(const std::vector<tagRecordSpillTrigger>& triggers, uint32_t mask, int fps)
{
    TimeTypeMapping* head = nullptr;
    auto add = [&](uint32_t trigger, int lefttime) {
        TimeTypeMapping* n = XGetTimeTypeMappingNode();
        if (n != nullptr) {
            n->trigger = static_cast<emRecordTriggerType>(trigger);
            n->lefttime = lefttime;
            n->next = head;
            head = n;
        }
    };
    for (const tagRecordSpillTrigger& t : triggers) {
        add(t.trigger, t.lefttime);
    }
    for (uint32_t bit = 1; bit != 0 && triggers.empty(); bit <<= 1) {
        if (mask & bit) {
            add(bit, fps);
        }
    }
    return head;
}

// One file the spill adds to or begins, through the writer's own code.
class CSpillFile {
public:
    CSpillFile(const tagRecoveryPlace& place, const tagRecordSpillState& state)
        : m_Place(place), m_State(state), m_Writer(FALSE)
    {
    }
    ~CSpillFile() { Finish(); }
    CSpillFile(const CSpillFile&) = delete;
    CSpillFile& operator=(const CSpillFile&) = delete;

    BOOL IsOpen() const { return m_bOpen; }
    emRecordFileType Type() const { return m_Result.type; }

    // The open file goes on after the samples of its journal.
    BOOL Resume(const std::string& video, const std::string& journal, const RecFileNameFields& fields,
                const tagMP4JournalContent& c, const tagMP4RecoveryResult& r)
    {
        if (!m_Writer.ResumeRecord(video.c_str(), c)) {
            return 0;
        }
        Opened(video, journal, fields, r);
        return 1;
    }

    // A file of `type` begun at the key frame `first`: at the recording
    // name `video` (made now when empty), as the engine opens one. An alarm
    // file is armed with the pending triggers and snapshot records when
    // bPending, else with the open file's trigger mask.
    BOOL Begin(emRecordFileType type, std::string video, const tagRecordSpillPacket& first, BOOL bPending,
               const std::string& journal)
    {
        const BOOL alarm = type == emRecordFileType_Alarm;
        const char* dir = alarm ? RECORD_DIR_ALARM_VIDEO : RECORD_DIR_COMMON_VIDEO;
        RecFileNameFields fields{};
        if (video.empty()) {
            CRecordFileName name;
            char path[RECORD_NAME_BUF_SIZE] = {0};
            if (!name.CreateFileName(m_Place.strRoot.c_str(), dir, "MP4", static_cast<time_t>(first.pts / 1000000), 0,
                                     path)) {
                return 0;
            }
            video = path;
        }
        const size_t slash = video.rfind('/');
        if (!XParseCardFileName(video.c_str() + slash + 1, alarm ? emFileType_AlarmVideo : emFileType_Video, fields)) {
            return 0;
        }
        tagH264SPSPPS spspps;
        CMP4File::MakeSpsPps(m_State.sps, m_State.pps, spspps);
        const unsigned width = first.width != 0 ? first.width : m_State.width;
        const unsigned height = first.height != 0 ? first.height : m_State.height;
        const int fps = static_cast<int>(m_State.fps);
        std::vector<tagRecordSpillTrigger> common;
        if (!alarm) {
            common.push_back({static_cast<uint32_t>(emRecordTriggerType_Common), fps * 180});
        }
        TimeTypeMapping* triggers = !alarm   ? XTriggerList(common, 0, fps)
                                    : bPending ? XTriggerList(m_State.triggers, 0, fps)
                                               : XTriggerList({}, m_State.openTriggers, fps);
        const BOOL ok = m_Writer.StartRecord(video.c_str(), static_cast<int>(m_State.timescale), fps, width, height,
                                             triggers, m_State.thumbGranularity, type, &spspps);
        XPutTimeTypeMappingNodeList(triggers);
        if (!ok) {
            printf("[RECOVER] %s cannot be begun.\n", video.c_str());
            XDeleteFile(video.c_str());
            return 0;
        }
        const uint32_t count = static_cast<uint32_t>(m_State.snapshots.size() / L::kSnapshotBytes);
        CAssociatedData* records = nullptr;
        if (alarm && bPending && count > 0 &&
            CAssociatedDataReader::DecodeRecords(m_State.snapshots.data(), count, &records)) {
            m_Writer.SetAssociatedData(records);
        }
        tagMP4RecoveryResult r = {};
        r.type = type;
        r.fps = fps;
        r.resFlag = height == 720 ? 720 : 1080;
        r.titleIndex = -1;
        Opened(video, journal, fields, r);
        printf("[RECOVER] %s BEGUN FROM THE SPILL AT PACKET %" PRIu64 ".\n", video.c_str(), first.seq);
        return 1;
    }

    void Write(const tagRecordSpillPacket& p)
    {
        if (!m_bOpen) {
            return;
        }
        if (p.kind == emRecordSpillKind_Image) {
            SaveTitle(p);
            return;
        }
        tagMediaDataInfo m;
        memset(&m, 0, sizeof(m));
        m.nSeq = p.seq;
        m.nFrameSerial = p.serial;
        m.nTimestamp = p.pts;
        m.nTimestamp2 = p.pts;
        m.nPicWidth = p.width;
        m.nPicHeight = p.height;
        m.nDataSize = p.size;
        m.lpData = const_cast<uint8_t*>(p.data);
        if (p.kind == emRecordSpillKind_Video) {
            m.emAVType = AVDATA_TYPE_VIDEO;
            m.emFrameType = (p.flags & RECORD_SPILL_FLAG_KEY) ? AVDATA_TYPE_I_FRAME : AVDATA_TYPE_P_FRAME;
            m_Writer.WriteVideoPacket(&m);
        } else {
            m.emAVType = AVDATA_TYPE_AUDIO;
            m_Writer.WriteAudioPacket(&m);
        }
        ++m_nPackets;
    }

    // The trailer, then the final name as the packer gives it.
    void Finish()
    {
        if (!m_bOpen) {
            return;
        }
        m_bOpen = FALSE;
        const BOOL ok = m_Writer.StopRecord();
        m_Result.frames = m_Writer.GetTotalFrames();
        m_Result.bRebuilt = 1;
        if (m_Result.type == emRecordFileType_Alarm) {
            m_Writer.GetAssociatedData(m_lpRecords, TRUE);
            XPutAssociatedDataList(m_lpRecords);
            m_lpRecords = nullptr;
        }
        std::string finalName;
        if (!ok || m_Result.frames == 0 || !XPlaceRecoveredVideo(m_Place, m_Fields, m_Result, finalName)) {
            printf("[RECOVER] %s DELETED.\n", m_strVideo.c_str());
            XDeleteFile(m_strVideo.c_str());
        } else {
            printf("[RECOVER] %s FINISHED AS %s (%u frames, %u packets from the spill).\n", m_strVideo.c_str(),
                   finalName.c_str(), m_Result.frames, m_nPackets);
        }
        if (!m_strJournal.empty() && XFilePathExists(m_strJournal.c_str())) {
            XDeleteFile(m_strJournal.c_str());
        }
    }

private:
    void Opened(const std::string& video, const std::string& journal, const RecFileNameFields& fields,
                const tagMP4RecoveryResult& r)
    {
        m_bOpen = TRUE;
        m_strVideo = video;
        m_strJournal = journal;
        m_Fields = fields;
        m_Result = r;
        m_nPackets = 0;
    }

    // The first picture of a file without one is its title, as the engine takes it.
    void SaveTitle(const tagRecordSpillPacket& p)
    {
        if (m_Result.titleIndex >= 0) {
            return;
        }
        CRecordFileName title;
        char name[RECORD_NAME_BUF_SIZE] = {0};
        if (title.CreateFileName(m_Place.strTmp.c_str(), nullptr, "JPG", m_Fields.time, name) &&
            XSaveRecordImage(name, p.data, p.size, FALSE)) {
            m_Result.titleIndex = title.GetFileNameIndex();
        }
    }

    const tagRecoveryPlace& m_Place;
    const tagRecordSpillState& m_State;
    CMP4File m_Writer;
    BOOL m_bOpen = FALSE;
    std::string m_strVideo;
    std::string m_strJournal;
    RecFileNameFields m_Fields{};
    tagMP4RecoveryResult m_Result = {};
    CAssociatedData* m_lpRecords = nullptr;
    uint32_t m_nPackets = 0;
};

// Where the spilled packets continue the open file.
struct tagSpillStart {
    uint64_t all = 0;    // every packet up to here is in the file
    uint64_t video = 0;  // and every video packet up to here
};

// Size of the last video sample a journal names.
uint32_t XLastVideoSize(const tagMP4JournalContent& c)
{
    for (auto it = c.samples.rbegin(); it != c.samples.rend(); ++it) {
        if (it->kind == emMP4JournalEntry_Video) {
            return it->size;
        }
    }
    return 0;
}

const tagRecordSpillPacket* XFindPacket(const tagRecordSpillContent& s, uint64_t seq)
{
    if (s.packets.empty() || seq < s.packets.front().seq || seq > s.packets.back().seq) {
        return nullptr;
    }
    return &s.packets[static_cast<size_t>(seq - s.packets.front().seq)];
}

// Opens `file` on the video open at the cut. 1 when the spill goes on in it
// (from `start`), or when there was none; 0 when the spill disagrees with it.
BOOL XOpenCutFile(const tagRecoveryPlace& place, const tagRecordSpillContent& s, CSpillFile& file,
                  tagSpillStart& start)
{
    const tagRecordSpillState& st = s.state;
    if (!(st.flags & RECORD_SPILL_RECORDING) || st.openName.empty()) {
        return 1;
    }
    const BOOL alarm = st.openType == emRecordFileType_Alarm;
    const std::string folder =
        place.strRoot + (alarm ? RECORD_DIR_ALARM_VIDEO : RECORD_DIR_COMMON_VIDEO) + "/";
    const std::string video = folder + st.openName;
    const std::string journal = folder + MP4_JOURNAL_PREFIX + st.openName + MP4_JOURNAL_SUFFIX;
    RecFileNameFields fields{};
    if (!XParseCardFileName(st.openName.c_str(), alarm ? emFileType_AlarmVideo : emFileType_Video, fields) ||
        fields.duration != 0) {
        printf("[RECOVER] the spill names %s, not a recording name.\n", st.openName.c_str());
        return 0;
    }
    tagMP4JournalContent c;
    tagMP4RecoveryResult r;
    const int found = XFilePathExists(video.c_str()) && XFilePathExists(journal.c_str())
                          ? CMP4Recovery::ReadJournal(video.c_str(), journal.c_str(), c, r)
                          : CMP4Recovery::kNone;
    if (found == CMP4Recovery::kWhole) {
        // Closed with its trailer (the card went): the scan finishes it.
        return 1;
    }
    if (found == CMP4Recovery::kSamples) {
        const tagRecordSpillPacket* last = XFindPacket(s, c.reachedVideo);
        if (!c.bHasReached || r.type != (alarm ? emRecordFileType_Alarm : emRecordFileType_Common) ||
            c.header.fps != st.fps || s.packets.empty() || s.packets.front().seq > c.reachedAll + 1 ||
            (last != nullptr && last->kind == emRecordSpillKind_Video && last->size != XLastVideoSize(c))) {
            printf("[RECOVER] %s: the spill does not continue its journal, left out.\n", video.c_str());
            return 0;
        }
        if (!file.Resume(video, journal, fields, c, r)) {
            return 0;
        }
        start.all = c.reachedAll;
        start.video = c.reachedVideo;
        return 1;
    }
    // No journal on the card yet: the file is made again from the spill
    // when the spill holds its first frame.
    const tagRecordSpillPacket* first = XFindPacket(s, st.openFirst);
    if (first == nullptr || first->kind != emRecordSpillKind_Video || !(first->flags & RECORD_SPILL_FLAG_KEY)) {
        return 1;
    }
    if (!file.Begin(alarm ? emRecordFileType_Alarm : emRecordFileType_Common, video, *first, FALSE, journal)) {
        return 1;
    }
    start.all = st.openFirst - 1;
    start.video = st.openFirst - 1;
    return 1;
}

// A journal on the card that has gone past the spill's last flush: the
// spill's newer flushes are lost and what is left of it is out of date.
bool XJournalPastSpill(const tagRecoveryPlace& place, const tagRecordSpillState& st)
{
    for (const char* dir : {RECORD_DIR_COMMON_VIDEO, RECORD_DIR_ALARM_VIDEO}) {
        const std::string folder = place.strRoot + dir;
        DIR_CTX ctx = {};
        XFileFindData fd;
        std::string video;
        std::vector<std::string> journals;
        for (BOOL more = XFindFirstFile(folder.c_str(), &ctx, &fd); more; more = XFindNextFile(&ctx, &fd)) {
            if (!fd.is_dir && XMP4JournalVideoName(fd.filename, video)) {
                journals.push_back(std::string(ctx.path) + fd.filename);
            }
        }
        XCloseFindFile(&ctx, FALSE);
        for (const std::string& path : journals) {
            std::vector<uint8_t> bytes;
            tagMP4JournalContent c;
            if (CMP4Recovery::ReadBytes(path.c_str(), tagMP4JournalLimits::kMaxJournalBytes, bytes) && CMP4JournalReader::Parse(bytes.data(), bytes.size(), ~0ULL, c) &&
                c.bHasReached && c.reachedVideo >= st.next) {
                printf("[RECOVER] spill: older than the journal %s, left out.\n", path.c_str());
                return true;
            }
        }
    }
    return false;
}

}  // namespace

void XRecoverSpill(const tagRecoveryPlace& place)
{
    const std::string paths[2] = {place.strRoot + RECORD_SPILL_NAME0, place.strRoot + RECORD_SPILL_NAME1};
    std::vector<uint8_t> bytes[2];
    const bool found0 = CMP4Recovery::ReadBytes(paths[0].c_str(), L::kMaxFileBytes, bytes[0]);
    const bool found1 = CMP4Recovery::ReadBytes(paths[1].c_str(), L::kMaxFileBytes, bytes[1]);
    if (!found0 && !found1) {
        return;
    }
    const std::vector<uint8_t>* const files[2] = {&bytes[0], &bytes[1]};
    tagRecordSpillContent s;
    const BOOL ok = CRecordSpillReader::Parse(files, s);
    if (!s.problem.empty()) {
        printf("[RECOVER] spill: %s.\n", s.problem.c_str());
    }
    const tagRecordSpillState& st = s.state;
    if (ok && !(st.flags & RECORD_SPILL_PARKING) && !XJournalPastSpill(place, st)) {
        printf("[RECOVER] spill: %zu packets (%" PRIu64 " to %" PRIu64 "), %u records.\n", s.packets.size(),
               s.packets.empty() ? 0 : s.packets.front().seq, s.packets.empty() ? 0 : s.packets.back().seq,
               s.records);
        std::unique_ptr<CSpillFile> file(new CSpillFile(place, st));
        tagSpillStart start;
        if (XOpenCutFile(place, s, *file, start)) {
            BOOL bPending = (st.flags & RECORD_SPILL_START_NEXT) && !(st.flags & RECORD_SPILL_HALTED);
            for (const tagRecordSpillPacket& p : s.packets) {
                if (p.seq <= start.all || (p.seq <= start.video && p.kind != emRecordSpillKind_Audio)) {
                    continue;
                }
                const BOOL key = p.kind == emRecordSpillKind_Video && (p.flags & RECORD_SPILL_FLAG_KEY);
                const BOOL nextAlarm = (st.flags & RECORD_SPILL_NEXT_ALARM) != 0;
                if (bPending && key && p.seq >= st.head &&
                    (!file->IsOpen() || (nextAlarm && file->Type() == emRecordFileType_Common))) {
                    // The file change the engine was waiting for.
                    file.reset(new CSpillFile(place, st));
                    file->Begin(nextAlarm ? emRecordFileType_Alarm : emRecordFileType_Common, std::string(), p, TRUE,
                                std::string());
                    bPending = FALSE;
                }
                file->Write(p);
            }
        }
        file.reset();
    }
    for (const std::string& path : paths) {
        if (XFilePathExists(path.c_str())) {
            XDeleteFile(path.c_str());
        }
    }
}
