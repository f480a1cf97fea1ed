#ifndef AVCAPTURE_CAPTUREROLES_H
#define AVCAPTURE_CAPTUREROLES_H

#include "AVCapture/CaptureOverlays.h"
#include "AVCapture/CaptureSink.h"
#include "Alarm/AlarmLinkages.h"
#include "IniConfig/Settings.h"
#include "PlayAudio/Prompts.h"
#include "Record/RecordControl.h"
#include "Roles/FactoryState.h"

// What the camera object needs from the others, bound before Init. A part
// left null answers as a missing one: the recorder refuses (Init fails, a
// switch cannot pause it), no layout, no prompt, no linkage change, the
// factory flags off and every setting its default.
typedef struct tagCaptureRoles {
    CCaptureSink* sink;
    CRecordControl* record;
    CCaptureOverlays* overlays;
    CPrompts* prompts;
    CAlarmLinkages* linkages;
    CFactoryState* factory;
    CSettings* settings;
} CaptureRoles;

#endif
