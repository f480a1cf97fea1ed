// The card scan's first step: the packets the engine held in its cache at a
// power cut, read back from the spill (RecordSpillFormat.h), go where the
// engine would have written them. The open file goes on after what its
// journal names; a file the engine began after the last flush (its journal
// names its first packet) takes the packets from there on; where an alarm
// had asked for its file, the first I-frame that would have left the cache
// after it begins the alarm file, named as the engine names it; with no
// file open, the next I-frame begins the file the engine waited for.
// Everything later stays in the file it falls in (the engine's other file
// changes depend on counters that change every frame). A file finished
// since the last flush is never made again: where it ended is not known, so
// the spill goes on only in a file begun after it.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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
typedef CMP4Recovery::tagFileId FileId;

// An alarm file's triggers by its mask: one a bit.
std::vector<tagRecordSpillTrigger> XTriggersOfMask(uint32_t mask, int fps)
{
    std::vector<tagRecordSpillTrigger> out;
    for (uint32_t bit = 1; bit != 0; bit <<= 1) {
        if (mask & bit) {
            out.push_back({bit, fps});
        }
    }
    return out;
}

// The triggers as a list from the pool.
TimeTypeMapping* XTriggerList(const std::vector<tagRecordSpillTrigger>& triggers)
{
    TimeTypeMapping* head = nullptr;
    for (const tagRecordSpillTrigger& t : triggers) {
        TimeTypeMapping* n = XGetTimeTypeMappingNode();
        if (n != nullptr) {
            n->trigger = static_cast<emRecordTriggerType>(t.trigger);
            n->lefttime = t.lefttime;
            n->next = head;
            head = n;
        }
    }
    return head;
}

