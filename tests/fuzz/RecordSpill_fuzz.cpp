// Fuzzes the spilled-cache reader. The first 4 bytes (big-endian) are the
// length of the first spill file, then come its bytes, the rest is the
// second file. Whatever it reads, the packets kept must lie inside the
// files' bytes, numbered without a gap from the state's oldest needed packet
// and before its next one, and the state must hold what a writer could write.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "Function/ByteOrder.h"
#include "Record/RecordSpillReader.h"
#include "FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4) {
        return 0;
    }
    size_t first = XGetBE32(data);
    if (first > size - 4) {
        first = size - 4;
    }
    const std::vector<uint8_t> a(data + 4, data + 4 + first);
    const std::vector<uint8_t> b(data + 4 + first, data + size);
    const std::vector<uint8_t>* const files[2] = {&a, &b};
    tagRecordSpillContent c;
    if (!CRecordSpillReader::Parse(files, c)) {
        CHECK(c.packets.empty());
        CHECK(!c.problem.empty());
        return 0;
    }
    const tagRecordSpillState& st = c.state;
    CHECK(st.keep <= st.next && st.head <= st.next);
    CHECK(st.fps >= 1 && st.fps <= 240);
    CHECK(st.sps.size() <= 128 && st.pps.size() <= 128);
    CHECK(st.snapshots.size() % tagRecordSpillLimits::kSnapshotBytes == 0);
    CHECK(st.triggers.size() <= tagRecordSpillLimits::kMaxTriggers);
    uint64_t expect = st.keep;
    for (const tagRecordSpillPacket& p : c.packets) {
        CHECK(p.seq == expect && p.seq < st.next);
        ++expect;
        CHECK(p.kind <= emRecordSpillKind_Image && p.size > 0);
        const bool inA = !a.empty() && p.data >= a.data() && p.data + p.size <= a.data() + a.size();
        const bool inB = !b.empty() && p.data >= b.data() && p.data + p.size <= b.data() + b.size();
        CHECK(inA || inB);
    }
    return 0;
}
