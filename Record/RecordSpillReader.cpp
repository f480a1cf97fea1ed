#include "Record/RecordSpillReader.h"

#include <algorithm>
#include <cstring>

#include "Record/MP4/MP4JournalFormat.h"

namespace {

typedef tagRecordSpillLimits L;

struct tagSpillRecord {
    uint32_t seq;
    tagRecordSpillPacket packet;
};

// The good records of one file, up to the first that is not; the problem
// of that one, if any, in `problem`.
void XReadFile(const std::vector<uint8_t>& bytes, std::vector<tagSpillRecord>& packets, BOOL& bState,
               uint32_t& stateSeq, tagRecordSpillState& state, uint32_t& records, std::string& problem)
{
    const size_t len = bytes.size() < L::kMaxFileBytes ? bytes.size() : L::kMaxFileBytes;
    if (len == 0) {
        return;
    }
    const uint8_t* data = bytes.data();
    if (len < tagMP4JournalLimits::kHeadBytes || memcmp(data, RECORD_SPILL_MAGIC, 6) != 0 ||
        XGetBE16(data + 6) != RECORD_SPILL_VERSION) {
        problem = "not a spill file";
        return;
    }
    size_t at = tagMP4JournalLimits::kHeadBytes;
    uint32_t n = 0;
    uint32_t expect = 0;
    while (at < len) {
        tagMP4JournalRecordView rec;
        if (!XMP4ReadJournalRecord(data, len, at, n, L::kMaxPayload, rec, problem)) {
            return;
        }
        if (n > 0 && rec.seq != expect) {
            problem = "record " + std::to_string(n) + " out of sequence";
            return;
        }
        if (rec.type == emRecordSpillRecord_Packet) {
            CMP4PayloadReader p(rec.payload, rec.length);
            if (!p.Has(L::kPacketHeadBytes)) {
                problem = "packet record too short";
                return;
            }
            tagSpillRecord r;
            r.seq = rec.seq;
            r.packet.seq = p.Get64();
            r.packet.kind = p.Get8();
            r.packet.flags = p.Get8();
            const uint16_t zero = p.Get16();
            r.packet.serial = p.Get32();
            r.packet.pts = p.Get64();
            r.packet.width = p.Get16();
            r.packet.height = p.Get16();
            r.packet.size = static_cast<uint32_t>(p.Left());
            r.packet.data = p.Take(p.Left());
            if (zero != 0 || r.packet.kind > emRecordSpillKind_Image || (r.packet.flags & ~RECORD_SPILL_FLAG_KEY) ||
                r.packet.seq == 0 || r.packet.size == 0) {
                problem = "packet record out of range";
                return;
            }
            packets.push_back(r);
        } else if (rec.type == emRecordSpillRecord_State) {
            tagRecordSpillState st;
            if (!XParseSpillState(rec.payload, rec.length, st)) {
                problem = "state record out of range";
                return;
            }
            if (!bState || static_cast<int32_t>(rec.seq - stateSeq) > 0) {
                state = st;
                stateSeq = rec.seq;
                bState = TRUE;
            }
        } else {
            problem = "record of unknown type " + std::to_string(rec.type);
            return;
        }
        ++records;
        ++n;
        expect = rec.seq + 1;
        at = rec.next;
    }
}

}  // namespace

BOOL CRecordSpillReader::Parse(const std::vector<uint8_t>* const files[2], tagRecordSpillContent& c)
{
    c = tagRecordSpillContent();
    std::vector<tagSpillRecord> packets;
    BOOL bState = FALSE;
    uint32_t stateSeq = 0;
    for (int i = 0; i < 2; ++i) {
        std::string problem;
        if (files[i] != nullptr) {
            XReadFile(*files[i], packets, bState, stateSeq, c.state, c.records, problem);
        }
        if (!problem.empty()) {
            c.problem += (c.problem.empty() ? "" : "; ") + std::string(i == 0 ? "first" : "second") + " file: " + problem;
        }
    }
    if (!bState) {
        if (c.problem.empty()) {
            c.problem = "no whole flush";
        }
        return 0;
    }
    const tagRecordSpillState& st = c.state;
    // Packets of a flush whose state is missing were cut off with it, and
    // packets the state does not count disagree with it.
    packets.erase(std::remove_if(packets.begin(), packets.end(),
                                 [&](const tagSpillRecord& r) {
                                     return static_cast<int32_t>(r.seq - stateSeq) > 0 || r.packet.seq < st.keep ||
                                            r.packet.seq >= st.next;
                                 }),
                  packets.end());
    std::sort(packets.begin(), packets.end(),
              [](const tagSpillRecord& a, const tagSpillRecord& b) { return a.packet.seq < b.packet.seq; });
    for (const tagSpillRecord& r : packets) {
        if (!c.packets.empty() && r.packet.seq == c.packets.back().seq) {
            continue;
        }
        if (!c.packets.empty() ? r.packet.seq != c.packets.back().seq + 1 : r.packet.seq != st.keep) {
            const uint64_t want = c.packets.empty() ? st.keep : c.packets.back().seq + 1;
            c.problem += (c.problem.empty() ? "" : "; ") + std::string("packet ") + std::to_string(want) +
                         " missing, the rest left out";
            break;
        }
        c.packets.push_back(r.packet);
    }
    return 1;
}
