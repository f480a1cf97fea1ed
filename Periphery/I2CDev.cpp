#include "Periphery/I2CDev.h"

#include <fcntl.h>

#include <cstdio>

#include "Function/XLog.h"
#include "Platform/DevFile.h"
#include "Platform/I2c.h"

namespace {

void* Arg(uintptr_t v)
{
    return reinterpret_cast<void*>(v);
}

}  // namespace

CI2CDev::CI2CDev(int bus, unsigned char devAddr, unsigned regWidth, unsigned dataWidth, const I2CDevRoles& roles)
    : m_DevAddr(devAddr),
      m_RegWidth(regWidth),
      m_DataWidth(dataWidth),
      m_FD(-1),
      m_Sensitivity(emSenstivity_Medium),
      m_ContinueAlarm(FALSE),
      m_DevActive(FALSE),
      m_LastCheckTime(0),
      m_CheckCount(0),
      m_I2CNum(static_cast<unsigned>(bus)),
      m_lpPorts(roles.ports),
      m_Roles(roles)
{
}

CI2CDev::~CI2CDev()
{
    Close();
}

BOOL CI2CDev::PostAlarm(TASK* task)
{
    return m_Roles.alarms != nullptr && m_Roles.alarms->PutAlarmTask(task);
}

int CI2CDev::Setting(const char* key, int default_int)
{
    return m_Roles.settings != nullptr ? m_Roles.settings->GetInt("funcset", key, default_int) : default_int;
}

BOOL CI2CDev::DevCorrect()
{
    return TRUE;
}

void CI2CDev::SetSensitivity(int sensitivity)
{
    m_Sensitivity = sensitivity;
}

void CI2CDev::TESTGetIRSensorParam(unsigned&, unsigned&, unsigned&, unsigned&, unsigned&)
{
}

BOOL CI2CDev::TESTSetIRSensorParam(unsigned, unsigned)
{
    return TRUE;
}

void CI2CDev::TESTGetGSensorParam(float& trigger)
{
    trigger = 0.0f;
}

void CI2CDev::TESTSetGSensorParam(float)
{
}

BOOL CI2CDev::Open()
{
    std::lock_guard<std::recursive_mutex> lock(m_Lock);
    if (m_FD < 0) {
        char path[16];
        snprintf(path, sizeof(path), "/dev/i2c-%u", m_I2CNum);
        m_FD = XDevOpen(path, O_RDWR);
        if (m_FD >= 0) {
            XDevIoctl(m_FD, I2C_SLAVE_FORCE, Arg(m_DevAddr));
            if (XDevIoctl(m_FD, I2C_16BIT_REG, Arg(m_RegWidth == 2 ? 1 : 0)) < 0) {
                if (m_RegWidth == 2) {
                    XERROR("I2C [CMD_SET_REG_WIDTH:16] error!\n");
                } else {
                    XERROR("I2C [CMD_SET_REG_WIDTH:8] error!\n");
                }
                XDevClose(m_FD);
                m_FD = -1;
            } else if (XDevIoctl(m_FD, I2C_16BIT_DATA, Arg(m_DataWidth == 2 ? 1 : 0)) < 0) {
                if (m_DataWidth == 2) {
                    XERROR("I2C [I2C_16BIT_DATA:16] error!\n");
                } else {
                    XERROR("I2C [I2C_16BIT_DATA:8] error!\n");
                }
                XDevClose(m_FD);
                m_FD = -1;
            }
        }
    }
    if (m_FD >= 0) {
        return TRUE;
    }
    XERROR("Open i2c dev error!\n");
    return FALSE;
}

BOOL CI2CDev::Close()
{
    std::lock_guard<std::recursive_mutex> lock(m_Lock);
    if (m_FD >= 0) {
        XDevClose(m_FD);
        m_FD = -1;
    }
    return TRUE;
}

BOOL CI2CDev::Write(unsigned reg, unsigned data)
{
    std::lock_guard<std::recursive_mutex> lock(m_Lock);
    if (m_FD < 0) {
        return FALSE;
    }
    unsigned char buf[4];
    unsigned n = 0;
    buf[n++] = static_cast<unsigned char>(reg & 0xFF);
    if (m_RegWidth == 2) {
        buf[n++] = static_cast<unsigned char>((reg >> 8) & 0xFF);
    }
    buf[n++] = static_cast<unsigned char>(data & 0xFF);
    if (m_DataWidth == 2) {
        buf[n++] = static_cast<unsigned char>((data >> 8) & 0xFF);
    }
    if (XDevWrite(m_FD, buf, n) < 0) {
        XERROR(" I2C WRITE error(inc=%u,dev=0x%x,reg=0x%x[%u],val=0x%x[%u]!\n", m_I2CNum, m_DevAddr, reg,
               m_RegWidth, data, m_DataWidth);
        return FALSE;
    }
    return TRUE;
}

BOOL CI2CDev::Read(unsigned reg, unsigned& data)
{
    std::lock_guard<std::recursive_mutex> lock(m_Lock);
    if (m_FD < 0) {
        return FALSE;
    }
    unsigned char buf[4] = {0, 0, 0, 0};
    buf[0] = static_cast<unsigned char>(reg & 0xFF);
    if (m_RegWidth == 2) {
        buf[1] = static_cast<unsigned char>((reg >> 8) & 0xFF);
    }
    if (XDevRead(m_FD, buf, m_RegWidth) < 0) {
        XERROR(" I2C READ error(inc=%u, dev=0x%x, reg=0x%x[%u])!\n", m_I2CNum, m_DevAddr, reg, m_RegWidth);
        return FALSE;
    }
    data = buf[0];
    if (m_DataWidth == 2) {
        data |= static_cast<unsigned>(buf[1]) << 8;
    }
    return TRUE;
}
