#ifndef RECORD_JSONTEXT_H
#define RECORD_JSONTEXT_H

#include <cstddef>

#include "Function/types.h"

// Writes the text `src` (at most `srcMax` bytes, ending earlier at a
// terminator) as the inside of a JSON string: '"' and '\' get a backslash,
// control bytes and bytes from 0x7F up become \u00XX, so the result is
// plain ASCII whatever the input. `dst` is always terminated when
// `dstSize` > 0. Returns the length written, or -1 when it does not fit.
int XJsonEscape(char* dst, size_t dstSize, const char* src, size_t srcMax);

// Longest escaped form of `n` input bytes.
constexpr size_t XJsonEscapedMax(size_t n) { return n * 6; }

// Builds a JSON text piece by piece in a caller's buffer. A piece goes in
// only when the space left holds it, a terminator and `spare` bytes more;
// after the first piece that does not fit every further one is refused. The
// text so far stays terminated.
class CJsonPieces {
public:
    // Longest piece Printf formats.
    static constexpr int kMaxPiece = 512;

    CJsonPieces(char* buff, int len);

    BOOL Put(const char* piece, int spare);
    BOOL Put(const char* piece, size_t pieceLen, int spare);
    BOOL Printf(int spare, const char* fmt, ...) __attribute__((format(printf, 3, 4)));

    BOOL Ok() const { return m_bOk; }
    // Characters written, or -1 once a piece did not fit.
    int Result() const { return m_bOk ? m_nLength : -1; }
    int Length() const { return m_nLength; }

private:
    char* m_lpBuff;
    int m_nBuffLen;
    int m_nLength;
    BOOL m_bOk;
};

#endif
