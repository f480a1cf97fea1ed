#ifndef FACTORYTEST_FACTORYTEST_H
#define FACTORYTEST_FACTORYTEST_H

#include <atomic>
#include <cstddef>
#include <mutex>
#include <string>

#include "Function/types.h"
#include "Main/BootEnvStore.h"

// The boot loader's environment block: a little-endian CRC-32 of the rest,
// then name=value entries each ended by a NUL, the list ended by an empty one.
struct tagEnvironment {
    uint32_t crc32;
    unsigned char env[1];  // the rest of the block
};
typedef tagEnvironment Environment;

// The factory test: for now the boot environment store and the test verdict
// kept in it. One lock guards the block; threads other than start-up read
// values through GetEnvValue, which copies.
class CFactoryTest : public CBootEnvStore {
public:
    static CFactoryTest* instance();
    CFactoryTest();
    ~CFactoryTest() override;

    // Loads the block and takes the test verdict from it. Always TRUE.
    BOOL Init();
    BOOL GetFactoryTestOK();
    // Forced discovery of the receivers (set by the test station; 0 until then).
    BOOL GetForceFactoryTest() const { return m_bForceFactoryTest.load(); }

    // Loads the block (a CRC mismatch reads as an empty list).
    BOOL ReadEnvData() override;
    BOOL SaveEnvData() override;
    // Value inside the block, valid until the next SetEnv or ReadEnvData
    // (start-up thread only).
    const char* GetEnv(const char* name);
    // A copy of the value; FALSE when unset.
    BOOL GetEnvValue(const char* name, std::string& value);
    BOOL SetEnv(const char* name, const char* value) override;
    static const char* MatchEnv(const char* name, const char* entry);
    BOOL PrintEnv(const char* name);
    BOOL CheckTestDone();
    // devmodel into model[0..size-1], truncated and NUL-ended; 0 when unset or empty.
    BOOL GetModelString(char* model, size_t size);

    // Where the block lives (tests point it elsewhere).
    void SetEnvLocation(const char* devpath, long offset, long size);

private:
    // 0 loaded, 1 loaded with a CRC mismatch (cleared), -1 failed.
    int LoadLocked();
    void ReleaseLocked();
    // Walks the list: the first entry matching name (or -1), its end and
    // the list's closing NUL. FALSE when the block is not terminated.
    BOOL WalkLocked(const char* name, long& found, long& foundEnd, long& listEnd);
    const char* GetEnvLocked(const char* name);

    std::recursive_mutex m_EnvLock;
    std::string m_lpEnvDev;
    long m_EnvOffset;
    long m_EnvSize;
    unsigned char* m_lpEnvBuff;
    Environment* m_lpEnvData;
    BOOL m_bFactoryTestOK;
    std::atomic<BOOL> m_bForceFactoryTest{FALSE};
};

#endif
