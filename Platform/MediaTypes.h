#ifndef PLATFORM_MEDIATYPES_H
#define PLATFORM_MEDIATYPES_H

// The encoder's stream records as the capture thread hands them to recording,
// and the description of each stream. The simulated encoder fills these
// records; the camera's build maps them onto the media SDK's own records,
// which carry the same fields under the same names.

#include <cstdint>

#include "Function/types.h"

// ---- codec payload types ----
enum emPayloadType : uint32_t {
    PT_JPEG = 26,
    PT_AAC = 37,
    PT_AACLC = 42,
    PT_H264 = 96,
};
typedef emPayloadType PAYLOAD_TYPE_E;

// ---- picture-size codes ----
enum emPicSize : uint32_t {
    PIC_QCIF = 0,
    PIC_CIF = 1,
    PIC_2CIF = 2,
    PIC_HD1 = 3,
    PIC_D1 = 4,
    PIC_960H = 5,
    PIC_QVGA = 6,
    PIC_VGA = 7,
    PIC_XGA = 8,
    PIC_SXGA = 9,
    PIC_UXGA = 10,
    PIC_QXGA = 11,
    PIC_WVGA = 12,
    PIC_WSXGA = 13,
    PIC_WUXGA = 14,
    PIC_WQXGA = 15,
    PIC_HD720 = 16,
    PIC_HD1080 = 17,
    PIC_2304x1296 = 18,
    PIC_BUTT,
};
typedef emPicSize PIC_SIZE_E;

// ---- video norm ----
enum emVideoEncodingMode : uint32_t {
    VIDEO_ENCODING_MODE_PAL = 0,
    VIDEO_ENCODING_MODE_NTSC = 1,
    VIDEO_ENCODING_MODE_AUTO = 2,
};
typedef emVideoEncodingMode VIDEO_NORM_E;

// ---- rate control of an H.264 stream ----
enum emStreamRCType : uint32_t {
    RCTYPE_CBR = 0,
    RCTYPE_VBR = 1,
    RCTYPE_FIXQP = 2,
};

// ---- kind of data of a stream ----
enum emAVData_Type : uint32_t {
    AVDATA_TYPE_AUDIO = 0,
    AVDATA_TYPE_VIDEO = 1,
    AVDATA_TYPE_IMAGE = 2,
};
typedef emAVData_Type AVData_Type;

// The description handed over with every encoded packet (64 bytes).
struct tagChannelConfig {
    PAYLOAD_TYPE_E enc;       // H.264 96, JPEG 26, AAC 37
    emStreamRCType rc;        // rate control (H.264 only)
    PIC_SIZE_E res;           // picture-size code
    uint32_t bitrate;         // kbit/s
    uint32_t qp;              // JPEG quality
    uint32_t gop;             // frames between I-frames
    uint32_t vi_fps;          // input frame rate
    uint32_t fps;             // output frame rate
    VIDEO_NORM_E tv_norm;
    BOOL auto_enc;            // starts receiving pictures when created
    int32_t channel_id;       // encoder channel (4 for the audio encoder)
    AVData_Type av_type;
    uint32_t width;           // encoded picture size
    uint32_t height;
    uint32_t sample;          // audio sample rate
    uint8_t channel;          // audio channels
    uint8_t bit_width;
    uint8_t sample_signed;
    uint8_t reserved;
};
typedef tagChannelConfig ChannelConfig;

static_assert(sizeof(tagChannelConfig) == 64, "tagChannelConfig is 64 bytes");

// ---- encoded video: one stream record per picture, one pack per NAL unit ----

// NAL unit kinds the encoder reports for its packs.
enum emH264NaluType : uint32_t {
    H264E_NALU_PSLICE = 1,
    H264E_NALU_ISLICE = 5,
    H264E_NALU_SEI = 6,
    H264E_NALU_SPS = 7,
    H264E_NALU_PPS = 8,
    H264E_NALU_BUTT,
};
typedef emH264NaluType H264E_NALU_TYPE_E;

// One pack: a NAL unit with its 4-byte start code (00 00 00 01). For JPEG
// streams a pack is a piece of the picture's data.
struct tagVencPack {
    uint32_t u32PhyAddr;       // physical address (0 on the simulated board)
    uint8_t* pu8Addr;          // the pack's data, start code included
    uint32_t u32Len;           // bytes at pu8Addr
    uint64_t u64PTS;           // time stamp in microseconds
    BOOL bFrameEnd;            // last pack of the picture
    H264E_NALU_TYPE_E enH264EType;  // what the encoder says the pack is (not relied on)
};
typedef tagVencPack VENC_PACK_S;

struct tagVencStream {
    VENC_PACK_S* pstPack;      // pack array
    uint32_t u32PackCount;     // packs in the array
    uint32_t u32Seq;           // stream sequence number
};
typedef tagVencStream VENC_STREAM_S;

// ---- encoded audio: one AAC access unit with its ADTS header ----
struct tagAudioStream {
    uint8_t* pStream;          // data
    uint32_t u32PhyAddr;       // physical address (0 on the simulated board)
    uint32_t u32Len;           // bytes at pStream
    uint64_t u64TimeStamp;     // time stamp in microseconds
    uint32_t u32Seq;           // frame sequence number
};
typedef tagAudioStream AUDIO_STREAM_S;

#endif
