#include "Record/JsonText.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

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
        char piece[6];
        size_t len = 0;
        if (c == '"' || c == '\\') {
            piece[len++] = '\\';
            piece[len++] = static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7F) {
            piece[len++] = '\\';
            piece[len++] = 'u';
            piece[len++] = '0';
            piece[len++] = '0';
            piece[len++] = kHex[c >> 4];
            piece[len++] = kHex[c & 0x0F];
        } else {
            piece[len++] = static_cast<char>(c);
        }
        if (n + len >= dstSize) {
            dst[n] = '\0';
            return -1;
        }
        memcpy(dst + n, piece, len);
        n += len;
    }
    dst[n] = '\0';
    return static_cast<int>(n);
}

CJsonPieces::CJsonPieces(char* buff, int len) : m_lpBuff(buff), m_nBuffLen(len), m_nLength(0), m_bOk(1)
{
    if (buff == nullptr || len <= 0) {
        m_bOk = 0;
        return;
    }
    buff[0] = '\0';
}

BOOL CJsonPieces::Put(const char* piece, int spare)
{
    return Put(piece, strlen(piece), spare);
}

BOOL CJsonPieces::Put(const char* piece, size_t pieceLen, int spare)
{
    if (!m_bOk) {
        return 0;
    }
    const size_t left = static_cast<size_t>(m_nBuffLen - m_nLength);
    if (left < pieceLen + 1 + static_cast<size_t>(spare)) {
        m_bOk = 0;
        return 0;
    }
    memcpy(m_lpBuff + m_nLength, piece, pieceLen);
    m_nLength += static_cast<int>(pieceLen);
    m_lpBuff[m_nLength] = '\0';
    return 1;
}

BOOL CJsonPieces::Printf(int spare, const char* fmt, ...)
{
    if (!m_bOk) {
        return 0;
    }
    char piece[kMaxPiece];
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(piece, sizeof(piece), fmt, ap);
    va_end(ap);
    if (n < 0 || n >= kMaxPiece) {
        m_bOk = 0;
        return 0;
    }
    return Put(piece, static_cast<size_t>(n), spare);
}
