#include "Periphery/GPIO.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <new>
#include <string>

#include "Function/XLog.h"
#include "Platform/BoardRoot.h"

// Registers are accessed as native 32-bit words; the SoC and the register
// file of the simulated board are both little-endian.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "registers are little-endian words");
// Every 32-bit physical address must be a valid mmap offset.
static_assert(sizeof(off_t) > sizeof(uint32_t), "needs 64-bit file offsets");

namespace {

const uint64_t kPageSize = 4096;
const uint64_t kPhysSpace = 1ULL << 32;
const unsigned kRegWindow = 128;
const int kGroups = 9;

// Register address and bit of a pin; false for a number outside 0-7, 10-17, ... 80-87.
bool XPinRegister(const uint32_t* bases, int gpio, unsigned& addr, int& bit)
{
    if (gpio < 0) {
        return false;
    }
    int group = gpio / 10;
    bit = gpio % 10;
    if (group >= kGroups || bit > 7) {
        return false;
    }
    // Masked data register: address bits 2-9 select the data bits touched.
    addr = bases[group] | (1U << (bit + 2));
    return true;
}

}  // namespace

const uint32_t CGPIOManager::m_GPIOBaseAddr[9] = {
    0x20140000, 0x20150000, 0x20160000, 0x20170000, 0x20180000,
    0x20190000, 0x201A0000, 0x201B0000, 0x201C0000,
};


CGPIOManager::CGPIOManager() : m_FdMem(-1), m_lpMMapHead(nullptr)
{
}

CGPIOManager::~CGPIOManager()
{
    std::lock_guard<std::mutex> lock(m_MapLock);
    ReleaseLocked();
}

BOOL CGPIOManager::CleanUp()
{
    std::lock_guard<std::mutex> lock(m_MapLock);
    ReleaseLocked();
    return TRUE;
}

void CGPIOManager::ReleaseLocked()
{
    MMAPNode_t* node = m_lpMMapHead;
    while (node != nullptr) {
        MMAPNode_t* next = node->next;
        if (munmap(reinterpret_cast<void*>(node->Start_V), node->length) != 0) {
            XERROR("CGPIOManager::~CGPIOManager(): munmap failed!\n");
        }
        delete node;
        node = next;
    }
    m_lpMMapHead = nullptr;
    if (m_FdMem >= 0) {
        close(m_FdMem);
        m_FdMem = -1;
    }
}

BOOL CGPIOManager::Read(int gpio, int& value)
{
    unsigned addr = 0;
    int bit = 0;
    if (!XPinRegister(m_GPIOBaseAddr, gpio, addr, bit)) {
        XERROR("INVALID GIO [%d]...\n", gpio);
        return FALSE;
    }
    std::lock_guard<std::mutex> lock(m_MapLock);
    volatile uint32_t* reg = static_cast<volatile uint32_t*>(MemMapLocked(addr, kRegWindow));
    if (reg == nullptr) {
        XERROR("CGPIOManager::Read(%d) MemMap() error.\n", gpio);
        return FALSE;
    }
    value = static_cast<int>((*reg >> bit) & 1U);
    return TRUE;
}

BOOL CGPIOManager::Write(int gpio, int value)
{
    unsigned addr = 0;
    int bit = 0;
    if (!XPinRegister(m_GPIOBaseAddr, gpio, addr, bit)) {
        XERROR("INVALID GIO [%d]...\n", gpio);
        return FALSE;
    }
    std::lock_guard<std::mutex> lock(m_MapLock);
    volatile uint32_t* reg = static_cast<volatile uint32_t*>(MemMapLocked(addr, kRegWindow));
    if (reg == nullptr) {
        XERROR("CGPIOManager::Write(%d) MemMap() error.\n", gpio);
        return FALSE;
    }
    *reg = value ? (1U << bit) : 0U;
    return TRUE;
}

