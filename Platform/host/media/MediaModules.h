#ifndef PLATFORM_HOST_MEDIA_MEDIAMODULES_H
#define PLATFORM_HOST_MEDIA_MEDIAMODULES_H

// Hooks between the simulated media modules above the system.

#include <cstdint>

#include "Platform/MpiTypes.h"

// Generation of the media state, raised by every XMediaStateChanged.
uint64_t XMediaStateGeneration();
// Waits up to `ms` for the generation to move from `generation`.
BOOL XMediaWaitStateChange(uint64_t generation, int ms);

// Resets the picture source, encoders, processing, input, ISP and output,
// in that order.
void XMediaResetModules();

// State read by the picture source.
BOOL XMediaIspRunning();
BOOL XMediaViLive(SIZE_S* size);
BOOL XMediaVpssGrpStarted(int grp);
BOOL XMediaVpssChnLive(int grp, int chn, SIZE_S* size);
BOOL XMediaVoChnEnabled(int chn);

// Offers one picture to encoder channel `chn` (dropped when it does not receive).
struct tagVencPicture;
void XMediaVencOffer(int chn, const tagVencPicture& picture);
// Waits until every encoder has dealt with the pictures offered so far.
void XMediaVencWaitIdle();

// Starts the picture source's clock thread (once; at system initialisation).
void XMediaSourceEnsure();
// Starts the board's state writer and command reader (with a board folder only).
void XMediaBoardEnsure();
void XMediaResetBoard();

void XMediaResetSource();
void XMediaResetVenc();
void XMediaResetVpss();
void XMediaResetVi();
void XMediaResetIsp();
void XMediaResetVo();
void XMediaResetRgn();

#endif
