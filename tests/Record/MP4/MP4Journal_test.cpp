// The recovery journal: what the writer puts on the card, read back by the
// reader, and the reader against torn and hostile journals.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "Function/ByteOrder.h"
#include "Function/Crc32.h"
#include "Record/MP4/MP4Journal.h"
#include "Record/MP4/MP4JournalReader.h"
#include "Record/RecordFileTestSupport.h"

namespace {

typedef std::vector<uint8_t> Bytes;

tagMP4JournalHeader Header(uint32_t fps = 30)
{
    tagMP4JournalHeader h;
    h.fileType = 0;
    h.fps = fps;
    h.timescale = fps * 3000;
    h.width = 1920;
    h.height = 1080;
    h.creationTime = 3787000000ull;
    h.name = "20240105083000_0.MP4";
    h.sps = {0x67, 0x4d, 0x40, 0x28, 0x95};
    h.pps = {0x68, 0xee, 0x3c, 0x80};
    return h;
}

tagMP4JournalSample Video(uint32_t size, bool key)
{
    return tagMP4JournalSample{0, size, 3000, emMP4JournalEntry_Video,
                               static_cast<uint8_t>(key ? MP4_JOURNAL_FLAG_KEY : 0)};
}

tagMP4JournalSample Audio(uint32_t size)
{
    return tagMP4JournalSample{0, size, 1024, emMP4JournalEntry_Audio, 0};
}

// A journal of `gops` records of one GOP each (a key frame, 29 P-frames,
// two audio frames) from offset 64 on, and a names record.
struct tagJournal {
    Bytes bytes;
    std::vector<size_t> recordEnds;  // byte after each record
    uint64_t dataEnd = 64;
};

tagJournal MakeJournal(int gops, const tagMP4JournalHeader& h = Header())
{
    tagJournal j;
    CMP4JournalBuffer b;
    b.PutHead();
    uint32_t seq = 0;
    b.BeginRecord(emMP4JournalRecord_Header, seq++);
    b.PutHeader(h);
    b.EndRecord();
    j.recordEnds.push_back(b.Bytes().size());
    for (int g = 0; g < gops; ++g) {
        std::vector<tagMP4JournalSample> gop = {Video(5000, true)};
        gop.insert(gop.end(), 29, Video(700, false));
        gop.push_back(Audio(200));
        gop.push_back(Audio(210));
        b.BeginRecord(emMP4JournalRecord_Samples, seq++);
        b.Put64(j.dataEnd);
        b.Put32(static_cast<uint32_t>(gop.size()));
        for (const tagMP4JournalSample& s : gop) {
            b.PutEntry(s);
            j.dataEnd += s.size;
        }
        b.EndRecord();
        j.recordEnds.push_back(b.Bytes().size());
    }
    b.BeginRecord(emMP4JournalRecord_Names, seq++);
    b.Put16(720);
    b.Put8(1);
    b.Put8(0);
    b.Put32(2);
    b.EndRecord();
    j.recordEnds.push_back(b.Bytes().size());
    j.bytes = b.Bytes();
    return j;
}

// Rewrites the CRC of the record ending at `end` after a change inside it.
void Reseal(Bytes& b, size_t start, size_t end)
{
    XPutBE32(&b[end - 4], crc32(0, &b[start], end - 4 - start));
}

TEST(MP4JournalReader, ReadsWhatTheFormatWrites)
{
    const tagJournal j = MakeJournal(3);
    tagMP4JournalContent c;
    ASSERT_TRUE(CMP4JournalReader::Parse(j.bytes.data(), j.bytes.size(), j.dataEnd, c));
    EXPECT_EQ(c.problem, "");
    EXPECT_EQ(c.records, 5u);
    EXPECT_EQ(c.header.name, "20240105083000_0.MP4");
    EXPECT_EQ(c.header.fps, 30u);
    EXPECT_EQ(c.header.sps, Header().sps);
    EXPECT_EQ(c.videoSamples, 90u);
    EXPECT_EQ(c.videoKeyFrames, 3u);
    EXPECT_EQ(c.audioSamples, 6u);
    EXPECT_EQ(c.dataEnd, j.dataEnd);
    ASSERT_EQ(c.samples.size(), 96u);
    EXPECT_EQ(c.samples[0].offset, 64u);
    EXPECT_EQ(c.samples[1].offset, 64u + 5000u);
    EXPECT_EQ(c.samples[32].offset, 64u + 5000u + 29u * 700u + 410u);
    EXPECT_TRUE(c.bHasNames);
    EXPECT_EQ(c.resFlag, 720);
    EXPECT_TRUE(c.bParking);
    EXPECT_EQ(c.titleIndex, 2);
}

// Cut at every byte: nothing is ever kept that the bytes before the cut do
// not hold whole, and a longer journal never keeps less.
TEST(MP4JournalReader, CutAtEveryByte)
{
    const tagJournal j = MakeJournal(3);
    size_t lastKept = 0;
    for (size_t len = 0; len <= j.bytes.size(); ++len) {
        tagMP4JournalContent c;
        const BOOL ok = CMP4JournalReader::Parse(j.bytes.data(), len, j.dataEnd, c);
        EXPECT_EQ(ok != 0, len >= j.recordEnds[0]) << len;
        size_t whole = 0;
        while (whole + 1 < j.recordEnds.size() - 1 && j.recordEnds[whole + 1] <= len) {
            ++whole;
        }
        EXPECT_EQ(c.samples.size(), whole * 32) << len;
        EXPECT_GE(c.samples.size(), lastKept) << len;
        lastKept = c.samples.size();
        if (ok && len != j.bytes.size() && std::find(j.recordEnds.begin(), j.recordEnds.end(), len) == j.recordEnds.end()) {
            EXPECT_NE(c.problem.find("cut off"), std::string::npos) << len << ": " << c.problem;
        }
    }
}

struct tagHostileCase {
    const char* name;
    std::function<void(tagJournal&, uint64_t& fileSize)> change;
    bool bHeader;         // a usable header remains
    size_t keptSamples;
    const char* problem;  // part of the message, "" for none
};

TEST(MP4JournalReader, HostileJournals)
{
    const tagHostileCase cases[] = {
        {"intact", [](tagJournal&, uint64_t&) {}, true, 96, ""},
        {"wrong magic", [](tagJournal& j, uint64_t&) { j.bytes[0] = 'X'; }, false, 0, "not a journal"},
        {"unknown version", [](tagJournal& j, uint64_t&) { j.bytes[7] = 2; }, false, 0, "version 2"},
        {"garbage", [](tagJournal& j, uint64_t&) { j.bytes.assign(300, 0xA5); }, false, 0, "not a journal"},
        {"header with absurd fps",
         [](tagJournal& j, uint64_t&) {
             XPutBE32(&j.bytes[8 + 12 + 4], 100000);
             Reseal(j.bytes, 8, j.recordEnds[0]);
         },
         false, 0, "no valid header"},
        {"checksum of the second record broken", [](tagJournal& j, uint64_t&) { j.bytes[j.recordEnds[1] + 40] ^= 1; },
         true, 32, "fails its checksum"},
        {"garbage after the last record",
         [](tagJournal& j, uint64_t&) { j.bytes.insert(j.bytes.end(), 100, 0x5A); }, true, 96, "record 5"},
        {"last sample torn by the file's end", [](tagJournal&, uint64_t& size) { size -= 1; }, true, 95,
         "beyond the file end"},
        {"file ends inside the second key frame",
         [](tagJournal& j, uint64_t& size) { size = 64 + (j.dataEnd - 64) / 3 + 100; }, true, 32,
         "beyond the file end"},
        {"samples before the end of the last ones",
         [](tagJournal& j, uint64_t&) {
             XPutBE64(&j.bytes[j.recordEnds[1] + 12], 64);
             Reseal(j.bytes, j.recordEnds[1], j.recordEnds[2]);
         },
         true, 32, "before the end of the last one"},
        {"absurd entry count",
         [](tagJournal& j, uint64_t&) {
             XPutBE32(&j.bytes[j.recordEnds[0] + 12 + 8], 0xFFFFFFFFu);
             Reseal(j.bytes, j.recordEnds[0], j.recordEnds[1]);
         },
         true, 0, "for 4294967295 entries"},
        {"absurd record length",
         [](tagJournal& j, uint64_t&) { XPutBE32(&j.bytes[j.recordEnds[2]], 0x7FFFFFF0u); }, true, 64,
         "absurd length"},
        {"record out of sequence",
         [](tagJournal& j, uint64_t&) {
             XPutBE32(&j.bytes[j.recordEnds[1] + 8], 1);
             Reseal(j.bytes, j.recordEnds[1], j.recordEnds[2]);
         },
         true, 32, "out of sequence"},
        {"unknown entry kind",
         [](tagJournal& j, uint64_t&) {
             j.bytes[j.recordEnds[0] + 12 + 12 + 10 * 5] = 9;
             Reseal(j.bytes, j.recordEnds[0], j.recordEnds[1]);
         },
         true, 5, "unknown kind 9"},
        {"more video samples than a 1 fps file holds",
         [](tagJournal& j, uint64_t&) { j = MakeJournal(10, Header(1)); }, true, 32 * 8 + 24,
         "more video samples"},
    };
    const tagJournal base = MakeJournal(3);
    for (const tagHostileCase& k : cases) {
        tagJournal j = base;
        uint64_t fileSize = base.dataEnd;
        k.change(j, fileSize);
        if (j.dataEnd != base.dataEnd && fileSize == base.dataEnd) {
            fileSize = j.dataEnd;
        }
        tagMP4JournalContent c;
        const BOOL ok = CMP4JournalReader::Parse(j.bytes.data(), j.bytes.size(), fileSize, c);
        EXPECT_EQ(ok != 0, k.bHeader) << k.name;
        EXPECT_EQ(c.samples.size(), k.keptSamples) << k.name;
        if (k.problem[0] == '\0') {
            EXPECT_EQ(c.problem, "") << k.name;
        } else {
            EXPECT_NE(c.problem.find(k.problem), std::string::npos) << k.name << ": " << c.problem;
        }
        for (const tagMP4JournalSample& s : c.samples) {
            EXPECT_LE(s.offset + s.size, fileSize) << k.name;
        }
    }
}

TEST(MP4JournalFormat, JournalNames)
{
    char path[256];
    ASSERT_TRUE(XMP4JournalPath("/c/DCIM/100video/20240105083000_0(1).MP4", path, sizeof(path)));
    EXPECT_STREQ(path, "/c/DCIM/100video/.20240105083000_0(1).MP4.jnl");
    std::string video;
    EXPECT_TRUE(XMP4JournalVideoName(".20240105083000_0(1).MP4.jnl", video));
    EXPECT_EQ(video, "20240105083000_0(1).MP4");
    EXPECT_FALSE(XMP4JournalVideoName(".jnl", video));
    EXPECT_FALSE(XMP4JournalVideoName("20240105083000_0.MP4.jnl", video));
    EXPECT_FALSE(XMP4JournalVideoName(".x.jnl.tmp", video));
    EXPECT_FALSE(XMP4JournalPath("/c/dir/", path, sizeof(path)));
    EXPECT_FALSE(XMP4JournalPath("/c/a.MP4", path, 12));
}

// The writer's journal, read back: samples back to back in one record,
// a gap starting another, lost time, the alarm state and the names.
TEST(MP4Journal, WriterRecordsWhatTheReaderNeeds)
{
    CRecTempDir dir;
    const std::string video = dir / "20240105083000_0.MP4";
    const int fd = open(video.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0666);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, 100000), 0);
    CMP4Journal journal(60000);  // no flush of its own during the test
    ASSERT_TRUE(journal.Begin(video.c_str(), fd, Header()));
    close(fd);  // the journal keeps its own descriptor
    EXPECT_TRUE(XRecExists(dir / ".20240105083000_0.MP4.jnl"));
    journal.OnSample(TRUE, 64, 5000, 3000, TRUE, FALSE);
    journal.OnSample(TRUE, 5064, 700, 3000, FALSE, FALSE);
    journal.OnLostTime(TRUE, 3000);
    journal.OnSample(FALSE, 5764, 200, 1024, TRUE, FALSE);
    ASSERT_TRUE(journal.Flush());
    journal.OnSample(TRUE, 9000, 800, 3000, FALSE, TRUE);  // after a hole
    journal.SetNames(1080, FALSE, 0);
    ASSERT_TRUE(journal.Flush());
    EXPECT_TRUE(journal.Flush());  // nothing new

    std::ifstream in(dir / ".20240105083000_0.MP4.jnl", std::ios::binary);
    const Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    tagMP4JournalContent c;
    ASSERT_TRUE(CMP4JournalReader::Parse(bytes.data(), bytes.size(), 100000, c));
    EXPECT_EQ(c.problem, "");
    EXPECT_EQ(c.records, 4u);  // header, two samples runs and names
    ASSERT_EQ(c.samples.size(), 5u);
    EXPECT_EQ(c.samples[2].kind, emMP4JournalEntry_VideoLost);
    EXPECT_EQ(c.samples[3].offset, 5764u);
    EXPECT_EQ(c.samples[4].offset, 9000u);
    EXPECT_EQ(c.samples[4].flags, MP4_JOURNAL_FLAG_FORCE_CHUNK);
    EXPECT_EQ(c.dataEnd, 9800u);
    EXPECT_EQ(c.titleIndex, 0);

    journal.End();
    journal.OnSample(TRUE, 9800, 800, 3000, FALSE, FALSE);  // after the close: not journaled
    EXPECT_TRUE(journal.Flush());
    EXPECT_TRUE(XRecExists(dir / ".20240105083000_0.MP4.jnl"));
    journal.Remove();
    EXPECT_FALSE(XRecExists(dir / ".20240105083000_0.MP4.jnl"));
}

}  // namespace

