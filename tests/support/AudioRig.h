#ifndef TESTS_SUPPORT_AUDIORIG_H
#define TESTS_SUPPORT_AUDIORIG_H

// A board with the media system up and the audio modules and codec at their
// power-on state, for the audio tests.

#include <gtest/gtest.h>

#include <cstring>

#include "Platform/AudioSim.h"
#include "Platform/MediaSim.h"
#include "Platform/MpiSys.h"
#include "Platform/host/audio/AcodecModel.h"
#include "support/TestBoard.h"

class CAudioRig : public testing::Test {
protected:
    void SetUp() override
    {
        Reset();
        VB_CONF_S vb;
        memset(&vb, 0, sizeof(vb));
        vb.u32MaxPoolCnt = 128;
        vb.astCommPool[0].u32BlkSize = 39744;
        vb.astCommPool[0].u32BlkCnt = 2;
        MPP_SYS_CONF_S sys = {64};
        ASSERT_EQ(HI_MPI_VB_SetConf(&vb), 0);
        ASSERT_EQ(HI_MPI_VB_Init(), 0);
        ASSERT_EQ(HI_MPI_SYS_SetConf(&sys), 0);
        ASSERT_EQ(HI_MPI_SYS_Init(), 0);
    }
    void TearDown() override { Reset(); }

    static void Reset()
    {
        XAudioSimReset();
        XMediaSimReset();
        CAcodecModel::instance()->ResetModel();
    }

    static AIO_ATTR_S Aio(uint32_t rate, uint32_t samples, uint32_t frames)
    {
        AIO_ATTR_S a = {};
        a.enSamplerate = static_cast<AUDIO_SAMPLE_RATE_E>(rate);
        a.enBitwidth = AUDIO_BIT_WIDTH_16;
        a.enWorkmode = AIO_MODE_I2S_MASTER;
        a.enSoundmode = AUDIO_SOUND_MODE_MONO;
        a.u32EXFlag = 1;
        a.u32FrmNum = frames;
        a.u32PtNumPerFrm = samples;
        a.u32ChnCnt = 1;
        a.u32ClkSel = 0;
        return a;
    }

    CTestBoard m_Board;
};

#endif
