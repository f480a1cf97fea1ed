#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Periphery/GPIO.h"
#include "Platform/BoardRoot.h"
#include "support/TestBoard.h"
#include "tests/Periphery/GPIOTestSupport.h"

namespace {

// The manager mapped afresh on a new board for every test.
class GPIOTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_lpGpio = CGPIOManager::instance();
        m_lpGpio->CleanUp();
    }
    void TearDown() override { m_lpGpio->CleanUp(); }

    // The register word as the board tool reads it.
    uint32_t Reg(uint32_t addr) const
    {
        return static_cast<uint32_t>(strtoul(m_Board.Sim("reg", std::to_string(addr)).c_str(), nullptr, 0));
    }
    void SetReg(uint32_t addr, uint32_t value) const
    {
        m_Board.Sim("reg", std::to_string(addr) + " " + std::to_string(value));
    }
    int Windows() const { return XCountMappings(m_Board.Path("/dev/mem")); }

    CTestBoard m_Board;
    CGPIOManager* m_lpGpio = nullptr;
};

struct tagPinCase {
    int pin;
    uint32_t reg;    // masked data register of the pin
    uint32_t word;   // the word that drives it high
};

TEST_F(GPIOTest, PinsOfTheBoardDriveAndReadTheirOwnRegister)
{
    const tagPinCase cases[] = {
        {0, 0x20140004, 0x01},  {1, 0x20140008, 0x02},  {67, 0x201A0200, 0x80}, {71, 0x201B0008, 0x02},
        {73, 0x201B0020, 0x08}, {75, 0x201B0080, 0x20}, {80, 0x201C0004, 0x01},
    };
    for (const tagPinCase& c : cases) {
        SCOPED_TRACE("pin " + std::to_string(c.pin));
        ASSERT_TRUE(m_lpGpio->Write(c.pin, 1));
        EXPECT_EQ(Reg(c.reg), c.word);
        EXPECT_EQ(m_Board.GetPin(c.pin), 1);
        ASSERT_TRUE(m_lpGpio->Write(c.pin, 0));
        EXPECT_EQ(Reg(c.reg), 0u);

        int value = -1;
        SetReg(c.reg, c.word);
        ASSERT_TRUE(m_lpGpio->Read(c.pin, value));
        EXPECT_EQ(value, 1);
        SetReg(c.reg, 0);
        ASSERT_TRUE(m_lpGpio->Read(c.pin, value));
        EXPECT_EQ(value, 0);
    }
}

TEST_F(GPIOTest, FreshBoardInputsAndNonZeroLevels)
{
    int value = -1;
    ASSERT_TRUE(m_lpGpio->Read(80, value));
    EXPECT_EQ(value, 1) << "reset key released";
    ASSERT_TRUE(m_lpGpio->Read(0, value));
    EXPECT_EQ(value, 0) << "power present";

    // Any non-zero level drives the pin high, with only its own bit.
    for (int level : {5, -1, INT_MIN}) {
        ASSERT_TRUE(m_lpGpio->Write(67, 0));
        ASSERT_TRUE(m_lpGpio->Write(67, level));
        EXPECT_EQ(XFileWord(m_Board.Path("/dev/mem"), 0x201A0200), 0x80u) << level;
    }
    // The last valid pin of the last group.
    ASSERT_TRUE(m_lpGpio->Write(87, 1));
    EXPECT_EQ(m_Board.GetPin(87), 1);
}

TEST_F(GPIOTest, InvalidPinsAreRefusedWithoutTouchingTheValue)
{
    for (int pin : {-1, 8, 9, 88, 89, 90, INT_MIN, INT_MAX}) {
        SCOPED_TRACE("pin " + std::to_string(pin));
        int value = 42;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(m_lpGpio->Read(pin, value));
        EXPECT_FALSE(m_lpGpio->Write(pin, 1));
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(value, 42);
        std::string text = "]: INVALID GIO [" + std::to_string(pin) + "]...\n";
        size_t first = err.find(text);
        ASSERT_NE(first, std::string::npos) << err;
        EXPECT_NE(err.find(text, first + 1), std::string::npos) << "both calls report it";
        EXPECT_EQ(err.rfind("Error[", 0), 0u) << err;
    }
    EXPECT_EQ(Windows(), 0) << "nothing mapped for a refused pin";
}

TEST_F(GPIOTest, EachPageIsMappedOnceAndReused)
{
    int value = 0;
    ASSERT_TRUE(m_lpGpio->Read(0, value));
    ASSERT_TRUE(m_lpGpio->Read(7, value));
    EXPECT_EQ(Windows(), 1);

    char* base = static_cast<char*>(m_lpGpio->MemMap(0x20140000, 4));
    char* pin7 = static_cast<char*>(m_lpGpio->MemMap(0x20140200, 4));
    ASSERT_NE(base, nullptr);
    EXPECT_EQ(pin7, base + 0x200);
    EXPECT_EQ(Windows(), 1);

    ASSERT_TRUE(m_lpGpio->Read(80, value));
    EXPECT_EQ(Windows(), 2);
    ASSERT_TRUE(m_lpGpio->ReadPhyAddr(0x10020050, value));
    ASSERT_TRUE(m_lpGpio->ReadPhyAddr(0x10020054, value));
    EXPECT_EQ(Windows(), 3);
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(m_lpGpio->Write(1, i & 1));
    }
    EXPECT_EQ(Windows(), 3);
}

