#ifndef PLATFORM_MEDIASIM_H
#define PLATFORM_MEDIASIM_H

// Observation and injection of the simulated media layer (simulated board
// only; the camera's build has none of these). Safe from any thread.

#include <cstdint>
#include <string>

#include "Platform/MpiTypes.h"

// The next `times` calls (-1: every call) of the media function `func` (its
// full name, "HI_MPI_VENC_CreateChn") on channel `chn` (-1: whatever the
// channel) return `code` and do nothing else. A later setting for the same
// function and channel replaces the earlier one.
void XMediaSimFail(const char* func, HI_S32 code, int chn = -1, int times = -1);
void XMediaSimClearFaults();

// Every module back to its power-on state: encoders destroyed, group gone,
// input and ISP stopped, binds dropped, pools and system down, faults cleared,
// the picture source back to its own clock. Encoder descriptors stay.
void XMediaSimReset();

// Manual picture source: with `manual` set the source stops making pictures
// on its own clock, and XMediaSimPump makes them.
void XMediaSimSetManual(BOOL manual);
// Makes `count` pictures now (at the source's rate in time stamps) and waits
// until every encoder has dealt with them. Returns the pictures made while
// the chain was live (0 when it is not).
int XMediaSimPump(int count);
// Encoder channel `chn` takes no picture for the next `ms` milliseconds:
// pictures that arrive meanwhile are dropped and counted.
void XMediaSimStall(int chn, int ms);
// The next stream of channel `chn` gets a filler-data unit of `bytes` bytes
// (a frame too large for a reader's buffer).
void XMediaSimVencPadNext(int chn, size_t bytes);
// Queues a stream of one SEI unit on channel `chn` now; FALSE when the
// channel is missing or its queue full.
BOOL XMediaSimVencQueueSei(int chn);

// Channels created from now on deliver placeholder packs (start codes, NAL
// types by GOP position, JPEG SOI..EOI) even where the codec libraries are
// built in; FALSE goes back to the real encoders. Without the libraries (the
// cross build) every channel delivers placeholders. Reset keeps the choice.
void XMediaSimUsePlaceholders(BOOL placeholders);

// Dumps of every stream made from now on under the board: DIR/log/venc<k>.h264
// for H.264 channels, DIR/log/venc<k>/NNNNNN.jpg (the channel's picture
// number) for JPEG channels, each begun afresh when the channel is created.
// Nothing without a board folder.
void XMediaSimSetDump(BOOL dump);

// The picture chain is live: ISP running, input device and channel 0
// enabled and bound to the started group 0.
BOOL XMediaSimChainLive();
// Pictures the source made while live, from the last reset.
uint64_t XMediaSimPictures();

// Counters and state of one encoder channel.
struct tagMediaSimVenc {
    BOOL bCreated;
    BOOL bReceiving;
    int32_t s32RecvLeft;       // pictures still asked for by StartRecvPicEx, -1 unlimited
    uint32_t u32Width;
    uint32_t u32Height;
    uint64_t u64Encoded;       // streams made
    uint64_t u64Dropped;       // pictures or streams lost to a full queue or a stall
    uint64_t u64Got;           // streams taken by GetStream
    uint64_t u64Released;      // streams given back
    uint32_t u32Queued;        // streams waiting
    uint32_t u32Held;          // streams taken and not given back
    int nFd;                   // its descriptor, -1 before the first creation
};
typedef tagMediaSimVenc MediaSimVenc;
BOOL XMediaSimVencInfo(int chn, tagMediaSimVenc* info);

// Scheduling of the last thread seen calling `what` ("HI_MPI_ISP_Run",
// "HI_MPI_VENC_GetStream/0", ...); FALSE when none was seen.
BOOL XMediaSimCaller(const std::string& what, int* policy, int* priority);

// The whole state as one JSON object (graph, attributes, counters).
std::string XMediaSimStateJson();

#endif
