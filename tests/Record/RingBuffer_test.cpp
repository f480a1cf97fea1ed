// Placement rules of the packet cache on a 1 KiB ring: every case pushes
// entries filled with their own byte pattern, drains them and checks that
// each came back whole and in order, so any overwrite of an unread entry shows.

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "Record/RingBuffer.h"

namespace {

const uint32_t kRing = 1024;
const uint32_t kHdr = CRecordRingBuffer::m_nHeaderSlot;

struct tagStep {
    char op;          // 'P' push a payload of `n` bytes, 'D' drain until `n` entries are left
    uint32_t n;
    long offset;      // 'P': expected ring offset, -1 for a drop
    bool wrapped;     // 'P': expected to go to the ring start for lack of room at the end
};

struct tagRingCase {
    const char* name;
    std::vector<tagStep> steps;
};

// Checks every drained entry against the pattern it was pushed with.
class CCheckSink : public CRecordPacketSink {
public:
    std::deque<uint8_t> expected;  // ids in push order
    std::vector<uint8_t> drained;
    std::string faults;

    BOOL ProcessPacket(const tagMediaDataInfo* pkt) override
    {
        const uint8_t id = static_cast<uint8_t>(pkt->nFrameSerial);
        drained.push_back(id);
        if (expected.empty() || expected.front() != id) {
            faults += "out of order " + std::to_string(id) + ";";
        }
        if (!expected.empty()) {
            expected.pop_front();
        }
        for (uint32_t i = 0; i < pkt->nDataSize; ++i) {
            if (pkt->lpData[i] != static_cast<uint8_t>(id + i)) {
                faults += "entry " + std::to_string(id) + " overwritten at " + std::to_string(i) + ";";
                break;
            }
        }
        return TRUE;
    }
};

uint32_t CountLeft(const CRecordRingBuffer& ring)
{
    uint32_t n = 0;
    for (const tagMediaDataInfo* e = ring.GetHead(); e != nullptr; e = e->lpNext) {
        ++n;
    }
    return n;
}

void RunSteps(const tagRingCase& c)
{
    CRecordRingBuffer ring(kRing);
    CCheckSink sink;
    uint8_t nextId = 1;
    for (size_t i = 0; i < c.steps.size(); ++i) {
        const tagStep& s = c.steps[i];
        SCOPED_TRACE(std::string(c.name) + ", step " + std::to_string(i));
        if (s.op == 'D') {
            ring.Drain(&sink, s.n);
            EXPECT_EQ(CountLeft(ring), s.n);
            EXPECT_EQ(ring.GetCachedVideoFrame(), s.n);
            continue;
        }
        BOOL bWrapped = FALSE;
        tagMediaDataInfo* e = ring.Reserve(kHdr + s.n, bWrapped);
        if (s.offset < 0) {
            EXPECT_EQ(e, nullptr);
            continue;
        }
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(static_cast<long>(ring.OffsetOf(e)), s.offset);
        EXPECT_EQ(bWrapped != 0, s.wrapped);
        memset(e, 0, sizeof(*e));
        e->emAVType = AVDATA_TYPE_VIDEO;
        e->nFrameSerial = nextId;
        e->lpData = reinterpret_cast<uint8_t*>(e) + kHdr;
        e->nDataSize = s.n;
        for (uint32_t k = 0; k < s.n; ++k) {
            e->lpData[k] = static_cast<uint8_t>(nextId + k);
        }
        ring.Commit(e);
        sink.expected.push_back(nextId);
        ++nextId;
    }
    ring.Drain(&sink, 0);
    EXPECT_TRUE(ring.IsEmpty());
    EXPECT_TRUE(sink.expected.empty());
    EXPECT_EQ(sink.faults, "");
}

// Three 256-byte entries at 0, 256 and 512 leave the write position at 768.
const tagStep P0 = {'P', 128, 0, false};
const tagStep P256 = {'P', 128, 256, false};
const tagStep P512 = {'P', 128, 512, false};

const std::vector<tagRingCase>& Cases()
{
    static const std::vector<tagRingCase> cases = {
        {"entry ending exactly at the ring end stays at the write position",
         {P0, P256, P512, {'D', 2, 0, false}, {'P', 128, 768, false}, {'P', 0, 0, true},
          {'P', 0, 128, false}, {'P', 0, -1, false}}},
        {"one byte over the end goes to the ring start",
         {P0, P256, P512, {'D', 1, 0, false}, {'P', 129, 0, true}, {'P', 64, 320, false},
          {'P', 0, -1, false}}},
        {"no room at the end nor before the head: dropped, write position kept",
         {P0, P256, P512, {'D', 2, 0, false}, {'P', 200, -1, false}, {'P', 100, 768, false}}},
        {"wrapped unread entries are never overwritten",
         {P0, P256, P512, {'D', 1, 0, false}, {'P', 128, 768, false}, {'P', 128, 0, true},
          {'P', 300, -1, false}, {'P', 128, 256, false}, {'P', 0, -1, false}, {'D', 2, 0, false},
          {'P', 0, 512, false}}},
        {"entry ending exactly at the head fits, one byte more is dropped",
         {P0, P256, P512, {'D', 1, 0, false}, {'P', 129, 0, true}, {'P', 65, -1, false},
          {'P', 64, 320, false}}},
        {"larger than the ring is dropped even when empty", {{'P', kRing - kHdr + 1, -1, false},
                                                              {'P', kRing - kHdr, 0, false}}},
        {"empty ring with the write position near the end restarts at the ring start",
         {P0, P256, P512, {'D', 0, 0, false}, {'P', 300, 0, true}}},
    };
    return cases;
}

}  // namespace

