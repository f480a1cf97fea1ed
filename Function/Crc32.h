#ifndef FUNCTION_CRC32_H
#define FUNCTION_CRC32_H

#include <cstddef>
#include <cstdint>

// CRC-32 of IEEE 802.3 (reflected polynomial 0xEDB88320), continuing from a
// previous result; pass 0 to start. crc32(0, "123456789", 9) == 0xCBF43926.
uint32_t crc32(uint32_t crc, const void* p, size_t len);
// The same register update without the inversion before and after.
uint32_t crc32_no_comp(uint32_t crc, const void* buf, size_t len);

#endif
