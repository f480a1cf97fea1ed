#ifndef PLATFORM_MIPI_H
#define PLATFORM_MIPI_H

// The SoC's MIPI/LVDS receiver device /dev/hi_mipi and its set-attribute
// request: one 304-byte record, little-endian on the camera.

#include <cstdint>

#define MIPI_DEVICE_PATH "/dev/hi_mipi"
#define HI_MIPI_SET_DEV_ATTR 0x41306D01u

#define MIPI_LANE_NUM 8

enum emInputMode : int32_t {
    INPUT_MODE_MIPI = 0,
    INPUT_MODE_SUBLVDS = 1,
    INPUT_MODE_LVDS = 2,
    INPUT_MODE_HISPI = 3,
    INPUT_MODE_CMOS_18V = 4,
    INPUT_MODE_CMOS_33V = 5,
    INPUT_MODE_BT1120 = 6,
    INPUT_MODE_BYPASS = 7,
    INPUT_MODE_BUTT,
};
typedef emInputMode input_mode_t;

enum emRawDataType : int32_t {
    RAW_DATA_8BIT = 0,
    RAW_DATA_10BIT = 1,
    RAW_DATA_12BIT = 3,
    RAW_DATA_14BIT = 4,
};
typedef emRawDataType raw_data_type_e;

struct tagMipiDevAttr {
    raw_data_type_e raw_data_type;
    int16_t lane_id[MIPI_LANE_NUM];  // -1: lane unused
};
typedef tagMipiDevAttr mipi_dev_attr_t;

struct tagComboDevAttr {
    input_mode_t input_mode;
    union {
        mipi_dev_attr_t mipi_attr;
        uint8_t raw[300];  // room of the other interfaces' attributes
    };
};
typedef tagComboDevAttr combo_dev_attr_t;

static_assert(sizeof(combo_dev_attr_t) == 304, "the receiver's record is 304 bytes");

#endif