TEST(RingBuffer, PlacementTable)
{
    for (const tagRingCase& c : Cases()) {
        RunSteps(c);
    }
}

TEST(RingBuffer, StartAndEntriesAreAligned)
{
    CRecordRingBuffer ring(kRing + 63);  // rounded down to the alignment
    EXPECT_EQ(ring.GetSize(), kRing);
    BOOL bWrapped = FALSE;
    tagMediaDataInfo* e = ring.Reserve(kHdr + 1, bWrapped);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(e) % 64, 0u);
    e->emAVType = AVDATA_TYPE_AUDIO;
    e->nDataSize = 1;
    ring.Commit(e);
    EXPECT_EQ(ring.GetFreeOffset(), 192u);  // 128 + 1 rounded up
    EXPECT_EQ(ring.GetCachedAudioFrame(), 1u);
    EXPECT_EQ(ring.GetCachedVideoFrame(), 0u);
}

// A drain stops after the video entry that brings the count to the limit;
// audio and image entries behind the last video entry stay.
TEST(RingBuffer, DrainCountsVideoEntriesOnly)
{
    CRecordRingBuffer ring(4096);
    struct CSink : CRecordPacketSink {
        std::string kinds;
        BOOL ProcessPacket(const tagMediaDataInfo* p) override
        {
            kinds += "AVI"[p->emAVType];
            return TRUE;
        }
    } sink;
    for (int kind : {AVDATA_TYPE_AUDIO, AVDATA_TYPE_VIDEO, AVDATA_TYPE_IMAGE, AVDATA_TYPE_AUDIO,
                     AVDATA_TYPE_VIDEO, AVDATA_TYPE_AUDIO}) {
        BOOL w = FALSE;
        tagMediaDataInfo* e = ring.Reserve(kHdr + 8, w);
        ASSERT_NE(e, nullptr);
        e->emAVType = kind;
        e->nDataSize = 8;
        ring.Commit(e);
    }
    EXPECT_FALSE(ring.Drain(&sink, 1));
    EXPECT_EQ(sink.kinds, "AV");
    EXPECT_FALSE(ring.Drain(&sink, 0));
    EXPECT_EQ(sink.kinds, "AVIAV");
    EXPECT_EQ(ring.GetCachedAudioFrame(), 1u);
    EXPECT_EQ(ring.GetCachedImageFrame(), 0u);
    // No video left: a further drain does nothing.
    EXPECT_FALSE(ring.Drain(&sink, 0));
    EXPECT_EQ(sink.kinds, "AVIAV");
}