// How a file the spill begins is opened.
struct tagSpillOpen {
    emRecordFileType type = emRecordFileType_Common;
    std::string video;    // its recording name's path; empty: made from the first packet's time
    std::string journal;  // deleted once the file is finished
    std::vector<tagRecordSpillTrigger> triggers;
    std::vector<uint8_t> snapshots;  // an alarm file's records, 73 bytes each
};

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

    // A file cut off goes on after the samples of its journal.
    BOOL Resume(const std::string& video, const std::string& journal, const RecFileNameFields& fields,
                const tagMP4JournalContent& c, const tagMP4RecoveryResult& r)
    {
        if (!m_Writer.ResumeRecord(video.c_str(), c)) {
            return 0;
        }
        Opened(video, journal, fields, r);
        return 1;
    }

    // A file begun at the key frame `first`, as the engine opens one.
    BOOL Begin(const tagSpillOpen& o, const tagRecordSpillPacket& first)
    {
        const BOOL alarm = o.type == emRecordFileType_Alarm;
        const char* dir = alarm ? RECORD_DIR_ALARM_VIDEO : RECORD_DIR_COMMON_VIDEO;
        std::string video = o.video;
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
        TimeTypeMapping* triggers = XTriggerList(o.triggers);
        const BOOL ok = m_Writer.StartRecord(video.c_str(), static_cast<int>(m_State.timescale), fps, width, height,
                                             triggers, m_State.thumbGranularity, o.type, &spspps);
        XPutTimeTypeMappingNodeList(triggers);
        if (!ok) {
            printf("[RECOVER] %s cannot be begun.\n", video.c_str());
            XDeleteFile(video.c_str());
            return 0;
        }
        const uint32_t count = static_cast<uint32_t>(o.snapshots.size() / L::kSnapshotBytes);
        CAssociatedData* records = nullptr;
        if (alarm && count > 0 && CAssociatedDataReader::DecodeRecords(o.snapshots.data(), count, &records)) {
            m_Writer.SetAssociatedData(records);
        }
        tagMP4RecoveryResult r = {};
        r.type = o.type;
        r.fps = fps;
        r.resFlag = height == 720 ? 720 : 1080;
        r.titleIndex = -1;
        Opened(video, o.journal, fields, r);
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

// Where the spilled packets go on in a file.
struct tagSpillStart {
    uint64_t all = 0;    // every packet up to here is in the file
    uint64_t video = 0;  // and every video packet up to here
};

// A video under its recording name with its journal, as the card holds it.
struct tagCardCut {
    emRecordFileType type = emRecordFileType_Common;
    std::string video;
    std::string journal;
    std::string name;  // bare
    RecFileNameFields fields{};
    int found = CMP4Recovery::kNone;
    tagMP4JournalContent c;  // records 0: no usable journal
    tagMP4RecoveryResult r = {};
};

// What the two video folders hold for the spill.
struct tagCardVideos {
    std::vector<tagCardCut> cuts;
    std::vector<tagMP4JournalContent> orphans;  // journals without their video
    std::vector<std::pair<emRecordFileType, RecFileNameFields>> finished;
    std::vector<FileId> ids;  // of every video
};

const char* XVideoDir(emRecordFileType type)
{
    return type == emRecordFileType_Alarm ? RECORD_DIR_ALARM_VIDEO : RECORD_DIR_COMMON_VIDEO;
}

// Lists both video folders; a journal that is not one of its own (the
// inode of a video, more than one name, not a journal) loses its name.
// With bRead the journals are read too.
void XListVideos(const tagRecoveryPlace& place, BOOL bRead, tagCardVideos& out)
{
    struct tagListed {
        emRecordFileType type;
        std::string folder;
        std::vector<std::string> videos;    // recording names
        std::vector<std::string> journals;  // bare journal names
    };
    std::vector<tagListed> listed;
    for (emRecordFileType type : {emRecordFileType_Common, emRecordFileType_Alarm}) {
        const emFileType kind = type == emRecordFileType_Alarm ? emFileType_AlarmVideo : emFileType_Video;
        tagListed l;
        l.type = type;
        DIR_CTX ctx = {};
        XFileFindData fd;
        std::string video;
        for (BOOL more = XFindFirstFile((place.strRoot + XVideoDir(type)).c_str(), &ctx, &fd); more;
             more = XFindNextFile(&ctx, &fd)) {
            if (fd.is_dir) {
                continue;
            }
            RecFileNameFields f{};
            if (XMP4JournalVideoName(fd.filename, video)) {
                l.journals.push_back(fd.filename);
            } else if (MatchFileType(fd.extname, kind)) {
                FileId id;
                if (CMP4Recovery::GetFileId((std::string(ctx.path) + fd.filename).c_str(), id)) {
                    out.ids.push_back(id);
                }
                if (XParseCardFileName(fd.filename, kind, f)) {
                    if (f.duration == 0) {
                        l.videos.push_back(fd.filename);
                    } else {
                        out.finished.push_back({type, f});
                    }
                }
            }
        }
        l.folder = ctx.path;
        XCloseFindFile(&ctx, FALSE);
        listed.push_back(l);
    }
    for (const tagListed& l : listed) {
        const emFileType kind = l.type == emRecordFileType_Alarm ? emFileType_AlarmVideo : emFileType_Video;
        for (const std::string& j : l.journals) {
            std::string name;
            XMP4JournalVideoName(j.c_str(), name);
            const std::string journal = l.folder + j;
            const bool orphan = std::find(l.videos.begin(), l.videos.end(), name) == l.videos.end();
            std::vector<uint8_t> bytes;
            if (CMP4Recovery::ReadOwnFile(journal.c_str(), MP4_JOURNAL_MAGIC,
                                          bRead && orphan ? tagMP4JournalLimits::kMaxJournalBytes
                                                          : tagMP4JournalLimits::kHeadBytes,
                                          out.ids, bytes) != CMP4Recovery::emOwnFile_Read ||
                !bRead) {
                continue;
            }
            if (orphan) {
                tagMP4JournalContent c;
                if (CMP4JournalReader::Parse(bytes.data(), bytes.size(), ~0ULL, c)) {
                    out.orphans.push_back(c);
                }
                continue;
            }
            tagCardCut k;
            k.type = l.type;
            k.name = name;
            k.video = l.folder + name;
            k.journal = journal;
            XParseCardFileName(name.c_str(), kind, k.fields);
            k.found = CMP4Recovery::ReadJournal(k.video.c_str(), journal.c_str(), k.c, k.r);
            out.cuts.push_back(k);
        }
    }
}

// A video of `fields`' time, finished under a later or the same index: the
// file of that recording name was finished.
bool XFinishedOf(const tagCardVideos& v, emRecordFileType type, const RecFileNameFields& fields)
{
    for (const auto& f : v.finished) {
        if (f.first == type && f.second.time.value == fields.time.value && f.second.index >= fields.index) {
            return true;
        }
    }
    return false;
}

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

bool XIsKeyFrame(const tagRecordSpillPacket* p)
{
    return p != nullptr && p->kind == emRecordSpillKind_Video && (p->flags & RECORD_SPILL_FLAG_KEY);
}

// A journal that went past the spill's last flush: the spill's newer
// flushes are lost and what is left of it is out of date. Only journals
// with samples count (a journal's head says where its video begins).
bool XJournalPastSpill(const tagCardVideos& v, const tagRecordSpillState& st)
{
    auto past = [&](const tagMP4JournalContent& c) {
        return !c.samples.empty() && c.bHasReached && c.reachedVideo >= st.next;
    };
    for (const tagCardCut& k : v.cuts) {
        if (past(k.c)) {
            printf("[RECOVER] spill: older than the journal %s, left out.\n", k.journal.c_str());
            return true;
        }
    }
    for (const tagMP4JournalContent& c : v.orphans) {
        if (past(c)) {
            printf("[RECOVER] spill: older than the journal of %s, left out.\n", c.header.name.c_str());
            return true;
        }
    }
    return false;
}

// An existing video the spill may write: a regular file of its own.
bool XWritable(const std::string& video)
{
    struct stat st;
    if (lstat(video.c_str(), &st) != 0) {
        return true;
    }
    if (!S_ISREG(st.st_mode) || st.st_nlink != 1) {
        printf("[RECOVER] %s is not a file of its own, left alone.\n", video.c_str());
        return false;
    }
    return true;
}

// The open file's alarm triggers: its journal's, else its mask's.
std::vector<tagRecordSpillTrigger> XOwnTriggers(const tagCardCut* k, uint32_t mask, int fps)
{
    return XTriggersOfMask(k != nullptr && k->c.alarmMask != 0 ? k->c.alarmMask : mask, fps);
}

// Replays the spill over what the card holds.
class CSpillReplay {
public:
    CSpillReplay(const tagRecoveryPlace& place, const tagRecordSpillContent& s, const tagCardVideos& v)
        : m_Place(place), m_Spill(s), m_State(s.state), m_Videos(v), m_File(new CSpillFile(place, s.state))
    {
    }

    void Run()
    {
        const tagRecordSpillState& st = m_State;
        FindNewer();
        if (!OpenCutFile()) {
            return;
        }
        // A file begun after the flush begins after what the open one holds.
        const uint64_t held = m_Start.all;
        m_Newer.erase(std::remove_if(m_Newer.begin(), m_Newer.end(),
                                     [held](const tagCardCut* k) { return k->c.firstSeq <= held; }),
                      m_Newer.end());
        // The file change the engine was waiting for, unless a file begun
        // after the flush shows where it came, or the open file went on
        // after the flush to an end not known.
        BOOL bPending = m_Newer.empty() && !m_bOpenWentOn && (st.flags & RECORD_SPILL_START_NEXT) &&
                        !(st.flags & RECORD_SPILL_HALTED);
        const BOOL nextAlarm = (st.flags & RECORD_SPILL_NEXT_ALARM) != 0;
        size_t newer = 0;
        for (const tagRecordSpillPacket& p : m_Spill.packets) {
            if (newer < m_Newer.size() && p.seq == m_Newer[newer]->c.firstSeq) {
                BeginNewer(*m_Newer[newer++], p);
            }
            if (p.seq <= m_Start.all || (p.seq <= m_Start.video && p.kind != emRecordSpillKind_Audio)) {
                continue;
            }
            if (bPending && XIsKeyFrame(&p) && p.seq >= st.head &&
                (!m_File->IsOpen() || (nextAlarm && m_File->Type() == emRecordFileType_Common))) {
                tagSpillOpen o;
                o.type = nextAlarm ? emRecordFileType_Alarm : emRecordFileType_Common;
                o.triggers = nextAlarm ? st.triggers : CommonTriggers();
                if (nextAlarm) {
                    o.snapshots = st.snapshots;
                }
                Replace();
                m_File->Begin(o, p);
                bPending = FALSE;
            }
            m_File->Write(p);
        }
        m_File.reset();
    }

private:
    std::vector<tagRecordSpillTrigger> CommonTriggers() const
    {
        const int fps = static_cast<int>(m_State.fps);
        return {{static_cast<uint32_t>(emRecordTriggerType_Common), fps * 180}};
    }

    // Finishes the file written so far; the next one starts from nothing.
    void Replace()
    {
        m_File.reset(new CSpillFile(m_Place, m_State));
        m_Start = tagSpillStart();
    }

    // Files on the card the engine began after the last flush, by their
    // first packet: the spill goes on in each from there.
    void FindNewer()
    {
        for (const tagCardCut& k : m_Videos.cuts) {
            const BOOL same = k.type == m_State.openType && k.name == m_State.openName;
            if (k.found != CMP4Recovery::kWhole && !same && k.c.firstSeq >= m_State.head &&
                XIsKeyFrame(XFindPacket(m_Spill, k.c.firstSeq)) &&
                k.c.header.fileType == (k.type == emRecordFileType_Alarm ? 1 : 0)) {
                m_Newer.push_back(&k);
            }
        }
        std::sort(m_Newer.begin(), m_Newer.end(),
                  [](const tagCardCut* a, const tagCardCut* b) { return a->c.firstSeq < b->c.firstSeq; });
        auto sameStart = [](const tagCardCut* a, const tagCardCut* b) { return a->c.firstSeq == b->c.firstSeq; };
        m_Newer.erase(std::unique(m_Newer.begin(), m_Newer.end(), sameStart), m_Newer.end());
    }

    void BeginNewer(const tagCardCut& k, const tagRecordSpillPacket& first)
    {
        Replace();
        if (!XWritable(k.video)) {
            return;
        }
        const tagRecordSpillState& st = m_State;
        tagSpillOpen o;
        o.type = k.type;
        o.video = k.video;
        o.journal = k.journal;
        if (k.type == emRecordFileType_Alarm) {
            // The journal's head holds the triggers; the snapshot records
            // came later, or were the ones the flush saw pending.
            const BOOL pending = (st.flags & RECORD_SPILL_START_NEXT) && (st.flags & RECORD_SPILL_NEXT_ALARM);
            o.triggers = k.c.alarmMask != 0 ? XTriggersOfMask(k.c.alarmMask, static_cast<int>(st.fps))
                                            : (pending ? st.triggers : std::vector<tagRecordSpillTrigger>());
            o.snapshots = !k.c.snapshots.empty() ? k.c.snapshots : (pending ? st.snapshots : std::vector<uint8_t>());
        } else {
            o.triggers = CommonTriggers();
        }
        m_File->Begin(o, first);
    }

    // Opens the video open at the last flush when the spill goes on in it.
    // 0 when the spill disagrees with the card (nothing is replayed).
    BOOL OpenCutFile()
    {
        const tagRecordSpillState& st = m_State;
        if (!(st.flags & RECORD_SPILL_RECORDING) || st.openName.empty()) {
            return 1;
        }
        const emRecordFileType type = st.openType == emRecordFileType_Alarm ? emRecordFileType_Alarm
                                                                              : emRecordFileType_Common;
        const std::string folder = m_Place.strRoot + XVideoDir(type) + "/";
        const std::string video = folder + st.openName;
        const std::string journal = folder + MP4_JOURNAL_PREFIX + st.openName + MP4_JOURNAL_SUFFIX;
        RecFileNameFields fields{};
        if (!XParseCardFileName(st.openName.c_str(),
                                type == emRecordFileType_Alarm ? emFileType_AlarmVideo : emFileType_Video, fields) ||
            fields.duration != 0) {
            printf("[RECOVER] the spill names %s, not a recording name.\n", st.openName.c_str());
            return 0;
        }
        const tagCardCut* k = nullptr;
        for (const tagCardCut& c : m_Videos.cuts) {
            if (c.type == type && c.name == st.openName) {
                k = &c;
            }
        }
        if (k != nullptr && k->found == CMP4Recovery::kWhole) {
            // Closed with its trailer (the card went): the scan finishes it.
            m_bOpenWentOn = TRUE;
            return 1;
        }
        if (k != nullptr && k->found == CMP4Recovery::kSamples) {
            const tagMP4JournalContent& c = k->c;
            const tagRecordSpillPacket* last = XFindPacket(m_Spill, c.reachedVideo);
            if (!c.bHasReached || k->r.type != type || c.header.fps != st.fps || m_Spill.packets.empty() ||
                m_Spill.packets.front().seq > c.reachedAll + 1 ||
                (last != nullptr && last->kind == emRecordSpillKind_Video && last->size != XLastVideoSize(c))) {
                printf("[RECOVER] %s: the spill does not continue its journal, left out.\n", video.c_str());
                return 0;
            }
            if (!XWritable(video) || !m_File->Resume(video, journal, fields, c, k->r)) {
                return 0;
            }
            m_Start.all = c.reachedAll;
            m_Start.video = c.reachedVideo;
            return 1;
        }
        // Nothing of it on the card yet: made again from the spill when the
        // spill holds its first frame, unless it was finished since.
        if (k == nullptr && !XFilePathExists(video.c_str()) && XFinishedOf(m_Videos, type, fields)) {
            printf("[RECOVER] %s was finished after the last flush.\n", video.c_str());
            m_bOpenWentOn = TRUE;
            return 1;
        }
        const tagRecordSpillPacket* first = XFindPacket(m_Spill, st.openFirst);
        if (!XIsKeyFrame(first) || !XWritable(video)) {
            return 1;
        }
        tagSpillOpen o;
        o.type = type;
        o.video = video;
        o.journal = journal;
        o.triggers = type == emRecordFileType_Alarm ? XOwnTriggers(k, st.openTriggers, static_cast<int>(st.fps))
                                                    : CommonTriggers();
        if (k != nullptr) {
            o.snapshots = k->c.snapshots;
        }
        if (m_File->Begin(o, *first)) {
            m_Start.all = st.openFirst - 1;
            m_Start.video = st.openFirst - 1;
        }
        return 1;
    }

    const tagRecoveryPlace& m_Place;
    const tagRecordSpillContent& m_Spill;
    const tagRecordSpillState& m_State;
    const tagCardVideos& m_Videos;
    std::vector<const tagCardCut*> m_Newer;
    std::unique_ptr<CSpillFile> m_File;
    tagSpillStart m_Start;
    BOOL m_bOpenWentOn = FALSE;  // the open file went on after the flush
};

}  // namespace

