#include "Record/RecordSpillFormat.h"

#include "Record/MP4/MP4JournalFormat.h"

namespace {

typedef tagRecordSpillLimits L;

const uint8_t kKnownFlags = RECORD_SPILL_RECORDING | RECORD_SPILL_START_NEXT | RECORD_SPILL_NEXT_ALARM |
                            RECORD_SPILL_HALTED | RECORD_SPILL_PARKING;

void XPutUnit(CMP4JournalBuffer& out, const void* data, size_t len)
{
    out.Put16(static_cast<uint16_t>(len));
    out.PutBytes(data, len);
}

}  // namespace

void XPutSpillState(CMP4JournalBuffer& out, const tagRecordSpillState& st)
{
    out.Put64(st.next);
    out.Put64(st.head);
    out.Put64(st.keep);
    out.Put8(st.flags);
    out.Put8(st.openType);
    out.Put16(st.resFlag);
    out.Put32(st.fps);
    out.Put32(st.timescale);
    out.Put32(st.width);
    out.Put32(st.height);
    out.Put32(st.thumbGranularity);
    out.Put64(st.openFirst);
    out.Put32(st.openTriggers);
    XPutUnit(out, st.openName.data(), st.openName.size());
    XPutUnit(out, st.sps.data(), st.sps.size());
    XPutUnit(out, st.pps.data(), st.pps.size());
    const size_t triggers = st.triggers.size() < L::kMaxTriggers ? st.triggers.size() : L::kMaxTriggers;
    out.Put8(static_cast<uint8_t>(triggers));
    for (size_t i = 0; i < triggers; ++i) {
        out.Put32(st.triggers[i].trigger);
        out.Put32(static_cast<uint32_t>(st.triggers[i].lefttime));
    }
    size_t snapshots = st.snapshots.size() / L::kSnapshotBytes;
    if (snapshots > L::kMaxSnapshots) {
        snapshots = L::kMaxSnapshots;
    }
    out.Put16(static_cast<uint16_t>(snapshots));
    out.PutBytes(st.snapshots.data(), snapshots * L::kSnapshotBytes);
}

BOOL XParseSpillState(const uint8_t* payload, size_t len, tagRecordSpillState& st)
{
    st = tagRecordSpillState();
    CMP4PayloadReader p(payload, len);
    if (!p.Has(8 * 3 + 4 + 4 * 5 + 8 + 4)) {
        return 0;
    }
    st.next = p.Get64();
    st.head = p.Get64();
    st.keep = p.Get64();
    st.flags = p.Get8();
    st.openType = p.Get8();
    st.resFlag = p.Get16();
    st.fps = p.Get32();
    st.timescale = p.Get32();
    st.width = p.Get32();
    st.height = p.Get32();
    st.thumbGranularity = p.Get32();
    st.openFirst = p.Get64();
    st.openTriggers = p.Get32();
    std::vector<uint8_t> name;
    if ((st.flags & ~kKnownFlags) != 0 || st.openType > 1 || (st.resFlag != 720 && st.resFlag != 1080) ||
        st.head > st.next || st.keep > st.next || st.fps == 0 || st.fps > 240 || st.timescale == 0 ||
        st.width == 0 || st.width > 8192 || st.height == 0 || st.height > 8192 || !p.GetUnit(0, 255, name) ||
        !p.GetUnit(0, 128, st.sps) || !p.GetUnit(0, 128, st.pps) || !p.Has(1)) {
        return 0;
    }
    for (uint8_t c : name) {
        if (c == 0 || c == '/') {
            return 0;
        }
    }
    st.openName.assign(name.begin(), name.end());
    const unsigned triggers = p.Get8();
    if (triggers > L::kMaxTriggers || !p.Has(static_cast<size_t>(triggers) * 8 + 2)) {
        return 0;
    }
    for (unsigned i = 0; i < triggers; ++i) {
        tagRecordSpillTrigger t;
        t.trigger = p.Get32();
        t.lefttime = static_cast<int32_t>(p.Get32());
        st.triggers.push_back(t);
    }
    const unsigned snapshots = p.Get16();
    if (snapshots > L::kMaxSnapshots || p.Left() != static_cast<size_t>(snapshots) * L::kSnapshotBytes) {
        return 0;
    }
    const uint8_t* s = p.Take(p.Left());
    st.snapshots.assign(s, s + static_cast<size_t>(snapshots) * L::kSnapshotBytes);
    return 1;
}
