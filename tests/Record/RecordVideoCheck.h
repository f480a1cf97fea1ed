#ifndef TESTS_RECORD_RECORDVIDEOCHECK_H
#define TESTS_RECORD_RECORDVIDEOCHECK_H

// A recorded video read back by independent tools: ffprobe's count of its
// video packets, and what a full ffmpeg decode complains about.

#include <string>

#include "support/TestBoard.h"

// Video packets of the file, -1 when ffprobe cannot read it.
inline int XRecProbeFrames(const std::string& path)
{
    const std::string out = XTestRun("ffprobe -v error -count_packets -select_streams v:0 -show_entries "
                                     "stream=nb_read_packets -of csv=p=0 '" + path + "'");
    return out.empty() ? -1 : std::stoi(out);
}

// ffmpeg's messages while decoding the whole file; empty when it decodes cleanly.
inline std::string XRecDecodeErrors(const std::string& path)
{
    return XTestRun("ffmpeg -nostdin -v error -i '" + path + "' -f null - 2>&1");
}

#endif
