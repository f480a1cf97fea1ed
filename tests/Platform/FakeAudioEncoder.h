#ifndef TESTS_PLATFORM_FAKEAUDIOENCODER_H
#define TESTS_PLATFORM_FAKEAUDIOENCODER_H

// An encoder of the tests' own for the encoder channel rules: each frame
// becomes its 4-byte sequence number.

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>

#include "Platform/Aenc.h"
#include "Platform/AudioSim.h"

namespace {

std::atomic<int> g_nOpens{0};
std::atomic<int> g_nCloses{0};
std::atomic<int> g_nOpenResult{0};

inline HI_S32 FakeOpen(void* attr, void** enc)
{
    g_nOpens++;
    if (g_nOpenResult != 0) {
        return g_nOpenResult;
    }
    *enc = attr;
    return 0;
}

inline HI_S32 FakeEncode(void*, const AUDIO_FRAME_S* frame, uint8_t* out, uint32_t* len)
{
    memcpy(out, &frame->u32Seq, 4);
    *len = 4;
    return 0;
}

inline HI_S32 FakeClose(void*)
{
    g_nCloses++;
    return 0;
}

const uint32_t kFakeType = 99;

// Registers the encoder for `type` unless that type has one.
inline void RegisterFake(uint32_t type = kFakeType)
{
    for (const AencRegistration& r : XAencRegistrations()) {
        if (r.type == type) {
            return;
        }
    }
    AENC_ENCODER_S e = {};
    e.enType = type;
    e.u32MaxFrmLen = 16;
    strcpy(e.aszName, "Fake");
    e.pfnOpenEncoder = FakeOpen;
    e.pfnEncodeFrm = FakeEncode;
    e.pfnCloseEncoder = FakeClose;
    HI_S32 handle = -1;
    ASSERT_EQ(HI_MPI_AENC_RegisterEncoder(&handle, &e), 0);
}

inline AENC_CHN_ATTR_S FakeChn(uint32_t bufSize)
{
    static int attr = 0;
    AENC_CHN_ATTR_S a = {};
    a.enType = static_cast<PAYLOAD_TYPE_E>(kFakeType);
    a.u32BufSize = bufSize;
    a.u32PtNumPerFrm = 80;
    a.pValue = &attr;
    return a;
}

}  // namespace

#endif
