// Placeholder packs: the shape of the real streams without a codec library.
// H.264: a valid SPS for the size and rate, a PPS, then one slice (IDR 0x65
// or P 0x61) carrying the picture number. JPEG: SOI (COM) APP0 DQT SOF0 DHT
// SOS headers, a run of entropy bytes, EOI.

#include <cstring>

#include "Platform/host/media/VencCoder.h"

namespace {

class CBitWriter {
public:
    void Bit(uint32_t b)
    {
        m_Cur = static_cast<uint8_t>((m_Cur << 1) | (b & 1));
        if (++m_nBits == 8) {
            m_Bytes.push_back(m_Cur);
            m_Cur = 0;
            m_nBits = 0;
        }
    }
    void Bits(uint32_t v, int n)
    {
        for (int i = n - 1; i >= 0; --i) {
            Bit((v >> i) & 1);
        }
    }
    void Ue(uint32_t v)
    {
        const uint64_t x = static_cast<uint64_t>(v) + 1;
        int len = 0;
        while ((x >> len) > 1) {
            ++len;
        }
        Bits(0, len);
        for (int i = len; i >= 0; --i) {
            Bit(static_cast<uint32_t>((x >> i) & 1));
        }
    }
    void Trailing()
    {
        Bit(1);
        while (m_nBits != 0) {
            Bit(0);
        }
    }
    const std::vector<uint8_t>& Bytes() const { return m_Bytes; }

private:
    std::vector<uint8_t> m_Bytes;
    uint8_t m_Cur = 0;
    int m_nBits = 0;
};

// Start code, header byte, payload with emulation prevention.
std::vector<uint8_t> Nal(uint8_t header, const std::vector<uint8_t>& rbsp)
{
    std::vector<uint8_t> out = {0, 0, 0, 1, header};
    int zeros = 0;
    for (uint8_t b : rbsp) {
        if (zeros >= 2 && b <= 3) {
            out.push_back(3);
            zeros = 0;
        }
        out.push_back(b);
        zeros = b == 0 ? zeros + 1 : 0;
    }
    return out;
}

uint32_t TargetFps(const VENC_CHN_ATTR_S& a)
{
    switch (a.stRcAttr.enRcMode) {
    case VENC_RC_MODE_H264CBR: return static_cast<uint32_t>(a.stRcAttr.stAttrH264Cbr.fr32DstFrmRate);
    case VENC_RC_MODE_H264VBR: return static_cast<uint32_t>(a.stRcAttr.stAttrH264Vbr.fr32DstFrmRate);
    case VENC_RC_MODE_H264FIXQP: return static_cast<uint32_t>(a.stRcAttr.stAttrH264FixQp.fr32DstFrmRate);
    default: return 30;
    }
}

class CPlaceholderH264 : public CVencCoder {
public:
    explicit CPlaceholderH264(const VENC_CHN_ATTR_S& a)
        : m_W(a.stVeAttr.stAttrH264e.u32PicWidth), m_H(a.stVeAttr.stAttrH264e.u32PicHeight),
          m_Sps(XVencPlaceholderSps(m_W, m_H, TargetFps(a), a.stVeAttr.stAttrH264e.u32Profile))
    {
    }

    BOOL Encode(const tagVencPicture& pic, BOOL idr, const std::vector<uint8_t>*,
                std::vector<tagVencPackOut>* packs) override
    {
        packs->clear();
        if (idr) {
            packs->push_back({m_Sps, H264E_NALU_SPS});
            packs->push_back({Nal(0x68, {0xCE, 0x3C, 0x80}), H264E_NALU_PPS});
        }
        // payload: picture number, then a filler that never forms a start code
        std::vector<uint8_t> body(idr ? 1200 : 300);
        for (size_t i = 0; i < body.size(); ++i) {
            body[i] = static_cast<uint8_t>(0x40 | ((pic.u64Index + i) & 0x3F));
        }
        for (int i = 0; i < 8; ++i) {
            body[i] = static_cast<uint8_t>(0x80 | ((pic.u64Index >> (7 * (7 - i))) & 0x7F));
        }
        packs->push_back({Nal(idr ? 0x65 : 0x61, body), idr ? H264E_NALU_ISLICE : H264E_NALU_PSLICE});
        return TRUE;
    }

private:
    uint32_t m_W;
    uint32_t m_H;
    std::vector<uint8_t> m_Sps;
};

void Segment(std::vector<uint8_t>* out, uint8_t marker, const std::vector<uint8_t>& body)
{
    const size_t len = body.size() + 2;
    out->push_back(0xFF);
    out->push_back(marker);
    out->push_back(static_cast<uint8_t>(len >> 8));
    out->push_back(static_cast<uint8_t>(len & 0xFF));
    out->insert(out->end(), body.begin(), body.end());
}

class CPlaceholderJpeg : public CVencCoder {
public:
    explicit CPlaceholderJpeg(const VENC_CHN_ATTR_S& a)
        : m_W(a.stVeAttr.stAttrJpeg.u32PicWidth), m_H(a.stVeAttr.stAttrJpeg.u32PicHeight)
    {
    }

