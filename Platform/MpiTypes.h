#ifndef PLATFORM_MPITYPES_H
#define PLATFORM_MPITYPES_H

// Types and status codes shared by every media module (system, buffers, video
// input, ISP, processing, encoders, output, audio). The simulated board's
// media layer uses the same names as the camera's media SDK calls.
//
// Status codes: 0 is success; a failure is
//   0xA0000000 | module << 16 | 0x8000 | number
// with the module id and the error number below (0xA00F8042: output device
// already enabled; 0xA0178003: invalid parameter of the audio encoder).

#include <cstdint>

#include "Function/types.h"
#include "Platform/MediaTypes.h"

typedef int32_t HI_S32;
typedef uint32_t HI_U32;
typedef int16_t HI_S16;
typedef uint16_t HI_U16;
typedef uint8_t HI_U8;
typedef int64_t HI_S64;
typedef uint64_t HI_U64;
typedef int HI_BOOL;
typedef char HI_CHAR;
typedef void HI_VOID;

#ifndef HI_SUCCESS
#define HI_SUCCESS 0
#endif
#ifndef HI_FAILURE
#define HI_FAILURE (-1)
#endif

// ---- module ids ----
enum emModId : uint32_t {
    HI_ID_VB = 0x01,
    HI_ID_SYS = 0x02,
    HI_ID_RGN = 0x03,
    HI_ID_VPSS = 0x07,
    HI_ID_VENC = 0x08,
    HI_ID_VOU = 0x0F,
    HI_ID_VIU = 0x10,
    HI_ID_ISP = 0x11,
    HI_ID_AI = 0x15,
    HI_ID_AO = 0x16,
    HI_ID_AENC = 0x17,
    HI_ID_ADEC = 0x18,
};
typedef emModId MOD_ID_E;

// ---- error numbers (low 13 bits of a status) ----
enum emMpiErrNo : uint32_t {
    EN_ERR_INVALID_DEVID = 1,    // device id out of range
    EN_ERR_INVALID_CHNID = 2,    // channel or group id out of range
    EN_ERR_ILLEGAL_PARAM = 3,    // a value out of range or inconsistent
    EN_ERR_EXIST = 4,            // already created or bound
    EN_ERR_UNEXIST = 5,          // not created or not bound
    EN_ERR_NULL_PTR = 6,         // a required pointer is null
    EN_ERR_NOT_CONFIG = 7,       // attributes not set before use
    EN_ERR_NOT_SUPPORT = 8,      // not offered by this module or stream type
    EN_ERR_NOT_PERM = 9,         // not allowed in the current state
    EN_ERR_NOMEM = 12,           // allocation failed
    EN_ERR_NOBUF = 13,           // no buffer
    EN_ERR_BUF_EMPTY = 14,       // nothing waiting
    EN_ERR_BUF_FULL = 15,        // no room
    EN_ERR_SYS_NOTREADY = 16,    // system (or buffers) not initialised
    EN_ERR_BADADDR = 17,
    EN_ERR_BUSY = 18,            // resource in use
    EN_ERR_TIMEOUT = 19,         // a bounded wait ended without data
    EN_ERR_VO_DEV_HAS_ENABLED = 0x42,
};

// A status code of module `module` with error number `number`.
constexpr HI_S32 XMpiErrCode(uint32_t module, uint32_t number)
{
    return static_cast<HI_S32>(0xA0000000u | ((module & 0xFFu) << 16) | 0x8000u | (number & 0x1FFFu));
}
// Module and error number of a status code (0 for success or a non-media code).
constexpr uint32_t XMpiErrModule(HI_S32 code)
{
    return (static_cast<uint32_t>(code) & 0xFF000000u) == 0xA0000000u ? (static_cast<uint32_t>(code) >> 16) & 0xFFu : 0u;
}
constexpr uint32_t XMpiErrNumber(HI_S32 code)
{
    return (static_cast<uint32_t>(code) & 0xFF000000u) == 0xA0000000u ? static_cast<uint32_t>(code) & 0x1FFFu : 0u;
}

#define EN_ERR_VO_DEV_HAS_ENABLED_CODE XMpiErrCode(HI_ID_VOU, EN_ERR_VO_DEV_HAS_ENABLED)

// ---- a node of the bind graph: module, device (or group), channel ----
struct tagMppChn {
    MOD_ID_E enModId;
    HI_S32 s32DevId;
    HI_S32 s32ChnId;
};
typedef tagMppChn MPP_CHN_S;

struct tagSize {
    HI_U32 u32Width;
    HI_U32 u32Height;
};
typedef tagSize SIZE_S;

struct tagRect {
    HI_S32 s32X;
    HI_S32 s32Y;
    HI_U32 u32Width;
    HI_U32 u32Height;
};
typedef tagRect RECT_S;

enum emPixelFormat : uint32_t {
    PIXEL_FORMAT_RGB_1555 = 3,   // overlay bitmaps: alpha bit, then 5 bits each of R, G, B
    PIXEL_FORMAT_YUV_SEMIPLANAR_422 = 22,
    PIXEL_FORMAT_YUV_SEMIPLANAR_420 = 23,
};
typedef emPixelFormat PIXEL_FORMAT_E;

enum emCompressMode : uint32_t {
    COMPRESS_MODE_NONE = 0,
    COMPRESS_MODE_SEG = 1,
    COMPRESS_MODE_SEG128 = 2,
    COMPRESS_MODE_LINE = 3,
    COMPRESS_MODE_FRAME = 4,
};
typedef emCompressMode COMPRESS_MODE_E;

enum emRotate : uint32_t {
    ROTATE_NONE = 0,
    ROTATE_90 = 1,
    ROTATE_180 = 2,
    ROTATE_270 = 3,
};
typedef emRotate ROTATE_E;

// Frame rates: -1 keeps the source rate.
typedef HI_S32 HI_FR32;

#endif
