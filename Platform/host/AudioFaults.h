#ifndef PLATFORM_HOST_AUDIOFAULTS_H
#define PLATFORM_HOST_AUDIOFAULTS_H

// Injected failures of the simulated audio modules: call FUNC (its SDK name,
// "HI_MPI_AENC_CreateChn") on channel CHN (-1: any) returns CODE for the next
// TIMES calls (-1: every call). Thread-safe.

#include <cstdint>
#include <string>
#include <vector>

class CAudioFaults {
public:
    static CAudioFaults* instance();

    void Fail(const std::string& func, int32_t code, int chn = -1, int times = -1);
    void Clear();
    // The code to return for this call (and one use taken), or 0.
    int32_t Take(const char* func, int chn = -1);

private:
    CAudioFaults() = default;
    struct tagFault {
        std::string func;
        int32_t code;
        int chn;
        int times;
    };
    std::vector<tagFault> m_Faults;
};

#endif
