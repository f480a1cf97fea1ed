#ifndef RECORD_INDEX_DECIMALTEXT_H
#define RECORD_INDEX_DECIMALTEXT_H

// Decimal numbers written straight into a buffer, as printf's %u / %0Nu
// would write them, without the cost of a format call. Each returns the end
// of what it wrote and writes no terminator.

#include <cstdint>

// At least `width` digits, zeros in front (%0*u); `width` up to 20.
inline char* XWriteDecimal(char* p, uint64_t value, int width = 1)
{
    char digits[20];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n < width) {
        digits[n++] = '0';
    }
    while (n > 0) {
        *p++ = digits[--n];
    }
    return p;
}

// %lld of a signed value.
inline char* XWriteSignedDecimal(char* p, int64_t value)
{
    if (value < 0) {
        *p++ = '-';
        return XWriteDecimal(p, static_cast<uint64_t>(-(value + 1)) + 1);
    }
    return XWriteDecimal(p, static_cast<uint64_t>(value));
}

#endif
