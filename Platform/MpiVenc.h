#ifndef PLATFORM_MPIVENC_H
#define PLATFORM_MPIVENC_H

// Video encoder channels (H.264 and JPEG).
//
// A channel is created with its attributes, fed by a bind from a processing
// channel, and encodes while it receives pictures (StartRecvPic: every
// picture at its target rate; StartRecvPicEx(n): exactly the next n). Its
// streams wait in a bounded queue (the attributes' buffer size, at most 64
// pictures; a picture that does not fit is dropped and counted).
//
// Every channel number has one pollable descriptor, made at its first
// creation and kept across destroy and create: it is readable exactly while a
// stream waits. HI_MPI_VENC_Query gives the oldest waiting stream's pack count
// (0 when none waits). HI_MPI_VENC_GetStream takes the oldest stream: a
// timeout of -1 waits, 0 fails at once when none waits, above 0 waits that
// many milliseconds; a pack array too small for it fails and takes nothing.
// The packs' memory stays valid (and writable) until the stream is given back
// with HI_MPI_VENC_ReleaseStream, which must name the oldest stream held.
// Destroying a channel wakes its waiting readers with an error. u32Seq counts
// from 0 at each creation.
//
// H.264: one NAL unit per pack with a 4-byte start code; SPS and PPS before
// every IDR picture; P slices with header 0x61; a fixed GOP. JPEG: three packs
// (headers, entropy-coded data, EOI); user data given with
// HI_MPI_VENC_InsertUserData becomes a COM segment after SOI of the next
// picture.

#include "Platform/MediaTypes.h"
#include "Platform/MpiTypes.h"

#define VENC_MAX_CHN_NUM 16
#define VENC_MAX_USER_DATA 1024
#define VENC_MAX_QUEUED_PICTURES 64

typedef HI_S32 VENC_CHN;

enum emVencRcMode : uint32_t {
    VENC_RC_MODE_H264CBR = 1,
    VENC_RC_MODE_H264VBR = 2,
    VENC_RC_MODE_H264FIXQP = 3,
    VENC_RC_MODE_BUTT,
};
typedef emVencRcMode VENC_RC_MODE_E;

struct tagVencAttrH264 {
    HI_U32 u32MaxPicWidth;
    HI_U32 u32MaxPicHeight;
    HI_U32 u32BufSize;        // stream buffer in bytes
    HI_U32 u32Profile;        // 0 baseline, 1 main, 2 high
    HI_BOOL bByFrame;         // streams by picture
    HI_U32 u32PicWidth;
    HI_U32 u32PicHeight;
    HI_U32 u32BFrameNum;      // must be 0
    HI_U32 u32RefNum;         // 1 or 2
};
typedef tagVencAttrH264 VENC_ATTR_H264_S;

struct tagVencAttrJpeg {
    HI_U32 u32MaxPicWidth;
    HI_U32 u32MaxPicHeight;
    HI_U32 u32BufSize;
    HI_BOOL bByFrame;
    HI_U32 u32PicWidth;
    HI_U32 u32PicHeight;
    HI_BOOL bSupportDCF;
};
typedef tagVencAttrJpeg VENC_ATTR_JPEG_S;

struct tagVencAttr {
    PAYLOAD_TYPE_E enType;
    union {
        VENC_ATTR_H264_S stAttrH264e;
        VENC_ATTR_JPEG_S stAttrJpeg;
    };
};
typedef tagVencAttr VENC_ATTR_S;

struct tagVencAttrH264Cbr {
    HI_U32 u32Gop;
    HI_U32 u32StatTime;       // seconds
    HI_U32 u32SrcFrmRate;
    HI_FR32 fr32DstFrmRate;
    HI_U32 u32BitRate;        // kbit/s
    HI_U32 u32FluctuateLevel;
};
typedef tagVencAttrH264Cbr VENC_ATTR_H264_CBR_S;

struct tagVencAttrH264Vbr {
    HI_U32 u32Gop;
    HI_U32 u32StatTime;
    HI_U32 u32SrcFrmRate;
    HI_FR32 fr32DstFrmRate;
    HI_U32 u32MaxBitRate;
    HI_U32 u32MaxQp;
    HI_U32 u32MinQp;
};
typedef tagVencAttrH264Vbr VENC_ATTR_H264_VBR_S;

