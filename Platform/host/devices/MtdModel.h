#ifndef PLATFORM_HOST_DEVICES_MTDMODEL_H
#define PLATFORM_HOST_DEVICES_MTDMODEL_H

// The simulated board's flash behind /dev/mtd0: the board file holds its
// contents (its size is the flash's size). The type comes from
// DIR/dev/mtd0.type ("nor", "nand" or a number; NOR without it), an erase
// fails with EIO while DIR/dev/mtd0.erase-fail exists. Each request is kept
// in a log and MEMUNLOCK, MEMERASE and MEMLOCK also go to DIR/log/mtd.log.
// Tests reach it through instance() and may inject failures.

#include <cstdint>
#include <mutex>
#include <vector>

#include "Platform/host/devices/DevModel.h"

struct tagMtdRequest {
    uint32_t request;
    uint32_t start;   // region of an erase, lock or unlock (0 otherwise)
    uint32_t length;
    int result;       // 0 or -1
};
typedef tagMtdRequest MtdRequest;

class CMtdModel : public CDevModel {
public:
    static CMtdModel* instance();

    int Open() override;
    int Ioctl(unsigned long request, void* arg) override;
    void Close() override;
    unsigned long Transfer(bool write, unsigned long len) override;

    // Log, counters and injected failures dropped.
    void ResetModel();
    std::vector<MtdRequest> Requests();
    uint32_t Erases();           // successful erases since the reset
    // Type MEMGETINFO reports; -1 takes the board's setting again.
    void SetType(int type);
    // The next `times` erases (every one with -1) fail with `error`.
    void FailErase(int error, int times = -1);
    // The next read or write carries at most `len` bytes.
    void ShortRead(unsigned long len);
    void ShortWrite(unsigned long len);

private:
    CMtdModel() = default;
    int BoardType();
    void LogLine(const char* what, uint32_t start, uint32_t length);

    std::mutex m_Lock;
    std::vector<MtdRequest> m_Requests;
    uint32_t m_nErases = 0;
    int m_nType = -1;
    int m_nEraseError = 0;
    int m_nEraseTimes = 0;
    long m_nShortRead = -1;
    long m_nShortWrite = -1;
};

#endif
