#ifndef TCPCOMM_PRODUCTINFO_H
#define TCPCOMM_PRODUCTINFO_H

#include <cstddef>
#include <cstdint>

// What the greeting tells the phone of the device.
typedef struct _Product_info {
    uint16_t Model;
    uint32_t Manufacturedate;
    uint16_t RomVersion;
    unsigned char MacAddr[6];
} Product_info;

// The product values from boot-environment texts (null when the variable is
// missing).
uint16_t GetModel(const char* devmodel);
uint32_t GetManufacturedate(const char* manufacturedate);
uint16_t GetRomVersion(const char* firmware_ver);

// The 14-byte greeting parameter, big-endian.
void XPackProductInfo(const Product_info& info, unsigned char out[14]);

// {"model": ... ,"macaddr": "..."} from the texts (escaped as JSON strings;
// null reads as empty) and the MAC (null: empty). Returns its length, or -1
// when it does not fit `len` or the 2048-byte work area; copied without a
// terminator.
int XProductInfoJson(char* buf, int len, const char* devmodel, const char* manufacturedate,
                     const char* firmware_ver, const unsigned char* mac);

#endif
