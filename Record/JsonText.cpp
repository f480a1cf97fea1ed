#include "Record/JsonText.h"

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
