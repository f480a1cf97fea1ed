#ifndef TESTS_AVCAPTURE_HI3516CV200_SENSORRIG_H
#define TESTS_AVCAPTURE_HI3516CV200_SENSORRIG_H

// A sensor driver registered with the simulated ISP on a fresh board, reached
// through the tables the ISP holds, with the I2C bus model reset.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "AVCapture/hi3516cv200/SensorDrivers.h"
#include "Platform/IspSim.h"
#include "Platform/MediaSim.h"
#include "Platform/MpiSns.h"
#include "Platform/host/devices/I2cModel.h"
#include "support/TestBoard.h"

struct tagSensorKind {
    const char* name;
    int (*reg)(void);
    int (*unreg)(void);
    HI_U32 id;
    uint32_t slave;
    const char* golden;  // file under tests/AVCapture/hi3516cv200/golden
    int writes;          // of the 1080p30 linear sequence
};

inline const tagSensorKind& XImx291()
{
    static const tagSensorKind k = {"imx291", sensor_register_callback_imx291, sensor_unregister_callback_imx291,
                                    291, 0x34, "imx291_linear_1080p30.i2c.log", 209};
    return k;
}

inline const tagSensorKind& XMn34222()
{
    static const tagSensorKind k = {"mn34222", sensor_register_callback_mn34222, sensor_unregister_callback_mn34222,
                                    34222, 0x6C, "mn34222_linear_1080p30.i2c.log", 99};
    return k;
}

class CSensorRig {
public:
    explicit CSensorRig(const tagSensorKind& kind) : m_Kind(kind)
    {
        XMediaSimReset();
        CI2cModel::instance()->ResetModel();
    }
    ~CSensorRig()
    {
        if (m_Isp != nullptr && m_Isp->stSnsExp.pfn_cmos_sensor_exit != nullptr) {
            m_Isp->stSnsExp.pfn_cmos_sensor_exit();  // the driver's descriptor closes
        }
        XMediaSimReset();
        CI2cModel::instance()->ResetModel();
    }

    // Registers the driver, takes its tables from the ISP and runs its global init.
    void Register()
    {
        ASSERT_EQ(m_Kind.reg(), 0);
        HI_U32 id = 0;
        ASSERT_TRUE(XIspSimSensorTables(&id, &m_Isp, &m_Ae, &m_Awb));
        ASSERT_EQ(id, m_Kind.id);
        ASSERT_NE(m_Isp, nullptr);
        ASSERT_NE(m_Ae, nullptr);
        ASSERT_NE(m_Awb, nullptr);
        Isp().pfn_cmos_sensor_global_init();
    }

    const ISP_SENSOR_EXP_FUNC_S& Isp() const { return m_Isp->stSnsExp; }
    const AE_SENSOR_EXP_FUNC_S& Ae() const { return m_Ae->stSnsExp; }
    const AWB_SENSOR_EXP_FUNC_S& Awb() const { return m_Awb->stSnsExp; }

    // The register-update list as the ISP takes it.
    ISP_SNS_REGS_INFO_S Regs() const
    {
        ISP_SNS_REGS_INFO_S r;
        memset(&r, 0, sizeof(r));
        EXPECT_EQ(Isp().pfn_cmos_get_sns_reg_info(&r), 0);
        return r;
    }
    // Indices of the entries marked for writing.
    static std::vector<int> Marked(const ISP_SNS_REGS_INFO_S& r)
    {
        std::vector<int> out;
        for (HI_U32 i = 0; i < r.u32RegNum; ++i) {
            if (r.astI2cData[i].bUpdate) {
                out.push_back(static_cast<int>(i));
            }
        }
        return out;
    }
    // Value of the list entry for register `reg` (-1 if none).
    static int64_t Entry(const ISP_SNS_REGS_INFO_S& r, uint32_t reg)
    {
        for (HI_U32 i = 0; i < r.u32RegNum; ++i) {
            if (r.astI2cData[i].u32RegAddr == reg) {
                return r.astI2cData[i].u32Data;
            }
        }
        return -1;
    }

    HI_S32 ImageMode(int w, int h, float fps) const
    {
        ISP_CMOS_SENSOR_IMAGE_MODE_S m = {static_cast<HI_U16>(w), static_cast<HI_U16>(h), fps};
        return Isp().pfn_cmos_set_image_mode(&m);
    }

    // The board's I2C log without the times: "BUS 0xSLAVE 0xREG 0xVALUE" lines.
    std::vector<std::string> BoardLog() const
    {
        std::vector<std::string> lines;
        std::ifstream in(m_Board.Path("/log/i2c.log"));
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line.substr(line.find(' ') + 1));
        }
        return lines;
    }
    std::vector<std::string> Golden() const
    {
        std::vector<std::string> lines;
        std::ifstream in(std::string(DASHCAM_SOURCE_DIR) + "/tests/AVCapture/hi3516cv200/golden/" + m_Kind.golden);
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }

    const tagSensorKind& Kind() const { return m_Kind; }

private:
    CTestBoard m_Board;
    const tagSensorKind& m_Kind;
    const ISP_SENSOR_REGISTER_S* m_Isp = nullptr;
    const AE_SENSOR_REGISTER_S* m_Ae = nullptr;
    const AWB_SENSOR_REGISTER_S* m_Awb = nullptr;
};

// Lines a call printed on standard output.
template <typename F>
std::string XCaptureOut(F f)
{
    fflush(stdout);
    testing::internal::CaptureStdout();
    f();
    fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

// Occurrences of `what` in `text`.
inline int XCount(const std::string& text, const std::string& what)
{
    int n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + what.size())) {
        ++n;
    }
    return n;
}

#endif
