// Reading the alarm file's private skip box back: files of the real writer,
// and hand-built files for every way a box on a card can be broken.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "Record/Index/AssociatedData.h"
#include "Record/MP4/AssociatedDataReader.h"
#include "Record/MP4/MP4File.h"
#include "Record/MP4/MP4TestFile.h"

namespace {

using namespace mp4test;

// Records handed out by the pool and not given back yet.
int Outstanding()
{
    CAssociatedDataManager* pool = CAssociatedDataManager::instance();
    return pool->GetAllocatedCount() - pool->GetFreeCount();
}

std::vector<uint8_t> Record(char type, const RECTIME& t, uint32_t index, const std::string& gps)
{
    std::vector<uint8_t> r = CBytes().u8(static_cast<uint8_t>(type)).u32(t.value).u32(index).Data();
    std::vector<uint8_t> text(64, 0);
    memcpy(text.data(), gps.data(), std::min<size_t>(gps.size(), 64));
    r.insert(r.end(), text.begin(), text.end());
    return r;
}

std::vector<uint8_t> Asct(uint32_t count, const std::vector<std::vector<uint8_t>>& records)
{
    CBytes payload;
    payload.u32(0).u32(count);
    for (const auto& r : records) {
        payload.raw(r);
    }
    return CBytes().u32(static_cast<uint32_t>(8 + payload.Data().size())).tag("asct").raw(payload.Data()).Data();
}

std::vector<uint8_t> Altg(uint32_t mask) { return CBytes().u32(16).tag("altg").u32(0).u32(mask).Data(); }

std::vector<uint8_t> Box(const char* type, const std::vector<uint8_t>& payload)
{
    return CBytes().u32(static_cast<uint32_t>(8 + payload.size())).tag(type).raw(payload).Data();
}

std::vector<uint8_t> Cat(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> out;
    for (const auto& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

const std::vector<uint8_t> kFtyp = CBytes().u32(16).tag("ftyp").tag("isom").u32(0x200).Data();
const std::vector<uint8_t> kMdat = Box("mdat", std::vector<uint8_t>(100, 0xAB));
const std::vector<uint8_t> kMoov = Box("moov", std::vector<uint8_t>(40, 0));

RECTIME T(unsigned s) { return RECTIME::Make(24, 1, 5, 8, 30, s); }

class AssociatedDataReader : public ::testing::Test {
protected:
    std::string Write(const std::vector<uint8_t>& bytes)
    {
        const std::string path = m_Dir / ("f" + std::to_string(m_nFiles++) + ".MP4");
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                     static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    CScratchDir m_Dir;
    int m_nFiles = 0;
};

// The real writer's alarm file: both records back in file order with every
// field, the mask of all triggers.
TEST_F(AssociatedDataReader, FileOfTheWriterReadsBack)
{
    CMP4File file;
    TimeTypeMappingNode accel = {300, emRecordTriggerType_AcceleratorAlarm, nullptr};
    TimeTypeMappingNode gesture = {200, emRecordTriggerType_GestureAlarm, &accel};
    tagH264SPSPPS vos = XTestSpsPps();
    const std::string path = m_Dir / "alarm.MP4";
    ASSERT_TRUE(file.StartRecord(path.c_str(), 90000, 30, 1920, 1080, &gesture, 600, emRecordFileType_Alarm, &vos));
    CAssociatedDataManager* pool = CAssociatedDataManager::instance();
    CAssociatedData* a = pool->GetNode();
    CAssociatedData* b = pool->GetNode();
    a->SetRecType('G');
    a->SetRecTime(T(5));
    a->SetGPSPosition("N22.54,E113.95");
    b->SetRecType('A');
    b->SetRecTime(T(6));
    b->SetRecIndex(2);
    b->SetGPSPosition(std::string(70, 'x').c_str());
    a->SetNext(b);
    file.SetAssociatedData(a);
    std::vector<uint8_t> sample = XMarkedSample('V', 0, 200);
    tagMediaDataInfo v;
    memset(&v, 0, sizeof(v));
    v.nFrameSerial = 1;
    v.emFrameType = 3;
    v.emAVType = 1;
    v.nDataSize = static_cast<uint32_t>(sample.size());
    v.lpData = sample.data();
    ASSERT_TRUE(file.WriteVideoPacket(&v));
    ASSERT_TRUE(file.StopRecord());

    const int before = Outstanding();
    uint32_t trigger = 99;
    CAssociatedData* list = reinterpret_cast<CAssociatedData*>(1);
    ASSERT_TRUE(CAssociatedDataReader::GetAlarmVideoFileAssociatedData(path.c_str(), &trigger, &list));
    EXPECT_EQ(static_cast<uint32_t>(emRecordTriggerType_GestureAlarm | emRecordTriggerType_AcceleratorAlarm), trigger);
    ASSERT_NE(nullptr, list);
    EXPECT_EQ('G', list->GetRecType());
    EXPECT_EQ(T(5), list->GetRecTime());
    EXPECT_EQ(0, list->GetRecIndex());
    EXPECT_STREQ("N22.54,E113.95", list->GetGPSPosition());
    const CAssociatedData* second = list->GetNext();
    ASSERT_NE(nullptr, second);
    EXPECT_EQ('A', second->GetRecType());
    EXPECT_EQ(T(6), second->GetRecTime());
    EXPECT_EQ(2, second->GetRecIndex());
    EXPECT_EQ(std::string(63, 'x'), second->GetGPSPosition());
    EXPECT_EQ(nullptr, second->GetNext());
    EXPECT_EQ(before + 2, Outstanding());
    XPutAssociatedDataList(list);
    EXPECT_EQ(before, Outstanding());
}

struct tagBoxCase {
    const char* name;
    std::vector<uint8_t> bytes;
    BOOL result;
    uint32_t trigger;
    int records;
};

// Every result: the mask, the records, and no record kept out of the pool
// once the list is given back (none at all on failure).
TEST_F(AssociatedDataReader, BoxesOnTheCard)
{
    const auto r1 = Record('G', T(1), 0, "one");
    const auto r2 = Record('A', T(2), 1, "two");
    std::vector<std::vector<uint8_t>> many(300, r1);
    const std::vector<uint8_t> good = Box("skip", Cat({Altg(6), Asct(2, {r1, r2})}));
    std::vector<uint8_t> truncated = Cat({kFtyp, kMdat, good, kMoov});
    truncated.resize(kFtyp.size() + kMdat.size() + 8 + 16 + 16 + 73 + 20);
    std::vector<uint8_t> large = CBytes().u32(1).tag("mdat").u64(16 + 100).Data();
    large.insert(large.end(), 100, 0xCD);

    const std::vector<uint8_t> free8 = Box("free", {});
    const std::vector<uint8_t> sixFree = Cat({free8, free8, free8, free8, free8, free8});

    const std::vector<tagBoxCase> cases = {
        {"the writer's layout", Cat({kFtyp, kMdat, good, kMoov}), 1, 6, 2},
        {"the writer's layout with its free boxes", Cat({kFtyp, Box("free", {1, 2, 3, 4}), free8, kMdat, good, kMoov}),
         1, 6, 2},
        {"skip box as the eighth box, the last looked at", Cat({kFtyp, sixFree, good}), 1, 6, 2},
        {"skip box as the ninth box", Cat({kFtyp, sixFree, free8, good}), 0, 0, 0},
        {"skip box after moov", Cat({kFtyp, kMdat, kMoov, good}), 0, 0, 0},
        {"mask only", Cat({kFtyp, kMdat, Box("skip", Altg(8)), kMoov}), 1, 8, 0},
        {"records only", Cat({kFtyp, Box("skip", Asct(1, {r2}))}), 1, 0, 1},
        {"empty skip box", Cat({kFtyp, Box("skip", {}), kMoov}), 1, 0, 0},
        {"64-bit box size before it", Cat({kFtyp, large, good}), 1, 6, 2},
        {"a foreign child is skipped",
         Cat({kFtyp, Box("skip", Cat({Box("xtra", std::vector<uint8_t>(12, 1)), Altg(6), Asct(2, {r1, r2})}))}), 1, 6, 2},
        {"more records than kept", Cat({kFtyp, Box("skip", Asct(300, many))}), 1, 0, 256},
        {"no skip box", Cat({kFtyp, kMdat, kMoov}), 0, 0, 0},
        {"empty file", {}, 0, 0, 0},
        {"unfinished mdat of size 0", Cat({kFtyp, CBytes().u32(0).tag("mdat").Data(), good}), 0, 0, 0},
        {"box beyond the end", Cat({kFtyp, CBytes().u32(5000).tag("mdat").zeros(10).Data(), good}), 0, 0, 0},
        {"64-bit size under its header", Cat({kFtyp, CBytes().u32(1).tag("mdat").u64(12).Data(), good}), 0, 0, 0},
        {"cut inside the records", truncated, 0, 0, 0},
        {"child under 8 bytes", Cat({kFtyp, Box("skip", Cat({Altg(6), CBytes().u32(4).tag("asct").Data()}))}), 0, 0, 0},
        {"child with 4 payload bytes", Cat({kFtyp, Box("skip", CBytes().u32(12).tag("altg").u32(6).Data())}), 0, 0, 0},
        {"child over the box's end", Cat({kFtyp, Box("skip", CBytes().u32(400).tag("asct").u32(0).u32(0).Data())}), 0,
         0, 0},
        {"altg longer than its fields", Cat({kFtyp, Box("skip", CBytes().u32(20).tag("altg").u32(0).u32(6).u32(0).Data())}),
         0, 0, 0},
        {"count above the records", Cat({kFtyp, Box("skip", Cat({Altg(6), Asct(3, {r1, r2})}))}), 0, 0, 0},
        {"count below the records", Cat({kFtyp, Box("skip", Asct(1, {r1, r2}))}), 0, 0, 0},
        {"huge count", Cat({kFtyp, Box("skip", Asct(0xFFFFFFFFu, {r1}))}), 0, 0, 0},
        {"bytes left after the children",
         Cat({kFtyp, Box("skip", Cat({Altg(6), Asct(2, {r1, r2}), std::vector<uint8_t>(5, 0)}))}), 0, 0, 0},
        {"index out of range", Cat({kFtyp, Box("skip", Asct(2, {r1, Record('A', T(3), 300, "")}))}), 0, 0, 0},
    };
    for (const tagBoxCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = Write(c.bytes);
        const int before = Outstanding();
        uint32_t trigger = 12345;
        CAssociatedData* list = nullptr;
        EXPECT_EQ(c.result, CAssociatedDataReader::GetAlarmVideoFileAssociatedData(path.c_str(), &trigger, &list));
        EXPECT_EQ(c.trigger, trigger);
        int n = 0;
        for (const CAssociatedData* d = list; d != nullptr; d = d->GetNext()) {
            ++n;
        }
        EXPECT_EQ(c.records, n);
        EXPECT_EQ(before + n, Outstanding());
        if (n >= 2 && c.records == 2) {
            EXPECT_EQ('G', list->GetRecType());
            EXPECT_STREQ("one", list->GetGPSPosition());
            EXPECT_EQ('A', list->GetNext()->GetRecType());
            EXPECT_EQ(1, list->GetNext()->GetRecIndex());
        }
        XPutAssociatedDataList(list);
        EXPECT_EQ(before, Outstanding());
    }
}

// A card file of 64 MiB of 8-byte boxes with a good skip box at its end: the
// walk gives up within its bound, so the file yields nothing.
TEST_F(AssociatedDataReader, FileOfTinyBoxesYieldsNoRecords)
{
    const std::vector<uint8_t> good =
        Box("skip", Cat({Altg(6), Asct(1, {Record('G', T(1), 0, "one")})}));
    const std::string path = m_Dir / "tiny.MP4";
    ASSERT_TRUE(XWriteTinyBoxFile(path, kFtyp, 64u << 20, good));
    const int before = Outstanding();
    uint32_t trigger = 12345;
    CAssociatedData* list = nullptr;
    EXPECT_FALSE(CAssociatedDataReader::GetAlarmVideoFileAssociatedData(path.c_str(), &trigger, &list));
    EXPECT_EQ(0u, trigger);
    EXPECT_EQ(nullptr, list);
    EXPECT_EQ(before, Outstanding());
}

TEST_F(AssociatedDataReader, MissingFileOrArguments)
{
    uint32_t trigger = 7;
    CAssociatedData* list = nullptr;
    EXPECT_FALSE(CAssociatedDataReader::GetAlarmVideoFileAssociatedData((m_Dir / "none.MP4").c_str(), &trigger, &list));
    EXPECT_EQ(0u, trigger);
    EXPECT_EQ(nullptr, list);
    EXPECT_FALSE(CAssociatedDataReader::GetAlarmVideoFileAssociatedData(m_Dir.Path().c_str(), &trigger, &list));
    const std::string path = Write(Cat({kFtyp, Box("skip", Altg(6))}));
    EXPECT_FALSE(CAssociatedDataReader::GetAlarmVideoFileAssociatedData(path.c_str(), nullptr, &list));
    EXPECT_FALSE(CAssociatedDataReader::GetAlarmVideoFileAssociatedData(path.c_str(), &trigger, nullptr));
}

}  // namespace
