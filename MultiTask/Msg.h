#ifndef MULTITASK_MSG_H
#define MULTITASK_MSG_H

#include <cstdint>

// Message identifiers. The framework itself sends only XM_QUIT.
typedef enum {
    XM_SYSTEM = 0,
    XM_QUIT = 1,
    XM_TIMER = 2,
    XM_SNAPSHOT = 3,
    XM_GPS_SPEED = 4,
    XM_STOP_RECORD = 5,
    XM_START_RECORD = 6,
    XM_START_ALARM_RECORD = 7,
    XM_HEART_BEAT = 8,
    XM_AVDATA = 9,
    XM_PLAYAUDIO = 10,
    XM_HTTPSERVER = 11,
    XM_TCPCOMM = 12,
    XM_GPS_MODULE_ACTIVE = 13,
    XM_DISPLAY_GPS_SPEED_OSD = 14,
    XM_UPDATE_TIMESTAMP = 15,
    XM_UPDATE_TIMESTAMP2 = 16,
    XM_UPDATE_ISP_DEBUG_INFO_OSD = 17,
    XM_WIRELESS_KEY = 18,
} xm_msg_t;

// HIGHTEST is delivered next (last in, first out among such), NORMAL first
// in, first out; ILL and above are refused.
typedef enum {
    MSG_PRIORITY_HIGHTEST = 0,
    MSG_PRIORITY_NORMAL = 1,
    MSG_PRIORITY_ILL = 2,
} emMsgPriority;

typedef struct tagXMSG {
    unsigned int msg;  // an xm_msg_t value
    unsigned int wpa;
    uint32_t lpa;
    unsigned int time;  // SystemGetMSCount() when the queue accepted it
} XMSG;

static_assert(sizeof(XMSG) == 16, "XMSG is four 32-bit fields");

#endif
