#include "Platform/host/audio/MicSource.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <cmath>

#include "Function/ByteOrder.h"
#include "Platform/BoardRoot.h"

namespace {

const double kDefaultToneHz = 1000.0;
// -12 dBFS
const double kToneAmplitude = 32767.0 * 0.25118864315095801;

}  // namespace

std::vector<int16_t> XReadWavFirstChannel(const std::string& path)
{
    std::vector<int16_t> out;
    FILE* f = fopen(path.c_str(), "rb");
    if (f == nullptr) {
        return out;
    }
    std::vector<uint8_t> data;
    uint8_t buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), f)) > 0 && data.size() < (64u << 20)) {
        data.insert(data.end(), buf, buf + n);
    }
    fclose(f);
    if (data.size() < 12 || memcmp(data.data(), "RIFF", 4) != 0 || memcmp(data.data() + 8, "WAVE", 4) != 0) {
        return out;
    }
    uint16_t channels = 0, bits = 0, format = 0;
    size_t pos = 12;
    while (pos + 8 <= data.size()) {
        const uint32_t size = XGetLE32(&data[pos + 4]);
        const size_t body = pos + 8;
        const size_t avail = data.size() - body;
        const size_t len = size < avail ? size : avail;
        if (memcmp(&data[pos], "fmt ", 4) == 0 && len >= 16) {
            format = XGetLE16(&data[body]);
            channels = XGetLE16(&data[body + 2]);
            bits = XGetLE16(&data[body + 14]);
        } else if (memcmp(&data[pos], "data", 4) == 0) {
            if (format != 1 || bits != 16 || channels == 0) {
                return out;
            }
            const size_t frame = 2u * channels;
            for (size_t i = 0; i + frame <= len; i += frame) {
                out.push_back(static_cast<int16_t>(XGetLE16(&data[body + i])));
            }
            return out;
        }
        pos = body + len + (len & 1);
    }
    return out;
}

CMicSource::CMicSource()
    : m_emKind(emKind_Tone), m_dToneHz(kDefaultToneHz), m_nSample(0), m_tFileTime(0), m_nFileTimeNs(0),
      m_nFileSize(-1), m_bFileSeen(false)
{
}

void CMicSource::Reload()
{
    const std::string path = XBoardPath("/standin/mic");
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        if (m_bFileSeen) {
            m_bFileSeen = false;
            m_emKind = emKind_Tone;
            m_dToneHz = kDefaultToneHz;
        }
        return;
    }
    if (m_bFileSeen && st.st_mtim.tv_sec == m_tFileTime && st.st_mtim.tv_nsec == m_nFileTimeNs &&
        st.st_size == m_nFileSize) {
        return;
    }
    m_bFileSeen = true;
    m_tFileTime = st.st_mtim.tv_sec;
    m_nFileTimeNs = st.st_mtim.tv_nsec;
    m_nFileSize = st.st_size;
    char line[4096] = "";
    FILE* f = fopen(path.c_str(), "r");
    if (f != nullptr) {
        if (fgets(line, sizeof(line), f) == nullptr) {
            line[0] = '\0';
        }
        fclose(f);
    }
    line[strcspn(line, "\r\n")] = '\0';
    m_emKind = emKind_Tone;
    m_dToneHz = kDefaultToneHz;
    if (strncmp(line, "tone ", 5) == 0) {
        double hz = atof(line + 5);
        if (hz > 0.0) {
            m_dToneHz = hz;
        }
    } else if (strcmp(line, "silence") == 0) {
        m_emKind = emKind_Silence;
    } else if (strncmp(line, "file ", 5) == 0) {
        m_Wav = XReadWavFirstChannel(line + 5);
        m_emKind = m_Wav.empty() ? emKind_Silence : emKind_Wav;
    }
}

void CMicSource::Fill(int16_t* out, uint32_t count, uint32_t sampleRate)
{
    Reload();
    for (uint32_t i = 0; i < count; ++i, ++m_nSample) {
        switch (m_emKind) {
        case emKind_Tone: {
            const double phase = std::fmod(m_dToneHz * static_cast<double>(m_nSample) / sampleRate, 1.0);
            out[i] = static_cast<int16_t>(std::lround(kToneAmplitude * std::sin(2.0 * M_PI * phase)));
            break;
        }
        case emKind_Silence:
            out[i] = 0;
            break;
        case emKind_Wav:
            out[i] = m_Wav[m_nSample % m_Wav.size()];
            break;
        }
    }
}
