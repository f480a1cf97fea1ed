#ifndef PERIPHERY_CARDUPKEEP_H
#define PERIPHERY_CARDUPKEEP_H

#include <cstdint>

#include "Function/types.h"

// The card's polling, free space and format (supervision loop, web and app
// commands).
class CCardUpkeep {
public:
    virtual ~CCardUpkeep() = default;

    // Polls the card; its emSDState bits.
    virtual int CheckSDCard() = 0;
    virtual void CheckSDCardFreeSpace() = 0;
    virtual BOOL GetDiskSpaceInfo(uint64_t* total, uint64_t* freeBytes) = 0;
    // 0 formatted, -1 no card, -2 unmount failed, -3 format failed.
    virtual int Format() = 0;
    // A format is under way (the app's format sets it around its worker).
    virtual void SetFormatStatusFlag(BOOL flag) = 0;
    virtual BOOL GetFormatStatusFlag() = 0;
    // Recording stands stopped because the card has no room left.
    virtual BOOL GetNoSpaceFlag() = 0;
    // The card in the slot failed its file-system check.
    virtual BOOL GetCardCheckFailed() = 0;
};

#endif