    BOOL Encode(const tagVencPicture& pic, BOOL, const std::vector<uint8_t>* userData,
                std::vector<tagVencPackOut>* packs) override
    {
        packs->clear();
        std::vector<uint8_t> head = {0xFF, 0xD8};
        if (userData != nullptr && !userData->empty()) {
            Segment(&head, 0xFE, *userData);
        }
        Segment(&head, 0xE0, {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0});
        std::vector<uint8_t> dqt(65, 16);
        dqt[0] = 0;
        Segment(&head, 0xDB, dqt);
        Segment(&head, 0xC0, {8, static_cast<uint8_t>(m_H >> 8), static_cast<uint8_t>(m_H & 0xFF),
                              static_cast<uint8_t>(m_W >> 8), static_cast<uint8_t>(m_W & 0xFF), 3,
                              1, 0x22, 0, 2, 0x11, 0, 3, 0x11, 0});
        std::vector<uint8_t> dht = {0x00, 0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0,
                                    0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
        Segment(&head, 0xC4, dht);
        Segment(&head, 0xDA, {3, 1, 0x00, 2, 0x11, 3, 0x11, 0, 63, 0});
        packs->push_back({head, H264E_NALU_BUTT});
        std::vector<uint8_t> entropy(64 + (m_W * m_H) / 512);
        for (size_t i = 0; i < entropy.size(); ++i) {
            entropy[i] = static_cast<uint8_t>((pic.u64Index * 7 + i) & 0x7F);
        }
        packs->push_back({entropy, H264E_NALU_BUTT});
        packs->push_back({{0xFF, 0xD9}, H264E_NALU_BUTT});
        return TRUE;
    }

private:
    uint32_t m_W;
    uint32_t m_H;
};

}  // namespace

std::vector<uint8_t> XVencPlaceholderSps(uint32_t width, uint32_t height, uint32_t fps, uint32_t profile)
{
    const uint32_t profileIdc = profile >= 2 ? 100 : (profile == 1 ? 77 : 66);
    const uint32_t mbW = (width + 15) / 16;
    const uint32_t mbH = (height + 15) / 16;
    CBitWriter w;
    w.Bits(profileIdc, 8);
    w.Bits(0, 8);          // constraint flags
    w.Bits(40, 8);         // level 4.0
    w.Ue(0);               // seq_parameter_set_id
    if (profileIdc == 100) {
        w.Ue(1);           // chroma 4:2:0
        w.Ue(0);           // luma bit depth 8
        w.Ue(0);           // chroma bit depth 8
        w.Bit(0);          // no transform bypass
        w.Bit(0);          // no scaling matrix
    }
    w.Ue(0);               // log2_max_frame_num - 4
    w.Ue(2);               // picture order count type 2
    w.Ue(1);               // one reference frame
    w.Bit(0);
    w.Ue(mbW - 1);
    w.Ue(mbH - 1);
    w.Bit(1);              // frame_mbs_only
    w.Bit(1);              // direct_8x8_inference
    const uint32_t cropRight = (mbW * 16 - width) / 2;
    const uint32_t cropBottom = (mbH * 16 - height) / 2;
    if (cropRight != 0 || cropBottom != 0) {
        w.Bit(1);
        w.Ue(0);
        w.Ue(cropRight);
        w.Ue(0);
        w.Ue(cropBottom);
    } else {
        w.Bit(0);
    }
    w.Bit(1);              // VUI
    w.Bit(0);              // aspect ratio
    w.Bit(0);              // overscan
    w.Bit(0);              // video signal type
    w.Bit(0);              // chroma location
    w.Bit(1);              // timing
    w.Bits(1, 32);         // num_units_in_tick
    w.Bits(2 * (fps == 0 ? 30 : fps), 32);  // time_scale
    w.Bit(1);              // fixed frame rate
    w.Bit(0);              // NAL HRD
    w.Bit(0);              // VCL HRD
    w.Bit(0);              // pic_struct
    w.Bit(0);              // bitstream restriction
    w.Trailing();
    return Nal(0x67, w.Bytes());
}

std::unique_ptr<CVencCoder> XVencCreatePlaceholder(const VENC_CHN_ATTR_S& attr)
{
    if (attr.stVeAttr.enType == PT_H264) {
        return std::unique_ptr<CVencCoder>(new CPlaceholderH264(attr));
    }
    return std::unique_ptr<CVencCoder>(new CPlaceholderJpeg(attr));
}
