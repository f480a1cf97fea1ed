#ifndef PLATFORM_HOST_MEDIA_VENCCODER_H
#define PLATFORM_HOST_MEDIA_VENCCODER_H

// The encoders behind the simulated encoder channels: real codecs where the
// libraries are built in, else placeholder packs of the same shape.

#include <cstdint>
#include <memory>
#include <vector>

#include "Platform/MpiVenc.h"

// One picture offered to a channel.
struct tagVencPicture {
    uint64_t u64Index;     // the source's picture number
    uint64_t u64ChnIndex;  // the channel's picture number (its barcode)
    uint64_t u64PTS;       // microseconds
    uint32_t u32SrcWidth;  // size the processing channel delivers
    uint32_t u32SrcHeight;
    int32_t s32Chn;        // the encoder channel (its overlay regions)
};

struct tagVencPackOut {
    std::vector<uint8_t> data;
    H264E_NALU_TYPE_E type;
};

class CVencCoder {
public:
    virtual ~CVencCoder() {}
    // Encodes one picture into packs. `idr` asks for an IDR picture (H.264);
    // `userData` (may be null) goes into the picture (JPEG). FALSE on failure.
    virtual BOOL Encode(const tagVencPicture& pic, BOOL idr, const std::vector<uint8_t>* userData,
                        std::vector<tagVencPackOut>* packs) = 0;
};

// The coder for a channel's attributes (checked before).
std::unique_ptr<CVencCoder> XVencCreateCoder(const VENC_CHN_ATTR_S& attr);
// Placeholder packs only (no codec library needed).
std::unique_ptr<CVencCoder> XVencCreatePlaceholder(const VENC_CHN_ATTR_S& attr);
// libx264 or libjpeg-turbo (builds with the codecs only); null when it cannot open.
std::unique_ptr<CVencCoder> XVencCreateRealCoder(const VENC_CHN_ATTR_S& attr);

// A sequence parameter set (with start code) for the size and frame rate.
std::vector<uint8_t> XVencPlaceholderSps(uint32_t width, uint32_t height, uint32_t fps, uint32_t profile);

#endif
