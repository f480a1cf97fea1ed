#ifndef PLATFORM_HOST_AUDIO_MICSOURCE_H
#define PLATFORM_HOST_AUDIO_MICSOURCE_H

// The simulated microphone: a tone, silence or a WAV file looped, as the
// board file /standin/mic says; re-read when that file changes.

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

class CMicSource {
public:
    CMicSource();
    // Fills `count` samples at `sampleRate`, continuing where the last call ended.
    void Fill(int16_t* out, uint32_t count, uint32_t sampleRate);

private:
    void Reload();

    enum emKind { emKind_Tone, emKind_Silence, emKind_Wav };
    emKind m_emKind;
    double m_dToneHz;
    std::vector<int16_t> m_Wav;  // first channel of the file
    uint64_t m_nSample;          // samples made so far
    time_t m_tFileTime;
    long m_nFileTimeNs;
    off_t m_nFileSize;
    bool m_bFileSeen;
};

// The first channel of a 16-bit PCM WAV file; empty when it is none.
std::vector<int16_t> XReadWavFirstChannel(const std::string& path);

#endif
