#ifndef RECORD_INDEX_JSONTEXT_H
#define RECORD_INDEX_JSONTEXT_H

#include <cstddef>
#include <cstdint>

#include "Function/types.h"

// Writes the text `src` (at most `srcMax` bytes, ending earlier at a
// terminator) as the inside of a JSON string: '"' and '\' get a backslash,
// control bytes and bytes from 0x7F up become \u00XX, so the result is
// plain ASCII whatever the input. `dst` is always terminated when
// `dstSize` > 0. Returns the length written, or -1 when it does not fit.
int XJsonEscape(char* dst, size_t dstSize, const char* src, size_t srcMax);

// Longest escaped form of `n` input bytes.
constexpr size_t XJsonEscapedMax(size_t n) { return n * 6; }

// Builds a JSON text fragment by fragment in a caller's buffer. A fragment
// goes in only when the space left holds it, a terminator and `spare` bytes
// more; after the first fragment that does not fit every further one is
// refused. The text so far stays terminated.
class CJsonWriter {
public:
    // Longest fragment Printf formats.
    static constexpr int kMaxFragment = 512;

    CJsonWriter(char* buff, int len);

    BOOL Put(const char* fragment, int spare);
    BOOL Put(const char* fragment, size_t fragmentLen, int spare);
    // A literal fragment, its length known at compile time.
    template <size_t N>
    BOOL PutLiteral(const char (&fragment)[N], int spare)
    {
        return Put(fragment, N - 1, spare);
    }
    // `value` in decimal, as %u writes it.
    BOOL PutNumber(uint64_t value, int spare);
    BOOL Printf(int spare, const char* fmt, ...) __attribute__((format(printf, 3, 4)));

    BOOL Ok() const { return m_bOk; }
    // Characters written, or -1 once a fragment did not fit.
    int Result() const { return m_bOk ? m_nLength : -1; }
    int Length() const { return m_nLength; }

private:
    char* m_lpBuff;
    int m_nBuffLen;
    int m_nLength;
    BOOL m_bOk;
};

#endif
