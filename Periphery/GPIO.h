#ifndef PERIPHERY_GPIO_H
#define PERIPHERY_GPIO_H

#include <cstdint>
#include <mutex>

#include "Function/types.h"
#include "MultiTask/Singleton.h"

// One mapped window of /dev/mem.
struct tagMMAPNode_t {
    uint32_t Start_P;       // physical start, page aligned
    uintptr_t Start_V;      // mapped virtual address
    uint32_t length;        // bytes, a multiple of 4096
    tagMMAPNode_t* next;
};
typedef tagMMAPNode_t MMAPNode_t;

// Single-bit access to the SoC's GPIO pins and 32-bit access to other
// physical registers, through cached windows of /dev/mem.
//
// Pin n is group n / 10, bit n % 10; only bits 0-7 exist (0-7, 10-17, ...,
// 80-87). Pin direction and multiplexing are left as the boot set them.
// Every call may come from any thread.
class CGPIOManager : public CSingleton<CGPIOManager> {
public:

    // Stores 0 or 1 in `value`; `value` is untouched on failure.
    BOOL Read(int gpio, int& value);
    // Drives the pin high for a non-zero `value`, low for 0.
    BOOL Write(int gpio, int value);
    // The 32-bit word at a (4-byte aligned) physical address.
    BOOL ReadPhyAddr(unsigned phy_addr, int& value);
    BOOL WritePhyAddr(unsigned phy_addr, unsigned value);
    // Virtual address of `phy_addr` through a cached window covering at least
    // `size` bytes from there, or null.
    void* MemMap(unsigned phy_addr, unsigned size);

    // Unmaps every window and closes /dev/mem; the next access opens and maps
    // again. Addresses handed out by MemMap are invalid afterwards.
    BOOL CleanUp();

    CGPIOManager(const CGPIOManager&) = delete;
    CGPIOManager& operator=(const CGPIOManager&) = delete;

private:
    friend class CSingleton<CGPIOManager>;
    CGPIOManager();
    ~CGPIOManager();

    void* MemMapLocked(unsigned phy_addr, unsigned size);
    void ReleaseLocked();

    int m_FdMem;                    // /dev/mem, -1 until the first mapping
    MMAPNode_t* m_lpMMapHead;       // windows in creation order
    std::mutex m_MapLock;           // guards the descriptor and the window list

    static const uint32_t m_GPIOBaseAddr[9];
};

#endif
