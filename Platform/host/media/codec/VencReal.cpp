// The real encoders behind the simulated channels: H.264 over libx264 and
// JPEG over libjpeg-turbo, each fed the synthetic picture at its own size.

#include <turbojpeg.h>

#include <cstring>
#include <memory>
#include <vector>

#include "Platform/host/media/PictureSynth.h"
#include "Platform/host/media/RgnCompositor.h"
#include "Platform/host/media/VencCoder.h"
#include "Platform/host/media/codec/X264Encoder.h"

namespace {

class CVencX264 : public CVencCoder {
public:
    explicit CVencX264(const VENC_CHN_ATTR_S& a)
    {
        const VENC_ATTR_H264_S& h = a.stVeAttr.stAttrH264e;
        tagX264Config x;
        x.width = static_cast<int>(h.u32PicWidth);
        x.height = static_cast<int>(h.u32PicHeight);
        x.profile = h.u32Profile >= 2 ? "high" : (h.u32Profile == 1 ? "main" : "baseline");
        x.bDeviceNalRefIdc = TRUE;
        x.bKeepSei = FALSE;
        x.bOwnGop = TRUE;
        const VENC_RC_ATTR_S& rc = a.stRcAttr;
        switch (rc.enRcMode) {
        case VENC_RC_MODE_H264VBR:
            x.rcMode = 1;
            x.fps = rc.stAttrH264Vbr.fr32DstFrmRate;
            x.gop = static_cast<int>(rc.stAttrH264Vbr.u32Gop);
            x.bitrateKbps = static_cast<int>(rc.stAttrH264Vbr.u32MaxBitRate);
            x.minQp = static_cast<int>(rc.stAttrH264Vbr.u32MinQp);
            x.maxQp = static_cast<int>(rc.stAttrH264Vbr.u32MaxQp);
            break;
        case VENC_RC_MODE_H264FIXQP:
            x.rcMode = 2;
            x.fps = rc.stAttrH264FixQp.fr32DstFrmRate;
            x.gop = static_cast<int>(rc.stAttrH264FixQp.u32Gop);
            x.iQp = static_cast<int>(rc.stAttrH264FixQp.u32IQp);
            x.pQp = static_cast<int>(rc.stAttrH264FixQp.u32PQp);
            break;
        default:
            x.rcMode = 0;
            x.fps = rc.stAttrH264Cbr.fr32DstFrmRate;
            x.gop = static_cast<int>(rc.stAttrH264Cbr.u32Gop);
            x.bitrateKbps = static_cast<int>(rc.stAttrH264Cbr.u32BitRate);
            break;
        }
        m_Enc.reset(new CX264Encoder(x));
    }

    BOOL IsOpen() const { return m_Enc->IsOpen(); }

    BOOL Encode(const tagVencPicture& pic, BOOL idr, const std::vector<uint8_t>*,
                std::vector<tagVencPackOut>* packs) override
    {
        CX264Encoder& e = *m_Enc;
        const tagSynthPlanes planes = {e.Plane(0), e.Stride(0), e.Plane(1), e.Stride(1), e.Plane(2), e.Stride(2)};
        XSynthPicture(pic.u64Index, static_cast<uint32_t>(pic.u64ChnIndex), e.Config().width, e.Config().height,
                      planes);
        XRgnCompose(pic.s32Chn, {e.Plane(0), e.Stride(0), e.Plane(1), e.Plane(2), e.Stride(1), 1, e.Config().width,
                                 e.Config().height});
        std::vector<std::vector<uint8_t>> nals;
        if (!e.Encode(idr, &nals, nullptr)) {
            return FALSE;
        }
        packs->clear();
        for (auto& n : nals) {
            H264E_NALU_TYPE_E type = H264E_NALU_PSLICE;
            switch (n[4] & 0x1F) {
            case 5: type = H264E_NALU_ISLICE; break;
            case 6: type = H264E_NALU_SEI; break;
            case 7: type = H264E_NALU_SPS; break;
            case 8: type = H264E_NALU_PPS; break;
            default: break;
            }
            packs->push_back({std::move(n), type});
        }
        return TRUE;
    }

private:
    std::unique_ptr<CX264Encoder> m_Enc;
};

class CVencJpeg : public CVencCoder {
public:
    explicit CVencJpeg(const VENC_CHN_ATTR_S& a)
        : m_W(static_cast<int>(a.stVeAttr.stAttrJpeg.u32PicWidth)),
          m_H(static_cast<int>(a.stVeAttr.stAttrJpeg.u32PicHeight)),
          m_Y(static_cast<size_t>(m_W) * m_H), m_U(static_cast<size_t>(m_W / 2) * (m_H / 2)),
          m_V(static_cast<size_t>(m_W / 2) * (m_H / 2)), m_Handle(tjInitCompress())
    {
    }

