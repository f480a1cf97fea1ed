#include "TCPComm/ProductInfo.h"

#include <stdio.h>
#include <string.h>

#include <string>

#include "Function/common.h"

namespace {

// Up to `digits` hex digits of `text` (stopping at its end) as a number,
// through the shared hex conversion.
uint32_t XHexValue(const char* text, size_t digits)
{
    size_t n = strnlen(text, digits);
    char hex[9] = "00000000";
    // Right-aligned, so a short text reads as its own digits.
    memcpy(hex + 8 - n, text, n);
    unsigned char bytes[4] = {};
    CharToHex(bytes, hex, 8);
    return (static_cast<uint32_t>(bytes[0]) << 24) | (static_cast<uint32_t>(bytes[1]) << 16) |
           (static_cast<uint32_t>(bytes[2]) << 8) | bytes[3];
}

void XJsonEscape(std::string& out, const char* text)
{
    static const char kHex[] = "0123456789abcdef";
    for (const char* p = text; p != nullptr && *p != '\0'; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
}

}  // namespace

uint16_t GetModel(const char* devmodel)
{
    printf("devmodel: %s\n", devmodel != nullptr ? devmodel : "(null)");
    if (devmodel == nullptr || strcmp(devmodel, "ZQ1") == 0) {
        return 0x0101;
    }
    if (strcmp(devmodel, "ZQ2") == 0) {
        return 0x0102;
    }
    if (strcmp(devmodel, "ZQ3") == 0) {
        return 0x0103;
    }
    return 0;
}

uint32_t GetManufacturedate(const char* manufacturedate)
{
    printf("manufacturedate: %s\n", manufacturedate != nullptr ? manufacturedate : "(null)");
    if (manufacturedate == nullptr) {
        return 0x20150809;
    }
    // "YYYY/MM/DD" without its slashes, as far as the text goes.
    char digits[11] = {};
    size_t n = 0;
    for (size_t i = 0; i < 10 && manufacturedate[i] != '\0'; ++i) {
        if (manufacturedate[i] != '/') {
            digits[n++] = manufacturedate[i];
        }
    }
    return XHexValue(digits, 8);
}

uint16_t GetRomVersion(const char* firmware_ver)
{
    printf("romversion: %s\n", firmware_ver != nullptr ? firmware_ver : "(null)");
    if (firmware_ver == nullptr) {
        return 0x0010;
    }
    return static_cast<uint16_t>(XHexValue(firmware_ver, 4));
}

void XPackProductInfo(const Product_info& info, unsigned char out[14])
{
    out[0] = static_cast<unsigned char>(info.Model >> 8);
    out[1] = static_cast<unsigned char>(info.Model);
    for (int i = 0; i < 4; ++i) {
        out[2 + i] = static_cast<unsigned char>(info.Manufacturedate >> (24 - 8 * i));
    }
    out[6] = static_cast<unsigned char>(info.RomVersion >> 8);
    out[7] = static_cast<unsigned char>(info.RomVersion);
    memcpy(out + 8, info.MacAddr, 6);
}

int XProductInfoJson(char* buf, int len, const char* devmodel, const char* manufacturedate,
                     const char* firmware_ver, const unsigned char* mac)
{
    std::string text = "{\"model\": \"";
    XJsonEscape(text, devmodel);
    text += "\" ,\"manufacturetime\": \"";
    XJsonEscape(text, manufacturedate);
    text += "\" ,\"romversion\": \"";
    XJsonEscape(text, firmware_ver);
    text += "\" ,\"macaddr\": \"";
    if (mac != nullptr) {
        char hex[13];
        snprintf(hex, sizeof(hex), "%02x%02x%02x%02x%02x%02x", mac[0], mac[1], mac[2], mac[3],
                 mac[4], mac[5]);
        text += hex;
    }
    text += "\"}";
    if (text.size() >= 2048 || len < 0 || text.size() > static_cast<size_t>(len)) {
        return -1;
    }
    memcpy(buf, text.data(), text.size());
    return static_cast<int>(text.size());
}
