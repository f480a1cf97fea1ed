#ifndef TCPCOMM_APPROLES_H
#define TCPCOMM_APPROLES_H

#include "AVCapture/CaptureControls.h"
#include "Alarm/AlarmLinkages.h"
#include "Alarm/AlarmTasks.h"
#include "Function/Shell.h"
#include "OSD/SpeedOverlay.h"
#include "Periphery/CardUpkeep.h"
#include "Periphery/SensorTests.h"
#include "PlayAudio/Prompts.h"
#include "Record/RecordControl.h"
#include "Record/RecordFiles.h"
#include "Roles/BootEnv.h"
#include "Roles/CaptureAudio.h"
#include "Roles/Pins.h"
#include "Snapshot/SnapshotControl.h"

// Everything the app's commands reach outside the channel, bound before
// Init: the recording engine, the card, alarms, snapshots, capture, sensors,
// overlays, prompts, pins, the shell and the boot environment (the product
// record and the greeting's texts). The channel starts, and runs a command,
// only with every part there; without the boot environment its texts are
// the unset ones.
typedef struct tagAppRoles {
    CRecordControl* record;
    CRecordFiles* files;
    CCardUpkeep* card;
    CAlarmTasks* alarms;
    CAlarmLinkages* linkages;
    CSnapshotControl* snapshots;
    CCaptureControls* capture;
    CCaptureAudio* audio;
    CSensorTests* sensors;
    CSpeedOverlay* speed;
    CPrompts* prompts;
    CPins* pins;
    CShell* shell;
    CBootEnv* env;
} AppRoles;

#endif
