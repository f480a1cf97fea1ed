#ifndef PERIPHERY_SERIAL_H
#define PERIPHERY_SERIAL_H

#include <cstddef>

#include "Function/types.h"

typedef enum emSerialBaudRate {
    emSerialBaudRate_2400 = 0,
    emSerialBaudRate_4800 = 1,
    emSerialBaudRate_9600 = 2,
    emSerialBaudRate_19200 = 3,
    emSerialBaudRate_38400 = 4,
} emSerialBaudRate;

typedef enum emSerialDataBits {
    emSerialDataBits_5 = 0,
    emSerialDataBits_6 = 1,
    emSerialDataBits_7 = 2,
    emSerialDataBits_8 = 3,
} emSerialDataBits;

typedef enum emSerialParity {
    emSerialParity_None = 0,
    emSerialParity_Odd = 1,
    emSerialParity_Even = 2,
    emSerialParity_Space = 3,
} emSerialParity;

typedef enum emSerialStopBits {
    emSerialStopBits_1 = 0,
    emSerialStopBits_2 = 1,
} emSerialStopBits;

typedef enum emSerialFlowControl {
    emSerialFlowControl_None = 0,
    emSerialFlowControl_Soft = 1,
    emSerialFlowControl_Hw = 2,
} emSerialFlowControl;

// A serial port (a UART or a pseudo-terminal). Whatever the mode, the line
// discipline never echoes, translates or swallows bytes: no canonical input,
// no echo, no signals, no CR/LF mapping and (without soft flow control) no
// XON/XOFF handling.
class CSerial {
public:
    CSerial();
    virtual ~CSerial();
    CSerial(const CSerial&) = delete;
    CSerial& operator=(const CSerial&) = delete;

    // Opens a closed port read-write, non-blocking, not as the controlling
    // terminal, and applies the line settings. VMIN 1, VTIME timeout_ms / 100
    // (0 in raw mode). 0 on any failure (the port stays closed).
    BOOL Open(const char* path, emSerialBaudRate baud, emSerialDataBits databits, emSerialParity parity,
              emSerialStopBits stopbits, emSerialFlowControl flow, int timeout_ms, BOOL rawmode);
    // -1 when closed; with `block` reads at once; else waits up to
    // timeout_sec for input. -1 on a time-out (errno ETIMEDOUT) or an error;
    // 0 when the line reports end of file.
    int Read(void* buf, size_t len, BOOL block, int timeout_sec);
    // Writes every byte and waits until they have left (tcdrain). The count,
    // or -1 (closed or failed).
    int Write(const void* buf, size_t len);
    BOOL Close();
    BOOL IsOpen() const { return m_fd >= 0; }

protected:
    int m_fd;
};

#endif
