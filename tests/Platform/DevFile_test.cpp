#include <gtest/gtest.h>

#include <errno.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <thread>

#include "Platform/Acodec.h"
#include "Platform/BoardRoot.h"
#include "Platform/DevFile.h"
#include "Platform/host/audio/AcodecModel.h"
#include "support/TestBoard.h"

namespace {

class AcodecModelTest : public testing::Test {
protected:
    void SetUp() override { CAcodecModel::instance()->ResetModel(); }
    void TearDown() override { CAcodecModel::instance()->ResetModel(); }

    int Request(int fd, uint32_t req, int32_t value)
    {
        return XDevIoctl(fd, req, &value);
    }

    CTestBoard m_Board;
};

}  // namespace

TEST_F(AcodecModelTest, RequestsDecodeIntoRegisters)
{
    CAcodecModel* codec = CAcodecModel::instance();
    int fd = XDevOpen(ACODEC_DEVICE_PATH, O_RDWR);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(codec->State().nOpen, 1);

    struct Case {
        uint32_t req;
        int32_t value;
        int ret;
    } cases[] = {
        {ACODEC_REQ_SAMPLE_RATE, ACODEC_RATE_CODE_8K, 0},
        {ACODEC_REQ_SAMPLE_RATE, 27, -1},
        {ACODEC_REQ_INPUT_VOLUME, 48, 0},
        {ACODEC_REQ_INPUT_VOLUME, 121, -1},
        {ACODEC_REQ_OUTPUT_VOLUME, -16, 0},
        {ACODEC_REQ_OUTPUT_VOLUME, 7, -1},
        {ACODEC_REQ_INPUT_MUTE_2, 1, 0},
        {ACODEC_REQ_INPUT_MUTE_1, 2, -1},
        {0xC0044199u, 0, -1},
    };
    for (const Case& c : cases) {
        errno = 0;
        EXPECT_EQ(Request(fd, c.req, c.value), c.ret) << std::hex << c.req << " " << std::dec << c.value;
        if (c.ret != 0) {
            EXPECT_EQ(errno, c.req == 0xC0044199u ? ENOTTY : EINVAL);
        }
    }
    AcodecState s = codec->State();
    EXPECT_EQ(s.nRateCode, ACODEC_RATE_CODE_8K);
    EXPECT_EQ(s.nInputVolume, 48);
    EXPECT_EQ(s.nOutputVolume, -16);
    EXPECT_EQ(s.nInputMute1, 0);
    EXPECT_EQ(s.nInputMute2, 1);
    EXPECT_TRUE(codec->MicMuted());
    EXPECT_EQ(Request(fd, ACODEC_REQ_INPUT_MUTE_2, 0), 0);
    EXPECT_FALSE(codec->MicMuted());
    EXPECT_EQ(Request(fd, ACODEC_REQ_INPUT_MUTE_1, 1), 0);
    EXPECT_TRUE(codec->MicMuted());

    // the reset returns the registers to their power-on values
    EXPECT_EQ(XDevIoctl(fd, ACODEC_REQ_RESET, nullptr), 0);
    s = codec->State();
    EXPECT_EQ(s.nResets, 1u);
    EXPECT_EQ(s.nRateCode, -1);
    EXPECT_EQ(s.nOutputVolume, 0);
    EXPECT_FALSE(codec->MicMuted());
    // a request that takes a value refuses a missing one
    EXPECT_EQ(XDevIoctl(fd, ACODEC_REQ_INPUT_VOLUME, nullptr), -1);
    EXPECT_EQ(errno, EFAULT);

    const std::vector<AcodecRequest> log = codec->Requests();
    ASSERT_EQ(log.size(), 13u);
    EXPECT_EQ(log[0].request, ACODEC_REQ_SAMPLE_RATE);
    EXPECT_EQ(log[0].value, ACODEC_RATE_CODE_8K);
    EXPECT_EQ(log[1].result, -1);
    EXPECT_EQ(log[1].error, EINVAL);
    EXPECT_EQ(log[11].request, ACODEC_REQ_RESET);
    EXPECT_EQ(XDevClose(fd), 0);
    EXPECT_EQ(codec->State().nOpen, 0);
    // a closed descriptor reaches no device
    EXPECT_EQ(Request(fd, ACODEC_REQ_INPUT_VOLUME, 1), -1);
    EXPECT_EQ(codec->Requests().size(), 13u);
}

TEST_F(AcodecModelTest, LogNamesTheCallingThread)
{
    int fd = XDevOpen(ACODEC_DEVICE_PATH, O_RDWR);
    ASSERT_GE(fd, 0);
    pid_t other = 0;
    std::thread t([&] {
        other = static_cast<pid_t>(syscall(SYS_gettid));
        Request(fd, ACODEC_REQ_INPUT_MUTE_1, 1);
    });
    t.join();
    Request(fd, ACODEC_REQ_INPUT_MUTE_1, 0);
    const std::vector<AcodecRequest> log = CAcodecModel::instance()->Requests();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].tid, other);
    EXPECT_EQ(log[1].tid, static_cast<pid_t>(syscall(SYS_gettid)));
    EXPECT_NE(log[0].tid, log[1].tid);
    XDevClose(fd);
}

TEST_F(AcodecModelTest, InjectedFailures)
{
    CAcodecModel* codec = CAcodecModel::instance();
    codec->FailOpen(ENODEV, 1);
    errno = 0;
    EXPECT_EQ(XDevOpen(ACODEC_DEVICE_PATH, O_RDWR), -1);
    EXPECT_EQ(errno, ENODEV);
    int fd = XDevOpen(ACODEC_DEVICE_PATH, O_RDWR);
    ASSERT_GE(fd, 0);

    codec->FailRequest(ACODEC_REQ_SAMPLE_RATE, EIO, 2);
    EXPECT_EQ(Request(fd, ACODEC_REQ_SAMPLE_RATE, ACODEC_RATE_CODE_8K), -1);
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(Request(fd, ACODEC_REQ_SAMPLE_RATE, ACODEC_RATE_CODE_8K), -1);
    EXPECT_EQ(Request(fd, ACODEC_REQ_SAMPLE_RATE, ACODEC_RATE_CODE_8K), 0);
    EXPECT_EQ(codec->State().nRateCode, ACODEC_RATE_CODE_8K);

    codec->FailRequest(ACODEC_REQ_RESET, EBUSY);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(XDevIoctl(fd, ACODEC_REQ_RESET, nullptr), -1);
    }
    EXPECT_EQ(codec->State().nResets, 0u);
    codec->ClearFailures();
    EXPECT_EQ(XDevIoctl(fd, ACODEC_REQ_RESET, nullptr), 0);
    XDevClose(fd);
}

TEST_F(AcodecModelTest, DeviceFilesOfTheBoard)
{
    // a board without the device file has no codec
    unlink(m_Board.Path("/dev/acodec").c_str());
    EXPECT_EQ(XDevOpen(ACODEC_DEVICE_PATH, O_RDWR), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(CAcodecModel::instance()->State().nOpen, 0);
    // a file no model answers for refuses every request
    int fd = XDevOpen("/dev/mem", O_RDWR);
    ASSERT_GE(fd, 0);
    int32_t v = 0;
    EXPECT_EQ(XDevIoctl(fd, ACODEC_REQ_INPUT_VOLUME, &v), -1);
    EXPECT_EQ(errno, ENOTTY);
    XDevClose(fd);
    EXPECT_TRUE(CAcodecModel::instance()->Requests().empty());
}
