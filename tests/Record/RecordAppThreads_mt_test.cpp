// The app's file operations on several threads while the capture thread
// finishes loop and alarm files with the real writer and packer: lists,
// deletions by listed names, alarm images and the free-space policy at once.
// Every list reply is read back by python3's json; at the end the lists name
// exactly the files in the card folders, with their sizes and the totals.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Function/common.h"
#include "IniConfig/IniConfig.h"
#include "Platform/BoardRoot.h"
#include "Record/MP4/MP4File.h"
#include "Record/Record.h"
#include "Record/RecordNotify.h"
#include "Record/RecordPacker.h"
#include "RecordFileTestSupport.h"
#include "RecordSynthFeeder.h"
#include "RecordTestCard.h"
#include "support/TestBoard.h"

namespace {

const int kCard = emSDState_Insert | emSDState_Mount;
const int kListBuff = 2 << 20;
// The quotas are shares of this: small enough for the shares to trim.
const uint64_t kCardBytes = 4ull << 20;
// Loop videos give way above this, as they do below the free-space floor.
const uint64_t kCommonCap = 256ull << 10;
// Replies kept per thread and category (identical neighbours count once).
const size_t kKeepReplies = 3000;

enum { kCommon, kAlarm, kImage, kKinds };
const char* const kKindName[kKinds] = {"common", "alarm", "image"};
// Video (or image), title and archive folder of each category.
const char* const kFolders[kKinds][3] = {
    {RECORD_DIR_COMMON_VIDEO, RECORD_DIR_COMMON_TITLE, RECORD_DIR_COMMON_THUMB},
    {RECORD_DIR_ALARM_VIDEO, RECORD_DIR_ALARM_TITLE, nullptr},
    {RECORD_DIR_ALARM_IMAGE, nullptr, nullptr},
};

class CSmallCard : public CFolderCard {
public:
    BOOL GetDiskSpaceInfo(uint64_t* total, uint64_t* freeBytes) override
    {
        *total = kCardBytes;
        *freeBytes = kCardBytes / 2;
        return TRUE;
    }
};

// The phone's notices, from whichever thread the engine ran on.
class CNoticeLog : public CRecordNotify {
public:
    void NotifyFileDeleteUpdate(const char* json, int length) override
    {
        ++m_nDeleted;
        Keep(json, length);
    }
    void NotifyCommonVideoUpdate(const char* json, int length) override { Keep(json, length); }
    void NotifyAlarmVideoUpdate(const char* json, int length) override { Keep(json, length); }
    void NotifyAlarmJpgUpdate(const char* json, int length) override { Keep(json, length); }

    std::vector<std::string> Docs()
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_Docs;
    }
    std::atomic<int> m_nDeleted{0};
    std::atomic<int> m_nTooLong{0};

private:
    void Keep(const char* json, int length)
    {
        if (length < 0) {
            ++m_nTooLong;
            return;
        }
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (m_Docs.size() < kKeepReplies) {
            m_Docs.emplace_back(json, static_cast<size_t>(length));
        }
    }
    std::mutex m_Mutex;
    std::vector<std::string> m_Docs;
};

class CReceiverScope {
public:
    explicit CReceiverScope(CRecordNotify* r) : m_lpPrevious(CRecordNotify::SetReceiver(r)) {}
    ~CReceiverScope() { CRecordNotify::SetReceiver(m_lpPrevious); }
    CReceiverScope(const CReceiverScope&) = delete;
    CReceiverScope& operator=(const CReceiverScope&) = delete;

private:
    CRecordNotify* m_lpPrevious;
};

std::string Card(const std::string& rel) { return XBoardPath("/tmp/mmc0/") + rel; }

// One category's list; "-1" when the engine refused it.
std::string List(CRecord& record, int kind, std::vector<char>& buff)
{
    char* b = buff.data();
    const int len = static_cast<int>(buff.size());
    const int n = kind == kCommon  ? record.GetCommonVideoFileAsJson(b, len)
                  : kind == kAlarm ? record.GetAlarmVideoFileAsJSON(b, len)
                                   : record.GetAlarmImgFileAsJSON(b, len);
    if (n < 0) {
        return "-1";
    }
    if (static_cast<size_t>(n) != strnlen(b, buff.size())) {
        return "length " + std::to_string(n) + " of a document of " + std::to_string(strnlen(b, buff.size()));
    }
    return std::string(b, static_cast<size_t>(n));
}

