#ifndef PERIPHERY_NMEAREADER_H
#define PERIPHERY_NMEAREADER_H

#include <memory>

#include "Periphery/Serial.h"

// The receiver's bytes cut into lines: a line ends at LF (a CR before it is
// dropped); one longer than the caller's buffer is cut there and its rest
// starts the next. Each read of the port waits up to a second.
class CNmeaReader {
public:
    enum {
        kBufferSize = 1024,  // bytes taken from the port at a time
        kTimeout = -1,       // the port gave nothing within its wait
        kDead = -2,          // the line fails at once (hung up, adapter gone)
    };

    explicit CNmeaReader(CSerial& port);
    CNmeaReader(const CNmeaReader&) = delete;
    CNmeaReader& operator=(const CNmeaReader&) = delete;

    // The next line without its end into buf[0..size-1], NUL-ended: its
    // length, or kTimeout or kDead with buf empty (a line begun is lost).
    int GetLine(char* buf, int size);

private:
    // The next byte, or kTimeout or kDead.
    int GetChar();

    CSerial& m_Port;
    std::unique_ptr<char[]> m_lpBuff;
    char* m_lpBuffPtr;
    char* m_lpBuffEnd;
};

#endif
