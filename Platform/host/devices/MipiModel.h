#ifndef PLATFORM_HOST_DEVICES_MIPIMODEL_H
#define PLATFORM_HOST_DEVICES_MIPIMODEL_H

// The simulated board's MIPI receiver behind /dev/hi_mipi. The set-attribute
// request keeps the 304-byte record it was given (also written to
// DIR/log/hi_mipi.bin, byte for byte); every other request fails with ENOTTY.
// Tests reach it through instance() and may make requests fail.

#include <cstdint>
#include <mutex>

#include "Platform/Mipi.h"
#include "Platform/host/devices/DevModel.h"

class CMipiModel : public CDevModel {
public:
    static CMipiModel* instance();

    int Open() override;
    int Ioctl(unsigned long request, void* arg) override;
    void Close() override;

    // Power-on state: no attributes, no failures.
    void ResetModel();
    // 1 with the last record set, 0 before any.
    int Attr(combo_dev_attr_t* attr);
    int SetCount();
    // The next `times` set-attribute requests (every one with -1) fail with `error`.
    void FailSet(int error, int times = -1);

private:
    CMipiModel();
    std::mutex m_Lock;
    combo_dev_attr_t m_Attr;
    int m_nSets;
    int m_nFailError;
    int m_nFailTimes;
};

#endif