void XRecoverSpill(const tagRecoveryPlace& place)
{
    const std::string paths[2] = {place.strRoot + RECORD_SPILL_NAME0, place.strRoot + RECORD_SPILL_NAME1};
    FileId id;
    tagCardVideos videos;
    XListVideos(place, CMP4Recovery::GetFileId(paths[0].c_str(), id) || CMP4Recovery::GetFileId(paths[1].c_str(), id),
                videos);
    std::vector<uint8_t> bytes[2];
    BOOL found = FALSE;
    for (int i = 0; i < 2; ++i) {
        found |= CMP4Recovery::ReadOwnFile(paths[i].c_str(), RECORD_SPILL_MAGIC, L::kMaxFileBytes, videos.ids,
                                           bytes[i]) == CMP4Recovery::emOwnFile_Read;
    }
    if (!found) {
        for (const std::string& path : paths) {
            if (XFilePathExists(path.c_str())) {
                XDeleteFile(path.c_str());
            }
        }
        return;
    }
    const std::vector<uint8_t>* const files[2] = {&bytes[0], &bytes[1]};
    tagRecordSpillContent s;
    const BOOL ok = CRecordSpillReader::Parse(files, s);
    if (!s.problem.empty()) {
        printf("[RECOVER] spill: %s.\n", s.problem.c_str());
    }
    const tagRecordSpillState& st = s.state;
    if (ok && !(st.flags & RECORD_SPILL_PARKING) && !XJournalPastSpill(videos, st)) {
        printf("[RECOVER] spill: %zu packets (%" PRIu64 " to %" PRIu64 "), %u records.\n", s.packets.size(),
               s.packets.empty() ? 0 : s.packets.front().seq, s.packets.empty() ? 0 : s.packets.back().seq,
               s.records);
        CSpillReplay replay(place, s, videos);
        replay.Run();
    }
    for (const std::string& path : paths) {
        if (XFilePathExists(path.c_str())) {
            XDeleteFile(path.c_str());
        }
    }
}
