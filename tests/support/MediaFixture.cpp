#include "support/MediaFixture.h"

#include <cmath>
#include <cstring>

#include "Platform/host/media/codec/X264Encoder.h"

#include <fdk-aac/aacenc_lib.h>

// ---- video ----

struct CFixtureH264Encoder::tagImpl {
    std::unique_ptr<CX264Encoder> enc;
    int64_t next = 0;
    uint32_t noise = 12345;
};

CFixtureH264Encoder::CFixtureH264Encoder(const tagFixtureVideoConfig& config) : m_Config(config), m_lpImpl(new tagImpl)
{
    tagX264Config x;
    x.width = config.width;
    x.height = config.height;
    x.fps = config.fps;
    x.gop = config.gop;
    x.rcMode = 0;
    x.bitrateKbps = config.bitrateKbps;
    x.profile = config.profile;
    x.preset = config.preset;
    x.bDeviceNalRefIdc = config.bDeviceNalRefIdc;
    x.bKeepSei = TRUE;
    m_lpImpl->enc.reset(new CX264Encoder(x));
}

CFixtureH264Encoder::~CFixtureH264Encoder()
{
}

BOOL CFixtureH264Encoder::IsOpen() const
{
    return m_lpImpl->enc->IsOpen();
}

BOOL CFixtureH264Encoder::EncodeFrame(tagFixtureVideoFrame* frame)
{
    if (!m_lpImpl->enc->IsOpen() || frame == nullptr) {
        return 0;
    }
    tagImpl& im = *m_lpImpl;
    CX264Encoder& enc = *im.enc;
    const int w = m_Config.width;
    const int h = m_Config.height;
    const int t = static_cast<int>(im.next);
    // Luma: a gradient moving right with a little noise, so P-frames carry data.
    uint8_t* y = enc.Plane(0);
    for (int row = 0; row < h; ++row) {
        uint8_t* line = y + row * enc.Stride(0);
        for (int col = 0; col < w; ++col) {
            im.noise = im.noise * 1103515245u + 12345u;
            line[col] = static_cast<uint8_t>(((col + 4 * t) ^ (row + t)) + ((im.noise >> 16) & 0x0F));
        }
    }
    for (int plane = 1; plane < 3; ++plane) {
        for (int row = 0; row < h / 2; ++row) {
            uint8_t* line = enc.Plane(plane) + row * enc.Stride(plane);
            for (int col = 0; col < w / 2; ++col) {
                line[col] = static_cast<uint8_t>(128 + ((col + row + 2 * t * plane) & 0x1F));
            }
        }
    }
    BOOL idr = FALSE;
    if (!enc.Encode(FALSE, &frame->packs, &idr)) {
        return 0;
    }
    frame->bIDR = idr;
    frame->nFrameIndex = im.next;
    im.next++;
    return 1;
}

// ---- audio ----

struct CFixtureAACEncoder::tagImpl {
    HANDLE_AACENCODER enc = nullptr;
    int frameLength = 1024;
    int64_t sample = 0;
};

CFixtureAACEncoder::CFixtureAACEncoder(const tagFixtureAudioConfig& config) : m_Config(config), m_lpImpl(new tagImpl)
{
    HANDLE_AACENCODER h = nullptr;
    if (aacEncOpen(&h, 0, static_cast<UINT>(config.channels)) != AACENC_OK) {
        return;
    }
    CHANNEL_MODE mode = config.channels == 1 ? MODE_1 : MODE_2;
    if (aacEncoder_SetParam(h, AACENC_AOT, AOT_AAC_LC) != AACENC_OK ||
        aacEncoder_SetParam(h, AACENC_SAMPLERATE, static_cast<UINT>(config.sampleRate)) != AACENC_OK ||
        aacEncoder_SetParam(h, AACENC_CHANNELMODE, mode) != AACENC_OK ||
        aacEncoder_SetParam(h, AACENC_BITRATE, static_cast<UINT>(config.bitrate)) != AACENC_OK ||
        aacEncoder_SetParam(h, AACENC_TRANSMUX, TT_MP4_ADTS) != AACENC_OK ||
        aacEncEncode(h, nullptr, nullptr, nullptr, nullptr) != AACENC_OK) {
        aacEncClose(&h);
        return;
    }
    AACENC_InfoStruct info;
    memset(&info, 0, sizeof(info));
    if (aacEncInfo(h, &info) != AACENC_OK) {
        aacEncClose(&h);
        return;
    }
    m_lpImpl->frameLength = static_cast<int>(info.frameLength);
    m_ASC.assign(info.confBuf, info.confBuf + info.confSize);
    m_lpImpl->enc = h;
}