// A new alarm file's journal tells from its first write, before any flush,
// which file it is, its triggers and the packet it begins with; the first
// packet stays known once samples and later reached records follow. A
// journal name left over as another file's name is not written through.
TEST(MP4Journal, HeadTellsTheFileAndItsFirstPacket)
{
    CRecTempDir dir;
    const std::string video = dir / "20240105083000_0.MP4";
    const std::string other = dir / "20240105082000_9.MP4";
    XRecWriteFile(other, "another video");
    ASSERT_EQ(link(other.c_str(), (dir / ".20240105083000_0.MP4.jnl").c_str()), 0);
    const int fd = open(video.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0666);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, 100000), 0);
    CMP4Journal journal(60000);
    tagMP4JournalHeader h = Header();
    h.fileType = 1;
    ASSERT_TRUE(journal.Begin(video.c_str(), fd, h, 468, 0x4));
    close(fd);
    EXPECT_EQ(XRecReadFile(other), "another video");

    auto read = [&](tagMP4JournalContent& c) {
        const std::string bytes = XRecReadFile(dir / ".20240105083000_0.MP4.jnl");
        ASSERT_TRUE(CMP4JournalReader::Parse(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), 100000, c));
    };
    tagMP4JournalContent c;
    read(c);
    EXPECT_EQ(c.records, 3u);  // header, alarm, reached
    EXPECT_EQ(c.alarmMask, 0x4u);
    EXPECT_TRUE(c.samples.empty());
    EXPECT_EQ(c.firstSeq, 468u);
    EXPECT_TRUE(c.bHasReached);
    EXPECT_EQ(c.reachedAll, 467u);

    journal.OnSample(TRUE, 64, 5000, 3000, TRUE, FALSE);
    journal.Collect(470, 472);
    ASSERT_TRUE(journal.WriteCollected());
    read(c);
    EXPECT_EQ(c.samples.size(), 1u);
    EXPECT_EQ(c.firstSeq, 468u);
    EXPECT_EQ(c.reachedAll, 470u);
    EXPECT_EQ(c.reachedVideo, 472u);

    // A loop file without the engine's number has no first packet.
    const std::string loop = dir / "20240105083300_0.MP4";
    const int fd2 = open(loop.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0666);
    ASSERT_GE(fd2, 0);
    h = Header();
    h.name = "20240105083300_0.MP4";
    ASSERT_TRUE(journal.Begin(loop.c_str(), fd2, h));
    close(fd2);
    const std::string bytes = XRecReadFile(dir / ".20240105083300_0.MP4.jnl");
    ASSERT_TRUE(CMP4JournalReader::Parse(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), 100000, c));
    EXPECT_EQ(c.records, 1u);
    EXPECT_EQ(c.firstSeq, 0u);
    EXPECT_FALSE(c.bHasReached);
}
