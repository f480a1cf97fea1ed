#include "Function/common.h"

namespace {

unsigned char HexDigit(char c)
{
    if (c >= '0' && c <= '9') {
        return static_cast<unsigned char>(c - '0');
    }
    if (c >= 'A' && c <= 'F') {
        return static_cast<unsigned char>(c - 'A' + 10);
    }
    if (c >= 'a' && c <= 'f') {
        return static_cast<unsigned char>(c - 'a' + 10);
    }
    return 0;
}

}  // namespace

void CharToHex(unsigned char* dest, const char* buffer, int len)
{
    if (dest == nullptr || buffer == nullptr || len <= 0) {
        return;
    }
    for (int i = 0; i + 1 < len; i += 2) {
        dest[i / 2] = static_cast<unsigned char>((HexDigit(buffer[i]) << 4) | HexDigit(buffer[i + 1]));
    }
}
