#ifndef RECORD_RECORDTYPES_H
#define RECORD_RECORDTYPES_H

#include <cstddef>
#include <cstdint>

#include "Function/types.h"

// What caused a stretch of recording (bits).
enum emRecordTriggerType {
    emRecordTriggerType_Common = 1,
    emRecordTriggerType_GestureAlarm = 2,
    emRecordTriggerType_AcceleratorAlarm = 4,
    emRecordTriggerType_Manual = 8,
    emRecordTriggerType_VoiceWakeUp = 16,
    emRecordTriggerType_TrafficReport = 32,
    emRecordTriggerType_WirelessKey = 64,
};
// Number of trigger kinds above.
static constexpr int nRecordTriggerTypeMappings = 7;

// The three categories of recorded files, one index each.
enum emRecFileType {
    emRecFileType_CommonVideo = 0,
    emRecFileType_AlarmVideo = 1,
    emRecFileType_AlarmImage = 2,
};

// Kind of the file a record file writer has open.
enum emRecordFileType {
    emRecordFileType_Common = 0,
    emRecordFileType_Alarm = 1,
};

// Companions of an indexed file (bits of the index node's flag).
enum emRecFileFlag {
    emRecFileFlag_HasTitle = 1,
    emRecFileFlag_HasTimestamp = 2,  // a thumbnail archive exists
    emRecFileFlag_HasAssociatedData = 4,
};

// State bits of a record file writer.
enum emRecordFileFlag {
    emRecordFileFlag_StartNext = 0x01,
    emRecordFileFlag_Recording = 0x02,
    emRecordFileFlag_Pack = 0x04,
    emRecordFileFlag_Continuous = 0x08,
    emRecordFileFlag_NeedTitle = 0x10,
    emRecordFileFlag_NeedThumb = 0x20,
    emRecordFileFlag_Stopped = 0x40,
    emRecordFileFlag_Paused = 0x80,
};

// Card folders, relative to the mount path.
#define RECORD_DIR_COMMON_VIDEO "DCIM/100video"
#define RECORD_DIR_ALARM_VIDEO "DCIM/101video"
#define RECORD_DIR_COMMON_THUMB "DCIM/102thumb"
#define RECORD_DIR_COMMON_TITLE "DCIM/103thumb"
#define RECORD_DIR_ALARM_IMAGE "DCIM/104snap"
#define RECORD_DIR_ALARM_TITLE "DCIM/105thumb"

// Longest trigger text: the six letters and a terminator.
static constexpr size_t RECORD_TRIGGER_TEXT_SIZE = 8;

// The letters of the set trigger bits in the order G A M V R W; "U" when none
// of them is set (the common bit has no letter).
void XGetTriggerText(uint32_t trigger, char (&text)[RECORD_TRIGGER_TEXT_SIZE]);

// An image type letter as the lists show it: A-Z as they are, anything else U.
inline char XGetShownTypeLetter(char letter)
{
    return (letter >= 'A' && letter <= 'Z') ? letter : 'U';
}

#endif
