#ifndef RECORD_INDEX_RECORDNAMETOKENS_H
#define RECORD_INDEX_RECORDNAMETOKENS_H

// Readers for the parts of a card file name. Each advances `p` past what it
// read and only on success; none reads past the terminating NUL.

#include <cstdint>

#include "Function/RecTime.h"

// Exactly `count` decimal digits.
bool XNameDigits(const char*& p, int count, unsigned& value);
// 1 to `maxDigits` decimal digits; a leading zero (other than a lone "0")
// only when `bLeadingZeros`.
bool XNameNumber(const char*& p, int maxDigits, bool bLeadingZeros, uint64_t& value);
// `text`, in any case.
bool XNameText(const char*& p, const char* text);
// YYYYMMDDhhmmss of a real date from 2000 to 2063.
bool XNameTime(const char*& p, RECTIME& time);

// Bytes XWriteNameTime writes.
constexpr int kNameTimeLength = 14;
// Writes `time` as YYYYMMDDhhmmss (no terminator); the end of what it wrote.
char* XWriteNameTime(char* p, const RECTIME& time);

#endif