CFixtureAACEncoder::~CFixtureAACEncoder()
{
    if (m_lpImpl->enc != nullptr) {
        aacEncClose(&m_lpImpl->enc);
    }
}

BOOL CFixtureAACEncoder::IsOpen() const
{
    return m_lpImpl->enc != nullptr;
}

BOOL CFixtureAACEncoder::EncodeFrame(std::vector<uint8_t>* adts)
{
    if (m_lpImpl->enc == nullptr || adts == nullptr) {
        return 0;
    }
    tagImpl& im = *m_lpImpl;
    const int channels = m_Config.channels;
    std::vector<INT_PCM> pcm(static_cast<size_t>(im.frameLength * channels));
    std::vector<uint8_t> out(8192);
    // The encoder holds back its first frames (delay): feed until one comes out.
    for (int attempt = 0; attempt < 8; ++attempt) {
        for (int i = 0; i < im.frameLength; ++i) {
            double v = 0.0;
            if (m_Config.toneHz > 0.0) {
                v = 0.3 * std::sin(2.0 * M_PI * m_Config.toneHz * static_cast<double>(im.sample) / m_Config.sampleRate);
            }
            for (int c = 0; c < channels; ++c) {
                pcm[static_cast<size_t>(i * channels + c)] = static_cast<INT_PCM>(v * 32767.0);
            }
            im.sample++;
        }
        void* inPtr = pcm.data();
        INT inId = IN_AUDIO_DATA;
        INT inSize = static_cast<INT>(pcm.size() * sizeof(INT_PCM));
        INT inElSize = static_cast<INT>(sizeof(INT_PCM));
        AACENC_BufDesc inBuf;
        memset(&inBuf, 0, sizeof(inBuf));
        inBuf.numBufs = 1;
        inBuf.bufs = &inPtr;
        inBuf.bufferIdentifiers = &inId;
        inBuf.bufSizes = &inSize;
        inBuf.bufElSizes = &inElSize;

        void* outPtr = out.data();
        INT outId = OUT_BITSTREAM_DATA;
        INT outSize = static_cast<INT>(out.size());
        INT outElSize = 1;
        AACENC_BufDesc outBuf;
        memset(&outBuf, 0, sizeof(outBuf));
        outBuf.numBufs = 1;
        outBuf.bufs = &outPtr;
        outBuf.bufferIdentifiers = &outId;
        outBuf.bufSizes = &outSize;
        outBuf.bufElSizes = &outElSize;

        AACENC_InArgs inArgs;
        memset(&inArgs, 0, sizeof(inArgs));
        inArgs.numInSamples = static_cast<INT>(pcm.size());
        AACENC_OutArgs outArgs;
        memset(&outArgs, 0, sizeof(outArgs));
        if (aacEncEncode(im.enc, &inBuf, &outBuf, &inArgs, &outArgs) != AACENC_OK) {
            return 0;
        }
        if (outArgs.numOutBytes > 0) {
            adts->assign(out.begin(), out.begin() + outArgs.numOutBytes);
            return 1;
        }
    }
    return 0;
}

// ---- helpers ----

int XFixtureNalType(const std::vector<uint8_t>& pack)
{
    return pack.size() > 4 ? (pack[4] & 0x1F) : -1;
}

size_t XFixtureAdtsHeaderSize(const std::vector<uint8_t>& adts)
{
    if (adts.size() < 7 || adts[0] != 0xFF || (adts[1] & 0xF0) != 0xF0) {
        return 0;
    }
    return (adts[1] & 0x01) ? 7 : 9;
}
