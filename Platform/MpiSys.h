#ifndef PLATFORM_MPISYS_H
#define PLATFORM_MPISYS_H

// Media system and video buffer pools.
//
// Order: HI_MPI_VB_SetConf, HI_MPI_VB_Init, HI_MPI_SYS_SetConf, HI_MPI_SYS_Init;
// every other media call needs the system up (else EN_ERR_SYS_NOTREADY).
// SetConf/Init/Exit may come in any order: a refused step returns its code
// and changes nothing.
//
// Bind graph: every destination has at most one source; pictures and audio
// frames flow only along binds. Pairs offered (source -> destination):
//   VI (dev, chn) -> VPSS (group, chn 0), VI -> VO, VPSS (group, chn) -> VENC
//   (dev 0, chn), VPSS -> VO, AI (dev, chn) -> AENC (0, chn), AI -> AO,
//   ADEC (0, chn) -> AO.
//
// Time stamps: wall-clock microseconds. HI_MPI_SYS_InitPtsBase and
// HI_MPI_SYS_SyncPts re-anchor the media clock to the value given. A small
// step back (under one second) never makes the clock run backwards: it holds
// until it passes the last value handed out. A larger step is a real clock
// change and passes at once.

#include "Platform/MpiTypes.h"

// ---- buffer pools ----
#define VB_MAX_COMM_POOLS 16
#define MAX_MMZ_NAME_LEN 16

struct tagVbCommPool {
    HI_U32 u32BlkSize;
    HI_U32 u32BlkCnt;
    HI_CHAR acMmzName[MAX_MMZ_NAME_LEN];
};

struct tagVbConf {
    HI_U32 u32MaxPoolCnt;                  // pools the system may create, 1..256
    tagVbCommPool astCommPool[VB_MAX_COMM_POOLS];
};
typedef tagVbConf VB_CONF_S;

HI_S32 HI_MPI_VB_SetConf(const VB_CONF_S* pstConf);
HI_S32 HI_MPI_VB_GetConf(VB_CONF_S* pstConf);
HI_S32 HI_MPI_VB_Init(HI_VOID);
HI_S32 HI_MPI_VB_Exit(HI_VOID);

// ---- system ----
struct tagMppSysConf {
    HI_U32 u32AlignWidth;                  // 16, 32 or 64
};
typedef tagMppSysConf MPP_SYS_CONF_S;

HI_S32 HI_MPI_SYS_SetConf(const MPP_SYS_CONF_S* pstSysConf);
HI_S32 HI_MPI_SYS_GetConf(MPP_SYS_CONF_S* pstSysConf);
HI_S32 HI_MPI_SYS_Init(HI_VOID);
HI_S32 HI_MPI_SYS_Exit(HI_VOID);

// pstSrcChn may be null on unbind: the destination's bind goes, whatever its source.
HI_S32 HI_MPI_SYS_Bind(const MPP_CHN_S* pstSrcChn, const MPP_CHN_S* pstDestChn);
HI_S32 HI_MPI_SYS_UnBind(const MPP_CHN_S* pstSrcChn, const MPP_CHN_S* pstDestChn);
HI_S32 HI_MPI_SYS_GetBindbyDest(const MPP_CHN_S* pstDestChn, MPP_CHN_S* pstSrcChn);

HI_S32 HI_MPI_SYS_InitPtsBase(HI_U64 u64PtsBase);
HI_S32 HI_MPI_SYS_SyncPts(HI_U64 u64PtsBase);
HI_S32 HI_MPI_SYS_GetCurPts(HI_U64* pu64CurPts);

#endif