struct tagVencAttrH264FixQp {
    HI_U32 u32Gop;
    HI_U32 u32SrcFrmRate;
    HI_FR32 fr32DstFrmRate;
    HI_U32 u32IQp;
    HI_U32 u32PQp;
};
typedef tagVencAttrH264FixQp VENC_ATTR_H264_FIXQP_S;

struct tagVencRcAttr {
    VENC_RC_MODE_E enRcMode;
    union {
        VENC_ATTR_H264_CBR_S stAttrH264Cbr;
        VENC_ATTR_H264_VBR_S stAttrH264Vbr;
        VENC_ATTR_H264_FIXQP_S stAttrH264FixQp;
    };
    HI_VOID* pRcAttr;
};
typedef tagVencRcAttr VENC_RC_ATTR_S;

struct tagVencChnAttr {
    VENC_ATTR_S stVeAttr;
    VENC_RC_ATTR_S stRcAttr;   // H.264 only
};
typedef tagVencChnAttr VENC_CHN_ATTR_S;

struct tagVencRcParam {
    HI_U32 u32ThrdI[12];       // 0..255 each
    HI_U32 u32ThrdP[12];
    HI_U32 u32RowQpDelta;
    HI_S32 s32FirstFrameStartQp;
};
typedef tagVencRcParam VENC_RC_PARAM_S;

struct tagVencChnStat {
    HI_BOOL bRegistered;         // bound to a source
    HI_U32 u32LeftPics;          // pictures waiting to be encoded
    HI_U32 u32LeftStreamBytes;   // bytes of the waiting streams
    HI_U32 u32LeftStreamFrames;  // waiting streams
    HI_U32 u32CurPacks;          // packs of the oldest waiting stream
    HI_U32 u32LeftRecvPics;      // pictures still asked for by StartRecvPicEx
    HI_U32 u32LeftEncPics;
};
typedef tagVencChnStat VENC_CHN_STAT_S;

struct tagVencRecvPicParam {
    HI_S32 s32RecvPicNum;
};
typedef tagVencRecvPicParam VENC_RECV_PIC_PARAM_S;

HI_S32 HI_MPI_VENC_CreateChn(VENC_CHN VeChn, const VENC_CHN_ATTR_S* pstAttr);
HI_S32 HI_MPI_VENC_DestroyChn(VENC_CHN VeChn);
HI_S32 HI_MPI_VENC_GetChnAttr(VENC_CHN VeChn, VENC_CHN_ATTR_S* pstAttr);
HI_S32 HI_MPI_VENC_StartRecvPic(VENC_CHN VeChn);
HI_S32 HI_MPI_VENC_StartRecvPicEx(VENC_CHN VeChn, const VENC_RECV_PIC_PARAM_S* pstRecvParam);
HI_S32 HI_MPI_VENC_StopRecvPic(VENC_CHN VeChn);
HI_S32 HI_MPI_VENC_Query(VENC_CHN VeChn, VENC_CHN_STAT_S* pstStat);
// The channel's descriptor, or a (negative) status code.
HI_S32 HI_MPI_VENC_GetFd(VENC_CHN VeChn);
HI_S32 HI_MPI_VENC_GetStream(VENC_CHN VeChn, VENC_STREAM_S* pstStream, HI_S32 s32MilliSec);
HI_S32 HI_MPI_VENC_ReleaseStream(VENC_CHN VeChn, VENC_STREAM_S* pstStream);
HI_S32 HI_MPI_VENC_GetRcParam(VENC_CHN VeChn, VENC_RC_PARAM_S* pstRcParam);
HI_S32 HI_MPI_VENC_SetRcParam(VENC_CHN VeChn, const VENC_RC_PARAM_S* pstRcParam);
HI_S32 HI_MPI_VENC_InsertUserData(VENC_CHN VeChn, HI_U8* pu8Data, HI_U32 u32Len);

#endif
