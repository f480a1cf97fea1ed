#ifndef HTTPSERVER_INIREPORTS_H
#define HTTPSERVER_INIREPORTS_H

#include <cstddef>
#include <cstdint>

// Text appended into a fixed buffer at a tracked offset; a piece that does
// not fit ends the text there (Ok() false) and nothing after it is added.
class CReplyText {
public:
    CReplyText(char* buf, size_t capacity);

    bool Add(const char* format, ...) __attribute__((format(printf, 2, 3)));
    size_t Length() const { return m_nLength; }
    bool Ok() const { return m_bOk; }
    // The length, or -1 when a piece did not fit.
    int Result() const { return m_bOk ? static_cast<int>(m_nLength) : -1; }

private:
    char* m_lpBuf;
    size_t m_nCapacity;
    size_t m_nLength;
    bool m_bOk;
};

// The web command reports built from the bridges: the body's length, or -1
// when it does not fit.
int XStorageReport(char* buf, size_t capacity);
int XExposureReport(char* buf, size_t capacity);
int XZoneHistogramReport(char* buf, size_t capacity);

// A byte count as text ("1023 B", "1.50 KB", "1.00 GB"); out holds 24 bytes.
void format_space_as_str(uint64_t* bytes, char* out);

#endif