// The engine may be re-entered from inside the sink (recursive lock): a nested
// drain does nothing, and a clear waits for the entry in hand.
TEST(RingBuffer, NestedDrainAndClearFromTheSink)
{
    CRecordRingBuffer ring(4096);
    struct CSink : CRecordPacketSink {
        CRecordRingBuffer* ring = nullptr;
        int calls = 0;
        BOOL ProcessPacket(const tagMediaDataInfo*) override
        {
            ++calls;
            EXPECT_FALSE(ring->Drain(this, 0));
            ring->Clear();
            return TRUE;
        }
    } sink;
    sink.ring = &ring;
    for (int i = 0; i < 3; ++i) {
        BOOL w = FALSE;
        tagMediaDataInfo* e = ring.Reserve(kHdr + 8, w);
        ASSERT_NE(e, nullptr);
        e->emAVType = AVDATA_TYPE_VIDEO;
        e->nDataSize = 8;
        ring.Commit(e);
    }
    ring.Drain(&sink, 0);
    EXPECT_EQ(sink.calls, 1);
    EXPECT_TRUE(ring.IsEmpty());
    EXPECT_EQ(ring.GetCachedVideoFrame(), 0u);
    EXPECT_EQ(ring.GetFreeOffset(), 0u);
}

// One entry at a time from the head, whatever its kind; the counts follow.
// Nothing while empty, without a sink or from inside a drain; a clear from
// the sink waits for the entry in hand.
TEST(RingBuffer, DrainOldestHandsOnTheHeadOnly)
{
    CRecordRingBuffer ring(4096);
    struct CSink : CRecordPacketSink {
        CRecordRingBuffer* ring = nullptr;
        std::string kinds;
        bool clear = false;
        BOOL ProcessPacket(const tagMediaDataInfo* p) override
        {
            kinds += "AVI"[p->emAVType];
            EXPECT_FALSE(ring->DrainOldest(this));
            EXPECT_FALSE(ring->Drain(this, 0));
            if (clear) {
                ring->Clear();
            }
            return TRUE;
        }
    } sink;
    sink.ring = &ring;
    EXPECT_FALSE(ring.DrainOldest(&sink));
    for (int kind : {AVDATA_TYPE_AUDIO, AVDATA_TYPE_VIDEO, AVDATA_TYPE_IMAGE, AVDATA_TYPE_VIDEO}) {
        BOOL w = FALSE;
        tagMediaDataInfo* e = ring.Reserve(kHdr + 8, w);
        ASSERT_NE(e, nullptr);
        e->emAVType = kind;
        e->nDataSize = 8;
        ring.Commit(e);
    }
    EXPECT_FALSE(ring.DrainOldest(nullptr));
    EXPECT_TRUE(ring.DrainOldest(&sink));
    EXPECT_EQ(sink.kinds, "A");
    EXPECT_EQ(ring.GetCachedAudioFrame(), 0u);
    EXPECT_EQ(ring.GetCachedVideoFrame(), 2u);
    EXPECT_TRUE(ring.DrainOldest(&sink));
    EXPECT_EQ(sink.kinds, "AV");
    EXPECT_EQ(ring.GetCachedVideoFrame(), 1u);
    EXPECT_EQ(ring.GetCachedImageFrame(), 1u);
    EXPECT_EQ(ring.OffsetOf(ring.GetHead()), 2 * (kHdr + 64));
    sink.clear = true;
    EXPECT_TRUE(ring.DrainOldest(&sink));
    EXPECT_EQ(sink.kinds, "AVI");
    EXPECT_TRUE(ring.IsEmpty());
    EXPECT_EQ(ring.GetCachedVideoFrame(), 0u);
    EXPECT_EQ(ring.GetFreeOffset(), 0u);
}
