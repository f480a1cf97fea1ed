#ifndef RECORD_JSONTEXT_H
#define RECORD_JSONTEXT_H

#include <cstddef>

// Writes the text `src` (at most `srcMax` bytes, ending earlier at a
// terminator) as the inside of a JSON string: '"' and '\' get a backslash,
// control bytes and bytes from 0x7F up become \u00XX, so the result is
// plain ASCII whatever the input. `dst` is always terminated when
// `dstSize` > 0. Returns the length written, or -1 when it does not fit.
int XJsonEscape(char* dst, size_t dstSize, const char* src, size_t srcMax);

// Longest escaped form of `n` input bytes.
constexpr size_t XJsonEscapedMax(size_t n) { return n * 6; }

#endif