    ~CVencJpeg() override
    {
        if (m_Handle != nullptr) {
            tjDestroy(m_Handle);
        }
    }

    BOOL IsOpen() const { return m_Handle != nullptr; }

    BOOL Encode(const tagVencPicture& pic, BOOL, const std::vector<uint8_t>* userData,
                std::vector<tagVencPackOut>* packs) override
    {
        const tagSynthPlanes planes = {m_Y.data(), m_W, m_U.data(), m_W / 2, m_V.data(), m_W / 2};
        XSynthPicture(pic.u64Index, static_cast<uint32_t>(pic.u64ChnIndex), m_W, m_H, planes);
        XRgnCompose(pic.s32Chn, {m_Y.data(), m_W, m_U.data(), m_V.data(), m_W / 2, 1, m_W, m_H});
        const unsigned char* src[3] = {m_Y.data(), m_U.data(), m_V.data()};
        const int strides[3] = {m_W, m_W / 2, m_W / 2};
        unsigned char* jpeg = nullptr;
        unsigned long size = 0;
        if (tjCompressFromYUVPlanes(m_Handle, src, m_W, strides, m_H, TJSAMP_420, &jpeg, &size, 90, 0) != 0 ||
            jpeg == nullptr) {
            tjFree(jpeg);
            return FALSE;
        }
        const BOOL ok = Split(jpeg, size, userData, packs);
        tjFree(jpeg);
        return ok;
    }

private:
    // Headers up to and with the scan header, entropy-coded data, EOI; the user
    // data as a COM segment right after SOI.
    static BOOL Split(const uint8_t* j, size_t size, const std::vector<uint8_t>* userData,
                      std::vector<tagVencPackOut>* packs)
    {
        if (size < 4 || j[0] != 0xFF || j[1] != 0xD8 || j[size - 2] != 0xFF || j[size - 1] != 0xD9) {
            return FALSE;
        }
        size_t pos = 2;
        size_t scan = 0;
        while (pos + 4 <= size) {
            if (j[pos] != 0xFF) {
                return FALSE;
            }
            const uint8_t marker = j[pos + 1];
            const size_t len = (static_cast<size_t>(j[pos + 2]) << 8) | j[pos + 3];
            pos += 2 + len;
            if (marker == 0xDA) {
                scan = pos;
                break;
            }
        }
        if (scan == 0 || scan > size - 2) {
            return FALSE;
        }
        std::vector<uint8_t> head = {0xFF, 0xD8};
        if (userData != nullptr && !userData->empty()) {
            const size_t len = userData->size() + 2;
            head.push_back(0xFF);
            head.push_back(0xFE);
            head.push_back(static_cast<uint8_t>(len >> 8));
            head.push_back(static_cast<uint8_t>(len & 0xFF));
            head.insert(head.end(), userData->begin(), userData->end());
        }
        head.insert(head.end(), j + 2, j + scan);
        packs->clear();
        packs->push_back({std::move(head), H264E_NALU_BUTT});
        packs->push_back({std::vector<uint8_t>(j + scan, j + size - 2), H264E_NALU_BUTT});
        packs->push_back({{0xFF, 0xD9}, H264E_NALU_BUTT});
        return TRUE;
    }

    int m_W;
    int m_H;
    std::vector<uint8_t> m_Y;
    std::vector<uint8_t> m_U;
    std::vector<uint8_t> m_V;
    tjhandle m_Handle;
};

}  // namespace

std::unique_ptr<CVencCoder> XVencCreateRealCoder(const VENC_CHN_ATTR_S& attr)
{
    if (attr.stVeAttr.enType == PT_H264) {
        std::unique_ptr<CVencX264> c(new CVencX264(attr));
        return c->IsOpen() ? std::unique_ptr<CVencCoder>(std::move(c)) : nullptr;
    }
    std::unique_ptr<CVencJpeg> c(new CVencJpeg(attr));
    return c->IsOpen() ? std::unique_ptr<CVencCoder>(std::move(c)) : nullptr;
}
