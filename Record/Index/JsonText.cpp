#include "Record/Index/JsonText.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "Record/Index/DecimalText.h"

int XJsonEscape(char* dst, size_t dstSize, const char* src, size_t srcMax)
{
    if (dst == nullptr || dstSize == 0) {
        return -1;
    }
    dst[0] = '\0';
    if (src == nullptr) {
        return 0;
    }
    static const char kHex[] = "0123456789abcdef";
    size_t n = 0;
    for (size_t i = 0; i < srcMax && src[i] != '\0'; ++i) {
        unsigned char c = static_cast<unsigned char>(src[i]);
        char fragment[6];
        size_t len = 0;
        if (c == '"' || c == '\\') {
            fragment[len++] = '\\';
            fragment[len++] = static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7F) {
            fragment[len++] = '\\';
            fragment[len++] = 'u';
            fragment[len++] = '0';
            fragment[len++] = '0';
            fragment[len++] = kHex[c >> 4];
            fragment[len++] = kHex[c & 0x0F];
        } else {
            fragment[len++] = static_cast<char>(c);
        }
        if (n + len >= dstSize) {
            dst[n] = '\0';
            return -1;
        }
        memcpy(dst + n, fragment, len);
        n += len;
    }
    dst[n] = '\0';
    return static_cast<int>(n);
}

CJsonWriter::CJsonWriter(char* buff, int len) : m_lpBuff(buff), m_nBuffLen(len), m_nLength(0), m_bOk(1)
{
    if (buff == nullptr || len <= 0) {
        m_bOk = 0;
        return;
    }
    buff[0] = '\0';
}

BOOL CJsonWriter::Put(const char* fragment, int spare)
{
    return Put(fragment, strlen(fragment), spare);
}

BOOL CJsonWriter::Put(const char* fragment, size_t fragmentLen, int spare)
{
    if (!m_bOk) {
        return 0;
    }
    const size_t left = static_cast<size_t>(m_nBuffLen - m_nLength);
    if (left < fragmentLen + 1 + static_cast<size_t>(spare)) {
        m_bOk = 0;
        return 0;
    }
    memcpy(m_lpBuff + m_nLength, fragment, fragmentLen);
    m_nLength += static_cast<int>(fragmentLen);
    m_lpBuff[m_nLength] = '\0';
    return 1;
}

BOOL CJsonWriter::PutNumber(uint64_t value, int spare)
{
    char digits[20];
    return Put(digits, static_cast<size_t>(XWriteDecimal(digits, value) - digits), spare);
}

BOOL CJsonWriter::Printf(int spare, const char* fmt, ...)
{
    if (!m_bOk) {
        return 0;
    }
    char fragment[kMaxFragment];
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(fragment, sizeof(fragment), fmt, ap);
    va_end(ap);
    if (n < 0 || n >= kMaxFragment) {
        m_bOk = 0;
        return 0;
    }
    return Put(fragment, static_cast<size_t>(n), spare);
}
