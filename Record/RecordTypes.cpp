#include "Record/RecordTypes.h"

namespace {

struct tagTriggerLetter {
    uint32_t bit;
    char letter;
};
typedef tagTriggerLetter TriggerLetter;

const TriggerLetter kTriggerLetters[] = {
    {emRecordTriggerType_GestureAlarm, 'G'},  {emRecordTriggerType_AcceleratorAlarm, 'A'},
    {emRecordTriggerType_Manual, 'M'},        {emRecordTriggerType_VoiceWakeUp, 'V'},
    {emRecordTriggerType_TrafficReport, 'R'}, {emRecordTriggerType_WirelessKey, 'W'},
};

}  // namespace

void XGetTriggerText(uint32_t trigger, char (&text)[RECORD_TRIGGER_TEXT_SIZE])
{
    size_t n = 0;
    for (const TriggerLetter& t : kTriggerLetters) {
        if ((trigger & t.bit) != 0) {
            text[n++] = t.letter;
        }
    }
    if (n == 0) {
        text[n++] = 'U';
    }
    text[n] = '\0';
}