BOOL Delete(CRecord& record, int kind, const std::string& name)
{
    return kind == kCommon  ? record.DeleteCommonVideoFile(name.c_str())
           : kind == kAlarm ? record.DeleteAlarmVideoFile(name.c_str())
                            : record.DeleteAlarmImgFile(name.c_str());
}

std::string Value(const std::string& obj, const char* key)
{
    const std::string k = std::string("\"") + key + "\":\"";
    const size_t at = obj.find(k);
    if (at == std::string::npos) {
        return "";
    }
    const size_t from = at + k.size();
    return obj.substr(from, obj.find('"', from) - from);
}

// Name, title and archive of every file of a list, for picking what to delete.
std::vector<std::vector<std::string>> Entries(const std::string& doc)
{
    std::vector<std::vector<std::string>> out;
    const std::string key = "{\"filename\":\"";
    for (size_t at = doc.find(key); at != std::string::npos;) {
        const size_t next = doc.find(key, at + 1);
        const std::string obj = doc.substr(at, next == std::string::npos ? std::string::npos : next - at);
        out.push_back({Value(obj, "filename"), Value(obj, "title"), Value(obj, "thumb")});
        at = next;
    }
    return out;
}

bool Names(const std::string& doc, const std::string& name)
{
    return doc.find("\"filename\":\"" + name + "\"") != std::string::npos;
}

// Replies of one thread, each category in order; a reply equal to the one
// before it is not kept again.
struct tagReplies {
    std::vector<std::string> docs[kKinds];
    void Keep(int kind, const std::string& doc)
    {
        std::vector<std::string>& d = docs[kind];
        if ((d.empty() || d.back() != doc) && d.size() < kKeepReplies) {
            d.push_back(doc);
        }
    }
};

// Problems seen on the threads, told at the end.
class CProblems {
public:
    void Add(const std::string& what)
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (m_Seen.size() < 20) {
            m_Seen.push_back(what);
        }
        ++m_nCount;
    }
    std::string Text()
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        std::string t = std::to_string(m_nCount) + " problems";
        for (const std::string& s : m_Seen) {
            t += "\n  " + s;
        }
        return t;
    }
    int Count()
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_nCount;
    }

private:
    std::mutex m_Mutex;
    std::vector<std::string> m_Seen;
    int m_nCount = 0;
};

// An alarm image as the snapshot side makes it: the JPEG in the card's
// image folder, then its index entry. Every k gives its own name.
std::string AddImage(CRecord& record, unsigned k, CProblems& problems)
{
    const char type = "AGM"[k % 3];
    const int index = k % 4 == 3 ? 1 : 0;
    const unsigned day = 1 + k / 86400, hour = k / 3600 % 24, minute = k / 60 % 60, second = k % 60;
    char name[64];
    snprintf(name, sizeof(name), "%c2024%02u%02u%02u%02u%02u%s.JPG", type, 2u, day, hour, minute, second,
             index ? "(1)" : "");
    std::string jpeg = "\xFF\xD8";
    jpeg.append(1500 + k % 700, static_cast<char>(k));
    jpeg += "\xFF\xD9";
    XRecWriteFile(Card(std::string(RECORD_DIR_ALARM_IMAGE "/") + name), jpeg);
    if (!record.AddAlarmImgIndex(RECTIME::Make(24, 2, day, hour, minute, second), type, index, jpeg.size())) {
        problems.Add(std::string("image ") + name + " not indexed");
    }
    return name;
}

// Every file in the card's six folders, "folder/name" with its size.
std::map<std::string, uint64_t> CardFiles()
{
    std::map<std::string, uint64_t> files;
    for (const auto& folders : kFolders) {
        for (const char* dir : folders) {
            if (dir == nullptr) {
                continue;
            }
            DIR_CTX ctx;
            XFileFindData fd;
            const std::string path = Card(std::string(dir) + "/");
            for (BOOL ok = XFindFirstFile(path.c_str(), &ctx, &fd); ok; ok = XFindNextFile(&ctx, &fd)) {
                if (!fd.is_dir) {
                    size_t size = 0;
                    XGetFileSize((path + fd.filename).c_str(), &size);
                    files[std::string(dir) + "/" + fd.filename] = size;
                }
            }
            XCloseFindFile(&ctx, FALSE);
        }
    }
    return files;
}

}  // namespace

