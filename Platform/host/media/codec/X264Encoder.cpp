#include "Platform/host/media/codec/X264Encoder.h"

#include <cmath>
#include <cstring>

extern "C" {
#include <x264.h>
}

struct CX264Encoder::tagImpl {
    x264_t* enc = nullptr;
    x264_picture_t pic;
    bool picAllocated = false;
    int64_t next = 0;
};

CX264Encoder::CX264Encoder(const tagX264Config& config) : m_Config(config), m_lpImpl(new tagImpl)
{
    x264_param_t p;
    if (x264_param_default_preset(&p, config.preset, "zerolatency") < 0) {
        return;
    }
    p.i_log_level = X264_LOG_ERROR;
    p.i_threads = 1;
    p.b_sliced_threads = 0;
    p.i_slice_count = 1;
    p.i_width = config.width;
    p.i_height = config.height;
    p.i_csp = X264_CSP_I420;
    p.i_fps_num = static_cast<uint32_t>(config.fps);
    p.i_fps_den = 1;
    p.i_timebase_num = 1;
    p.i_timebase_den = static_cast<uint32_t>(config.fps);
    p.b_vfr_input = 0;
    if (config.bOwnGop) {
        p.i_keyint_max = X264_KEYINT_MAX_INFINITE;
        p.i_keyint_min = 1;
    } else {
        p.i_keyint_max = config.gop;
        p.i_keyint_min = config.gop;
    }
    p.i_scenecut_threshold = 0;
    p.b_open_gop = 0;
    p.i_bframe = 0;
    p.b_repeat_headers = 1;
    // Length-prefixed output: the packs get their 4-byte start codes here.
    p.b_annexb = 0;
    p.b_aud = 0;
    switch (config.rcMode) {
    case 1:
        p.rc.i_rc_method = X264_RC_CRF;
        p.rc.f_rf_constant = 23;
        p.rc.i_vbv_max_bitrate = config.bitrateKbps;
        p.rc.i_vbv_buffer_size = config.bitrateKbps;
        p.rc.i_qp_min = config.minQp;
        p.rc.i_qp_max = config.maxQp;
        break;
    case 2:
        p.rc.i_rc_method = X264_RC_CQP;
        p.rc.i_qp_constant = config.pQp;
        // I pictures at iQp: x264 takes the P quantiser and the I/P step as a factor
        p.rc.f_ip_factor = static_cast<float>(std::pow(2.0, (config.pQp - config.iQp) / 6.0));
        break;
    default:
        p.rc.i_rc_method = X264_RC_ABR;
        p.rc.i_bitrate = config.bitrateKbps;
        p.rc.i_vbv_max_bitrate = config.bitrateKbps;
        p.rc.i_vbv_buffer_size = config.bitrateKbps;
        break;
    }
    if (x264_param_apply_profile(&p, config.profile) < 0) {
        return;
    }
    if (x264_picture_alloc(&m_lpImpl->pic, X264_CSP_I420, config.width, config.height) < 0) {
        return;
    }
    m_lpImpl->picAllocated = true;
    m_lpImpl->enc = x264_encoder_open(&p);
}

CX264Encoder::~CX264Encoder()
{
    if (m_lpImpl->enc != nullptr) {
        x264_encoder_close(m_lpImpl->enc);
    }
    if (m_lpImpl->picAllocated) {
        x264_picture_clean(&m_lpImpl->pic);
    }
}

BOOL CX264Encoder::IsOpen() const
{
    return m_lpImpl->enc != nullptr;
}

uint8_t* CX264Encoder::Plane(int i)
{
    return m_lpImpl->picAllocated && i >= 0 && i < 3 ? m_lpImpl->pic.img.plane[i] : nullptr;
}

int CX264Encoder::Stride(int i) const
{
    return m_lpImpl->picAllocated && i >= 0 && i < 3 ? m_lpImpl->pic.img.i_stride[i] : 0;
}

BOOL CX264Encoder::Encode(BOOL bIDR, std::vector<std::vector<uint8_t>>* packs, BOOL* idr)
{
    if (m_lpImpl->enc == nullptr || packs == nullptr) {
        return FALSE;
    }
    tagImpl& im = *m_lpImpl;
    im.pic.i_pts = im.next;
    im.pic.i_type = bIDR ? X264_TYPE_IDR : (m_Config.bOwnGop ? X264_TYPE_P : X264_TYPE_AUTO);
    x264_nal_t* nals = nullptr;
    int count = 0;
    x264_picture_t out;
    int bytes = x264_encoder_encode(im.enc, &nals, &count, &im.pic, &out);
    if (bytes <= 0 || count <= 0) {
        return FALSE;
    }
    packs->clear();
    if (idr != nullptr) {
        *idr = out.b_keyframe ? TRUE : FALSE;
    }
    for (int i = 0; i < count; ++i) {
        const x264_nal_t& n = nals[i];
        if (n.i_payload <= 4) {
            continue;
        }
        const int type = n.p_payload[4] & 0x1F;
        if (type == 6 && !m_Config.bKeepSei) {
            continue;
        }
        std::vector<uint8_t> pack = {0, 0, 0, 1};
        pack.insert(pack.end(), n.p_payload + 4, n.p_payload + n.i_payload);
        if (m_Config.bDeviceNalRefIdc && type == 1 && (pack[4] & 0x60) != 0) {
            pack[4] = static_cast<uint8_t>(pack[4] | 0x60);
        }
        packs->push_back(std::move(pack));
    }
    im.next++;
    return packs->empty() ? FALSE : TRUE;
}
