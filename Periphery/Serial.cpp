#include "Periphery/Serial.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/select.h>
#include <termios.h>
#include <unistd.h>

#include "Function/XLog.h"

namespace {

speed_t XBaudToSpeed(emSerialBaudRate baud, bool& ok)
{
    ok = true;
    switch (baud) {
    case emSerialBaudRate_2400: return B2400;
    case emSerialBaudRate_4800: return B4800;
    case emSerialBaudRate_9600: return B9600;
    case emSerialBaudRate_19200: return B19200;
    case emSerialBaudRate_38400: return B38400;
    }
    ok = false;
    return B0;
}

tcflag_t XDataBitsToSize(emSerialDataBits bits, bool& ok)
{
    ok = true;
    switch (bits) {
    case emSerialDataBits_5: return CS5;
    case emSerialDataBits_6: return CS6;
    case emSerialDataBits_7: return CS7;
    case emSerialDataBits_8: return CS8;
    }
    ok = false;
    return CS8;
}

}  // namespace

CSerial::CSerial() : m_fd(-1)
{
}

CSerial::~CSerial()
{
    Close();
}

BOOL CSerial::Open(const char* path, emSerialBaudRate baud, emSerialDataBits databits, emSerialParity parity,
                   emSerialStopBits stopbits, emSerialFlowControl flow, int timeout_ms, BOOL rawmode)
{
    if (m_fd >= 0) {
        return FALSE;
    }
    int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return FALSE;
    }
    termios tio;
    if (tcgetattr(fd, &tio) != 0) {
        XERROR("Get Serial[%s] Configs Error.\n", path);
        close(fd);
        return FALSE;
    }
    bool okSpeed = false;
    bool okSize = false;
    const speed_t speed = XBaudToSpeed(baud, okSpeed);
    const tcflag_t size = XDataBitsToSize(databits, okSize);
    if (!okSpeed || !okSize || parity < emSerialParity_None || parity > emSerialParity_Space ||
        (stopbits != emSerialStopBits_1 && stopbits != emSerialStopBits_2) || flow < emSerialFlowControl_None ||
        flow > emSerialFlowControl_Hw || timeout_ms < 0) {
        XERROR("Config Serial Error.\n");
        close(fd);
        return FALSE;
    }

    tio.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    tio.c_cflag &= ~CSIZE;
    tio.c_cflag |= size;
    switch (parity) {
    case emSerialParity_None:
        tio.c_cflag &= ~PARENB;
        tio.c_iflag &= ~INPCK;
        break;
    case emSerialParity_Odd:
        tio.c_cflag |= PARENB | PARODD;
        tio.c_iflag |= INPCK;
        break;
    case emSerialParity_Even:
        tio.c_cflag |= PARENB;
        tio.c_cflag &= ~PARODD;
        tio.c_iflag |= INPCK;
        break;
    case emSerialParity_Space:
        tio.c_cflag &= ~(PARENB | CSTOPB);
        break;
    }
    if (parity != emSerialParity_Space) {
        if (stopbits == emSerialStopBits_2) {
            tio.c_cflag |= CSTOPB;
        } else {
            tio.c_cflag &= ~CSTOPB;
        }
    }
    if (flow == emSerialFlowControl_Hw) {
        tio.c_cflag |= CRTSCTS;
    } else {
        tio.c_cflag &= ~CRTSCTS;
    }

    // The line discipline passes every byte through untouched, in both
    // directions: nothing echoed back to the receiver, no CR/LF mapping,
    // no signal or flow-control characters taken out of the stream.
    tio.c_lflag &= ~(ICANON | ECHO | ECHOE | ECHOK | ECHONL | ECHOCTL | ECHOKE | ISIG | IEXTEN);
    tio.c_iflag &= ~(ICRNL | INLCR | IGNCR | IXON | IXOFF | IXANY | ISTRIP | IGNBRK | BRKINT | PARMRK);
    if (flow == emSerialFlowControl_Soft) {
        tio.c_iflag |= IXON | IXOFF;
    }
    tio.c_oflag &= ~OPOST;
    int tenths = timeout_ms / 100;
    tio.c_cc[VTIME] = static_cast<cc_t>(tenths > 255 ? 255 : tenths);
    tio.c_cc[VMIN] = 1;
    if (rawmode) {
        tio.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON);
        tio.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
        tio.c_cc[VTIME] = 0;
    }
    if (tcsetattr(fd, TCSANOW, &tio) != 0 || tcflush(fd, TCIFLUSH) != 0) {
        XERROR("Config Serial Error.\n");
        close(fd);
        return FALSE;
    }
    m_fd = fd;
    return TRUE;
}

int CSerial::Read(void* buf, size_t len, BOOL block, int timeout_sec)
{
    if (m_fd < 0) {
        return -1;
    }
    if (!block) {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(m_fd, &set);
        timeval tv;
        tv.tv_sec = timeout_sec < 0 ? 0 : timeout_sec;
        tv.tv_usec = 0;
        const int r = select(m_fd + 1, &set, nullptr, nullptr, &tv);
        if (r == 0) {
            errno = ETIMEDOUT;
            return -1;
        }
        if (r < 0) {
            return -1;
        }
    }
    ssize_t n;
    do {
        n = read(m_fd, buf, len);
    } while (n < 0 && errno == EINTR);
    return static_cast<int>(n);
}

int CSerial::Write(const void* buf, size_t len)
{
    if (m_fd < 0) {
        return -1;
    }
    const char* p = static_cast<const char*>(buf);
    size_t done = 0;
    while (done < len) {
        const ssize_t n = write(m_fd, p + done, len - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // the output queue is full: wait until it takes more
            pollfd pfd = {m_fd, POLLOUT, 0};
            if (poll(&pfd, 1, 2000) > 0 && (pfd.revents & POLLOUT) != 0) {
                continue;
            }
        }
        return -1;
    }
    // Queued bytes are sent, not discarded.
    while (tcdrain(m_fd) != 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return static_cast<int>(done);
}

BOOL CSerial::Close()
{
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
    return TRUE;
}