TEST(RecordFileApiThreads, ListsStayWholeWhileFilesComeAndGo)
{
    CTestBoard board;
    ASSERT_TRUE(CIniConfig::instance()->Init());
    CNoticeLog notices;
    CReceiverScope receiver(&notices);
    CSmallCard* card = new CSmallCard();
    std::unique_ptr<CRecord> owner(new CRecord(new CMP4File(), card, new CRecordPacker()));
    CRecord& record = *owner;
    ASSERT_TRUE(record.Init(10, 10, 320, 240));
    card->Notify(kCard);
    ASSERT_TRUE(record.SetFileSpaceQuotaOnSD(65, 2, 1));
    record.ResumeCommonRecord();
    CRecordFileIndex* const indexes[kKinds] = {&record.GetCommonRecordFileIndex(), &record.GetAlarmRecordFileIndex(),
                                               &record.GetAlarmImageFileIndex()};

    CProblems problems;
    std::atomic<bool> done{false};
    std::atomic<int64_t> fed{0};
    const auto started = std::chrono::steady_clock::now();
    // Loop files of 180 s with an alarm now and then: loop files cut short,
    // alarm files of 10 s, now and then a loop file whole.
    std::thread capture([&] {
        const unsigned kinds[] = {emAlarmType_Accelerate, emAlarmType_Gesture, emAlarmType_TrafficReport};
        CSynthFeeder feeder(record, 10, 10);
        for (int64_t f = 0; f < 20000; f += 10) {
            feeder.Feed(10);
            fed = f + 10;
            if (f % 600 == 300 && f % 4000 < 2000) {
                record.StartAlarmRecord(kinds[f / 600 % 3], 'A');
            }
        }
        done = true;
    });

    tagReplies listed;
    std::atomic<int> lists{0};
    std::thread lister([&] {
        std::vector<char> buff(kListBuff);
        for (int i = 0; !done; ++i) {
            const int kind = i % kKinds;
            const std::string doc = List(record, kind, buff);
            if (doc[0] != '{') {
                problems.Add(std::string(kKindName[kind]) + " list: " + doc);
            }
            listed.Keep(kind, doc);
            ++lists;
        }
    });

    tagReplies seen;
    std::atomic<int> deleted[kKinds] = {{0}, {0}, {0}};
    std::atomic<int> refused[kKinds] = {{0}, {0}, {0}};
    std::atomic<int> images{0};
    std::thread app([&] {
        std::vector<char> buff(kListBuff);
        // Videos are deleted at most once per so many frames fed, so that
        // the lists keep some whatever the speed of the build.
        const int64_t every[kKinds] = {1500, 2000, 0};
        int64_t last[kKinds] = {0, 0, 0};
        for (unsigned k = 0; !done; ++k) {
            if (k % 2 == 0) {
                AddImage(record, k, problems);
                ++images;
            }
            const int kind = static_cast<int>(k % kKinds);
            if (fed - last[kind] < every[kind]) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            last[kind] = fed;
            const std::string doc = List(record, kind, buff);
            seen.Keep(kind, doc);
            const std::vector<std::vector<std::string>> entries = Entries(doc);
            if (entries.empty()) {
                continue;
            }
            const std::vector<std::string>& e = entries[k / 7 % entries.size()];
            const BOOL ok = Delete(record, kind, e[0]);
            ++(ok ? deleted : refused)[kind];
            // Whoever deleted it, it is gone: from the card, companions and
            // all, and from the list.
            for (int f = 0; f < 3; ++f) {
                if (!e[f].empty() && kFolders[kind][f] != nullptr &&
                    XRecExists(Card(std::string(kFolders[kind][f]) + "/" + e[f]))) {
                    problems.Add(std::string(ok ? "deleted " : "refused ") + kKindName[kind] + " " + e[0] +
                                 " left " + e[f] + " on the card");
                }
            }
            const std::string after = List(record, kind, buff);
            seen.Keep(kind, after);
            if (Names(after, e[0])) {
                problems.Add(std::string(ok ? "deleted " : "refused ") + kKindName[kind] + " " + e[0] +
                             " still listed");
            }
        }
    });

    std::atomic<int> oldest{0};
    std::thread space([&] {
        for (unsigned i = 0; !done; ++i) {
            if (!record.CheckOverflowFile()) {
                problems.Add("overflow check refused");
            }
            // The storage report's totals, read without the engine's lock.
            uint64_t common = 0, alarm = 0, image = 0;
            record.GetTotalFileSize(common, alarm, image);
            if (common > kCommonCap && record.DeleteOldestCommonRecordFile()) {
                ++oldest;
            }
            if (i % 40 == 20) {
                const bool wide = i / 40 % 2 != 0;
                record.SetFileSpaceQuotaOnSD(65, wide ? 3 : 2, wide ? 2 : 1);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });

    capture.join();
    lister.join();
    app.join();
    space.join();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    record.StopAllRecord(FALSE, TRUE);
    ASSERT_TRUE(record.SetFileSpaceQuotaOnSD(65, 2, 1));
    ASSERT_TRUE(record.CheckOverflowFile());
    EXPECT_FALSE(record.GetRecorderFlag() & emRecordFileFlag_Recording);

    EXPECT_EQ(0, problems.Count()) << problems.Text();
    std::ostringstream counts;
    counts << seconds << " s, " << lists.load() << " lists, " << images.load() << " images added, "
           << oldest.load() << " oldest loop files given way, " << notices.m_nDeleted.load() << " deletion notices;";
    for (int kind = 0; kind < kKinds; ++kind) {
        counts << " " << kKindName[kind] << " deleted " << deleted[kind].load() << " refused " << refused[kind].load()
               << " files now " << indexes[kind]->GetFileCount() << ";";
    }
    printf("%s\n", counts.str().c_str());
    SCOPED_TRACE(counts.str());
    // Each side of the run did its work.
    EXPECT_GT(lists.load(), 30);
    EXPECT_GT(oldest.load(), 0);
    for (int kind = 0; kind < kKinds; ++kind) {
        EXPECT_GT(deleted[kind].load(), 0) << kKindName[kind];
    }
    // The shares trimmed alarm videos and images beyond what the app deleted.
    EXPECT_GT(notices.m_nDeleted.load(), deleted[kCommon] + deleted[kAlarm] + deleted[kImage] + oldest);
    EXPECT_EQ(0, notices.m_nTooLong.load());
    uint64_t common = 0, alarm = 0, image = 0;
    record.GetByteLimits(common, alarm, image);
    EXPECT_LE(indexes[kAlarm]->GetTotalSize(), alarm);
    EXPECT_LE(indexes[kImage]->GetTotalSize(), image);

    // Every reply and notice through an independent reader.
    std::vector<char> buff(kListBuff);
    std::string input;
    std::string structure;
    size_t replies = 0;
    for (tagReplies* r : {&listed, &seen}) {
        for (int kind = 0; kind < kKinds; ++kind) {
            for (const std::string& doc : r->docs[kind]) {
                input += std::string(kKindName[kind]) + "\t" + doc + "\n";
                structure += std::string(kKindName[kind]) + "list\t" + doc + "\t\n";
                ++replies;
            }
        }
    }
    for (int kind = 0; kind < kKinds; ++kind) {
        const std::string doc = List(record, kind, buff);
        input += std::string("final-") + kKindName[kind] + "\t" + doc + "\n";
        structure += std::string(kKindName[kind]) + "list\t" + doc + "\t\n";
    }
    for (const std::string& doc : notices.Docs()) {
        const char* kind = doc.find("\"type\":\"commonvideo\"") != std::string::npos  ? "commonfile"
                           : doc.find("\"type\":\"alarmvideo\"") != std::string::npos ? "alarmfile"
                                                                                      : "imagefile";
        structure += std::string(kind) + "\t" + doc + "\t\n";
    }
    int status = -1;
    const std::string checked = XRecRunPython("RecordIndexJson_check.py", structure, &status);
    EXPECT_EQ(0, status) << checked;
    const std::string out = XRecRunPython("RecordListsUnique_check.py", input, &status);
    ASSERT_EQ(0, status) << out;
    EXPECT_NE(std::string::npos, out.find("parsed\t" + std::to_string(replies + kKinds) + "\n")) << out;

    // The final lists name exactly the files in the card folders, each with
    // its size on the card, and add up to the index totals.
    std::map<std::string, uint64_t> named;
    std::map<std::string, uint64_t> totals;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        const size_t tab = line.find('\t');
        const size_t last = line.rfind('\t');
        if (line.compare(0, tab, "total") == 0) {
            totals[line.substr(tab + 1, last - tab - 1)] = std::stoull(line.substr(last + 1));
        } else if (line.compare(0, tab, "parsed") != 0) {
            named[line.substr(0, tab)] = std::stoull(line.substr(tab + 1));
        }
    }
    EXPECT_EQ(CardFiles(), named);
    uint64_t reported[kKinds] = {};
    record.GetTotalFileSize(reported[kCommon], reported[kAlarm], reported[kImage]);
    for (int kind = 0; kind < kKinds; ++kind) {
        EXPECT_EQ(reported[kind], totals[kKindName[kind]]) << kKindName[kind];
    }
    EXPECT_GT(named.size(), 3u);

    record.CleanUp();
    owner.reset();
}
