#ifndef TESTS_AVCAPTURE_AACTESTSUPPORT_H
#define TESTS_AVCAPTURE_AACTESTSUPPORT_H

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <string>
#include <vector>

#include "AVCapture/AacEncoder.h"

inline AENC_ATTR_AAC_S XAacAttr(uint32_t type, uint32_t bitRate, uint32_t sampleRate, uint32_t soundMode,
                                uint32_t bitWidth = AUDIO_BIT_WIDTH_16)
{
    AENC_ATTR_AAC_S a;
    a.enAACType = static_cast<AAC_TYPE_E>(type);
    a.enBitRate = bitRate;
    a.enSmpRate = static_cast<AUDIO_SAMPLE_RATE_E>(sampleRate);
    a.enBitWidth = static_cast<AUDIO_BIT_WIDTH_E>(bitWidth);
    a.enSoundMode = static_cast<AUDIO_SOUND_MODE_E>(soundMode);
    return a;
}

// Death tests that need a process of their own (registrations are the
// process's): the child runs the test afresh, unless the environment asks for
// forked children (under an emulator), where each test is its own process anyway.
inline void XFreshProcessDeathTests()
{
    if (getenv("GTEST_DEATH_TEST_STYLE") == nullptr) {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
    }
}

// The adapter's lines with their source line numbers taken out.
inline std::string XWithoutLineNumbers(const std::string& text)
{
    const std::string key = "[Line]:";
    std::string out;
    size_t pos = 0;
    for (size_t at; (at = text.find(key, pos)) != std::string::npos;) {
        out.append(text, pos, at - pos).append(key).append("L");
        pos = at + key.size();
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
            pos++;
        }
    }
    return out.append(text, pos, std::string::npos);
}

// A tone of `hz` at -12 dBFS, `count` samples from sample `first`.
inline std::vector<int16_t> XTone(double hz, int sampleRate, size_t count, size_t first = 0)
{
    std::vector<int16_t> s(count);
    for (size_t i = 0; i < count; ++i) {
        s[i] = static_cast<int16_t>(std::lround(8192.0 * std::sin(2.0 * M_PI * hz * static_cast<double>(first + i) / sampleRate)));
    }
    return s;
}

// Frequency of a sine by its rising zero crossings.
inline double XToneFrequency(const std::vector<int16_t>& s, int sampleRate)
{
    size_t firstCross = 0, lastCross = 0, crossings = 0;
    for (size_t i = 1; i < s.size(); ++i) {
        if (s[i - 1] < 0 && s[i] >= 0) {
            if (crossings == 0) {
                firstCross = i;
            }
            lastCross = i;
            crossings++;
        }
    }
    if (crossings < 2) {
        return 0.0;
    }
    return static_cast<double>(crossings - 1) * sampleRate / static_cast<double>(lastCross - firstCross);
}

#endif