TEST_F(GPIOTest, RequestCrossingAWindowEndGetsItsOwnWindow)
{
    char* first = static_cast<char*>(m_lpGpio->MemMap(0x20140FF0, 16));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(Windows(), 1);

    char* crossing = static_cast<char*>(m_lpGpio->MemMap(0x20140FF8, 16));
    ASSERT_NE(crossing, nullptr);
    EXPECT_EQ(Windows(), 2);
    EXPECT_NE(crossing, first + 8);
    // The new window starts at its own page and reaches into the next one.
    const uint32_t word = 0xA5C3E1F0u;
    *reinterpret_cast<volatile uint32_t*>(crossing + 8) = word;
    EXPECT_EQ(Reg(0x20141000), word);
    *reinterpret_cast<volatile uint32_t*>(crossing - 0xFF8) = 7;
    EXPECT_EQ(Reg(0x20140000), 7u);

    // Later requests find the windows in creation order.
    EXPECT_EQ(m_lpGpio->MemMap(0x20140FF0, 16), first);
    EXPECT_EQ(m_lpGpio->MemMap(0x20140FF8, 16), crossing);
    EXPECT_EQ(Windows(), 2);

    // A size whose end wraps past 4 GiB is never inside a window.
    testing::internal::CaptureStderr();
    EXPECT_EQ(m_lpGpio->MemMap(0x20140010, 0xFFFFFFF0u), nullptr);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(Windows(), 2);
}

TEST_F(GPIOTest, PhysicalRegisterWords)
{
    SetReg(0x10020050, 0x80000001u);
    int value = 0;
    ASSERT_TRUE(m_lpGpio->ReadPhyAddr(0x10020050, value));
    EXPECT_EQ(static_cast<uint32_t>(value), 0x80000001u);

    ASSERT_TRUE(m_lpGpio->WritePhyAddr(0x10020054, 0xCAFEF00Du));
    EXPECT_EQ(Reg(0x10020054), 0xCAFEF00Du);

    // A word access needs an aligned address.
    value = 42;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(m_lpGpio->ReadPhyAddr(0x10020052, value));
    EXPECT_FALSE(m_lpGpio->WritePhyAddr(0x10020051, 1));
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(value, 42);
    EXPECT_NE(err.find("ReadPhyAddr(0x10020052)"), std::string::npos) << err;
    EXPECT_EQ(Reg(0x10020050), 0x80000001u);
}

struct tagMapFailure {
    unsigned addr;
    unsigned size;
    const char* text;
};

TEST_F(GPIOTest, MappingFailuresReturnNull)
{
    const tagMapFailure cases[] = {
        {0x20140000, 0, "]: CGPIOManager::MemMap():size can't be zero!\n"},
        // Past the end of the register file.
        {0x20200000, 4, "]: CGPIOManager::MemMap():mmap @ 0x20200000 error!\n"},
        {0x201FF000, 0x2000, "]: CGPIOManager::MemMap():mmap @ 0x201ff000 error!\n"},
        // Past the end of the 32-bit physical space.
        {0xFFFFFFF0u, 32, "]: CGPIOManager::MemMap():mmap @ 0xfffff000 error!\n"},
        {0x10, 0xFFFFFFFFu, "]: CGPIOManager::MemMap():mmap @ 0x0 error!\n"},
    };
    for (const tagMapFailure& c : cases) {
        SCOPED_TRACE(c.text);
        testing::internal::CaptureStderr();
        EXPECT_EQ(m_lpGpio->MemMap(c.addr, c.size), nullptr);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find(c.text), std::string::npos) << err;
    }
    int value = 42;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(m_lpGpio->ReadPhyAddr(0x20200000, value));
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("]: CGPIOManager::ReadPhyAddr(0x20200000) MemMap() error.\n"), std::string::npos) << err;
    EXPECT_EQ(value, 42);
    EXPECT_EQ(Windows(), 0);
}

TEST_F(GPIOTest, MissingRegisterFile)
{
    ASSERT_EQ(unlink(m_Board.Path("/dev/mem").c_str()), 0);
    int value = 42;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(m_lpGpio->Read(80, value));
    EXPECT_FALSE(m_lpGpio->Write(71, 1));
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(value, 42);
    EXPECT_NE(err.find("]: CGPIOManager::MemMap():open /dev/mem error!\n"), std::string::npos) << err;
    EXPECT_NE(err.find("]: CGPIOManager::Read(80) MemMap() error.\n"), std::string::npos) << err;
    EXPECT_NE(err.find("]: CGPIOManager::Write(71) MemMap() error.\n"), std::string::npos) << err;
}

TEST_F(GPIOTest, WithoutABoardTheMachinesMemoryIsNeverOpened)
{
    PlatformSetBoardRoot("");
    int value = 42;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(m_lpGpio->Read(80, value));
    EXPECT_EQ(m_lpGpio->MemMap(0x10020000, 4), nullptr);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("open /dev/mem error!"), std::string::npos) << err;
    EXPECT_EQ(XCountMappings(" /dev/mem"), 0);
    EXPECT_EQ(value, 42);
    PlatformSetBoardRoot(m_Board.Dir().c_str());
}

TEST_F(GPIOTest, CleanUpLetsTheNextAccessMapTheCurrentBoard)
{
    ASSERT_TRUE(m_lpGpio->Write(71, 1));
    EXPECT_EQ(Windows(), 1);
    ASSERT_TRUE(m_lpGpio->CleanUp());
    EXPECT_EQ(Windows(), 0);

    CTestBoard other;
    ASSERT_TRUE(m_lpGpio->Write(71, 1));
    EXPECT_EQ(other.GetPin(71), 1);
    EXPECT_EQ(XCountMappings(other.Path("/dev/mem")), 1);
    EXPECT_EQ(Windows(), 0);
    m_lpGpio->CleanUp();
}

}  // namespace