BOOL CGPIOManager::ReadPhyAddr(unsigned phy_addr, int& value)
{
    if (phy_addr % 4 != 0) {
        XERROR("CGPIOManager::ReadPhyAddr(%#x) unaligned address.\n", phy_addr);
        return FALSE;
    }
    std::lock_guard<std::mutex> lock(m_MapLock);
    volatile uint32_t* reg = static_cast<volatile uint32_t*>(MemMapLocked(phy_addr, kRegWindow));
    if (reg == nullptr) {
        XERROR("CGPIOManager::ReadPhyAddr(%#x) MemMap() error.\n", phy_addr);
        return FALSE;
    }
    value = static_cast<int>(*reg);
    return TRUE;
}

BOOL CGPIOManager::WritePhyAddr(unsigned phy_addr, unsigned value)
{
    if (phy_addr % 4 != 0) {
        XERROR("CGPIOManager::WritePhyAddr(%#x) unaligned address.\n", phy_addr);
        return FALSE;
    }
    std::lock_guard<std::mutex> lock(m_MapLock);
    volatile uint32_t* reg = static_cast<volatile uint32_t*>(MemMapLocked(phy_addr, kRegWindow));
    if (reg == nullptr) {
        return FALSE;
    }
    *reg = static_cast<uint32_t>(value);
    return TRUE;
}

void* CGPIOManager::MemMap(unsigned phy_addr, unsigned size)
{
    std::lock_guard<std::mutex> lock(m_MapLock);
    return MemMapLocked(phy_addr, size);
}

void* CGPIOManager::MemMapLocked(unsigned phy_addr, unsigned size)
{
    if (size == 0) {
        XERROR("CGPIOManager::MemMap():size can't be zero!\n");
        return nullptr;
    }
    const uint64_t start = phy_addr;
    const uint64_t end = start + size;
    for (MMAPNode_t* node = m_lpMMapHead; node != nullptr; node = node->next) {
        if (node->Start_P <= start && end <= static_cast<uint64_t>(node->Start_P) + node->length) {
            return reinterpret_cast<void*>(node->Start_V + (start - node->Start_P));
        }
    }

    if (m_FdMem < 0) {
        std::string path = XBoardPath("/dev/mem");
        m_FdMem = open(path.c_str(), O_RDWR | O_SYNC | O_CLOEXEC);
        if (m_FdMem < 0) {
            XERROR("CGPIOManager::MemMap():open /dev/mem error!\n");
            return nullptr;
        }
    }

    const uint64_t offset = start % kPageSize;
    const uint64_t page = start - offset;
    const uint64_t length = ((size + offset - 1) / kPageSize) * kPageSize + kPageSize;
    bool fits = page + length <= kPhysSpace && length <= UINT32_MAX;
    // Behind a regular file (a register image) a window past its end would
    // fault on the first access; the real /dev/mem is a character device.
    struct stat st;
    if (fits && fstat(m_FdMem, &st) == 0 && S_ISREG(st.st_mode)) {
        fits = page + length <= static_cast<uint64_t>(st.st_size);
    }
    void* mapped = MAP_FAILED;
    if (fits) {
        mapped = mmap(nullptr, static_cast<size_t>(length), PROT_READ | PROT_WRITE, MAP_SHARED, m_FdMem,
                      static_cast<off_t>(page));
    }
    if (mapped == MAP_FAILED) {
        XERROR("CGPIOManager::MemMap():mmap @ 0x%x error!\n", static_cast<unsigned>(page));
        return nullptr;
    }

    MMAPNode_t* node = new (std::nothrow) MMAPNode_t;
    if (node == nullptr) {
        XERROR("CGPIOManager::MemMap():malloc new node failed!\n");
        munmap(mapped, static_cast<size_t>(length));
        return nullptr;
    }
    node->Start_P = static_cast<uint32_t>(page);
    node->Start_V = reinterpret_cast<uintptr_t>(mapped);
    node->length = static_cast<uint32_t>(length);
    node->next = nullptr;
    MMAPNode_t** tail = &m_lpMMapHead;
    while (*tail != nullptr) {
        tail = &(*tail)->next;
    }
    *tail = node;
    return static_cast<char*>(mapped) + offset;
}
