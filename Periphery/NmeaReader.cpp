#include "Periphery/NmeaReader.h"

#include <errno.h>

CNmeaReader::CNmeaReader(CSerial& port) : m_Port(port), m_lpBuff(new char[kBufferSize])
{
    m_lpBuffPtr = m_lpBuff.get();
    m_lpBuffEnd = m_lpBuff.get();
}

int CNmeaReader::GetChar()
{
    if (m_lpBuffPtr >= m_lpBuffEnd) {
        const int n = m_Port.Read(m_lpBuff.get(), kBufferSize, FALSE, 1);
        if (n <= 0) {
            // A dead line fails at once and stays readable: the caller pauses
            // instead of spinning.
            return n == 0 || errno != ETIMEDOUT ? kDead : kTimeout;
        }
        m_lpBuffPtr = m_lpBuff.get();
        m_lpBuffEnd = m_lpBuff.get() + n;
    }
    return static_cast<unsigned char>(*m_lpBuffPtr++);
}

int CNmeaReader::GetLine(char* buf, int size)
{
    int n = 0;
    while (true) {
        const int c = GetChar();
        if (c < 0) {
            buf[0] = '\0';
            return c;
        }
        if (c == '\n') {
            if (n > 0 && buf[n - 1] == '\r') {
                --n;
            }
            buf[n] = '\0';
            return n;
        }
        buf[n++] = static_cast<char>(c);
        if (n >= size - 1) {
            buf[n] = '\0';
            return n;
        }
    }
}
