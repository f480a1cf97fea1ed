#ifndef RECORD_RECORDSPILLFORMAT_H
#define RECORD_RECORDSPILLFORMAT_H

// The packet cache spilled to the card: what the engine holds in RAM and has
// not written to the open file yet, put on the card by its flusher once a
// period, so that the card scan can finish a file cut off by a power loss
// with those packets too, and begin the alarm file an alarm had asked for.
//
// Two files per card, DCIM/.cache0.spl and DCIM/.cache1.spl, written in
// turn: the flusher appends to one until it holds kRotateBytes and nothing
// the other holds is needed any more, then empties the other and goes on
// there. Each is a head and records framed as in the recovery journal
// (MP4JournalFormat.h), every integer big-endian:
//   file head   8 bytes: "RECSPL", version (16)
//   records     payload length (32), type (8), 3 zero bytes, sequence
//               number (32, running on across both files), payload, CRC-32.
// A record that is cut, fails its CRC or breaks the sequence ends its file.
//
// Record payloads:
//   packet  cache number (64), kind (8: 0 video, 1 audio, 2 JPEG), flags
//           (8: 1 key frame), 2 zero bytes, stream serial (32), encoder
//           time stamp in microseconds (64), picture width and height (16
//           each), then the payload as cached
//   state   written last in every flush: the engine at the moment its
//           packets were taken (tagRecordSpillState, in field order):
//           next (64), head (64), keep (64), flags (8), open file type (8),
//           resolution flag (16), frame rate, timescale, width, height,
//           thumbnail granularity (32 each), first packet of the open file
//           (64), its trigger mask (32), its name (16 + bare name), SPS and
//           PPS (16 + bytes each), pending triggers (8 count, then trigger
//           and left frames, 32 each), pending snapshot records (16 count,
//           then 73 bytes each as in the skip box)

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Function/types.h"

#define RECORD_SPILL_MAGIC "RECSPL"
#define RECORD_SPILL_VERSION 1
// Beside the card's folders, hidden from every list.
#define RECORD_SPILL_NAME0 "DCIM/.cache0.spl"
#define RECORD_SPILL_NAME1 "DCIM/.cache1.spl"

enum emRecordSpillRecord {
    emRecordSpillRecord_Packet = 1,
    emRecordSpillRecord_State = 2,
};

enum emRecordSpillKind {
    emRecordSpillKind_Video = 0,
    emRecordSpillKind_Audio = 1,
    emRecordSpillKind_Image = 2,
};

#define RECORD_SPILL_FLAG_KEY 0x01

// State flags.
#define RECORD_SPILL_RECORDING 0x01   // a file is open
#define RECORD_SPILL_START_NEXT 0x02  // the next I-frame opens a file
#define RECORD_SPILL_NEXT_ALARM 0x04  // ... an alarm file
#define RECORD_SPILL_HALTED 0x08      // paused or stopped
#define RECORD_SPILL_PARKING 0x10     // packets bypass the cache

struct tagRecordSpillLimits {
    static constexpr size_t kPacketHeadBytes = 28;
    static constexpr size_t kSnapshotBytes = 73;
    // Largest record read back (a packet of the cache at most).
    static constexpr uint32_t kMaxPayload = 16u << 20;
    // Largest spill file read back.
    static constexpr size_t kMaxFileBytes = 64u << 20;
    static constexpr unsigned kMaxTriggers = 32;
    static constexpr unsigned kMaxSnapshots = 256;
};

// A pending trigger: what the alarm file it opens is armed with.
struct tagRecordSpillTrigger {
    uint32_t trigger;  // emRecordTriggerType
    int32_t lefttime;  // video frames
};

struct tagRecordSpillState {
    uint64_t next = 0;  // number of the next packet to come (every one before it was taken)
    uint64_t head = 0;  // the oldest packet not handed to the writer yet
    uint64_t keep = 0;  // the oldest packet recovery may need
    uint8_t flags = 0;
    uint8_t openType = 0;  // emRecordFileType of the open file
    uint16_t resFlag = 1080;
    uint32_t fps = 0;
    uint32_t timescale = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t thumbGranularity = 0;
    uint64_t openFirst = 0;     // number of the open file's first packet
    uint32_t openTriggers = 0;  // the open alarm file's trigger mask
    std::string openName;       // bare recording name of the open file
    std::vector<uint8_t> sps;
    std::vector<uint8_t> pps;
    std::vector<tagRecordSpillTrigger> triggers;
    std::vector<uint8_t> snapshots;  // records of 73 bytes
};

// One packet as spilled.
struct tagRecordSpillPacket {
    uint64_t seq;
    uint8_t kind;  // emRecordSpillKind
    uint8_t flags;
    uint32_t serial;
    uint64_t pts;
    uint16_t width;
    uint16_t height;
    const uint8_t* data;  // into the bytes read
    uint32_t size;
};

class CMP4JournalBuffer;

// The state record's payload.
void XPutSpillState(CMP4JournalBuffer& out, const tagRecordSpillState& state);
// 0 when `payload` is not one whole state record within the limits.
BOOL XParseSpillState(const uint8_t* payload, size_t len, tagRecordSpillState& state);

#endif
