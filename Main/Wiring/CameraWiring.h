#ifndef MAIN_WIRING_CAMERAWIRING_H
#define MAIN_WIRING_CAMERAWIRING_H

// The composition root: the camera's implementation of every interface that
// a subsystem declares for what it needs from the others, each made once,
// and Wire(), which hands them to the managers (one Wire step per consumer,
// in the consumer's file beside its own implementations). main() makes the
// root before any manager and wires it before the first Init, so the root
// is deleted at exit after every manager that uses it. The For... calls
// give one consumer's roles as the root binds them (tests run a consumer
// against the camera's own parts with them).

#include "AVCapture/CaptureRoles.h"
#include "Main/Wiring/AlarmWiring.h"
#include "Main/Wiring/CaptureWiring.h"
#include "Main/Wiring/FactoryWiring.h"
#include "Main/Wiring/GPSWiring.h"
#include "Main/Wiring/LoopWiring.h"
#include "Main/Wiring/OSDWiring.h"
#include "Main/Wiring/SensorWiring.h"
#include "Main/Wiring/SharedRoles.h"
#include "Main/Wiring/SnapshotWiring.h"
#include "Main/Wiring/WebWiring.h"
#include "MultiTask/Singleton.h"
#include "PlayAudio/PromptRoles.h"
#include "TCPComm/AppRoles.h"

class CCameraWiring : public CSingleton<CCameraWiring> {
public:
    // Binds every manager to the camera's implementations.
    void Wire();

    AlarmTargets ForAlarms();
    CaptureRoles ForCapture();
    FactoryRoles ForFactory();
    GPSRoles ForGPS();
    PromptRoles ForPrompts();
    I2CDevRoles ForSensors();
    SnapshotRoles ForSnapshots();
    AppRoles ForApp();
    WebBridgeRoles ForWeb();
    // The supervision loop's, and the boot environment the start-up hands
    // the version file to.
    LoopRoles ForLoop();
    CBootEnv* BootEnv();

private:
    friend class CSingleton<CCameraWiring>;
    CCameraWiring();
    ~CCameraWiring() = default;

    void WireAlarms();
    void WireCapture();
    void WireFactory();
    void WireGPS();
    void WireOSD();
    void WirePrompts();
    void WireSensors();
    void WireSnapshots();
    void WireApp();
    void WireWeb();

    // Shared by several consumers.
    CCameraPrompts m_Prompts;
    CCameraRecordControl m_RecordControl;
    CCameraRecordFiles m_RecordFiles;
    CCameraCard m_Card;
    CCameraPins m_Pins;
    CCameraFactoryState m_FactoryState;
    CCameraCapture m_Capture;
    CCameraSnapshotControl m_SnapshotControl;
    CCameraAlarms m_Alarms;
    CCameraSensorTests m_SensorTests;
    CCameraSpeedOverlay m_SpeedOverlay;
    CCameraSettings m_Settings;
    CCameraShell m_Shell;

    // One consumer's each.
    CCameraAlarmRecordTarget m_AlarmRecord;
    CCameraAlarmSnapshotTarget m_AlarmSnapshot;
    CCameraCaptureSink m_CaptureSink;
    CCameraCaptureOverlays m_CaptureOverlays;
    CCameraFactoryPorts m_FactoryPorts;
    CCameraGPSLinks m_GPSLinks;
    CCameraOSDSources m_OSDSources;
    CCameraI2CDevPorts m_I2CDevPorts;
    CCameraSnapshotPorts m_SnapshotPorts;
    CCameraWebBridgePorts m_WebPorts{&m_Capture};
    CCameraEngineLinks m_EngineLinks;
    CCameraLoopServices m_LoopServices{&m_Capture};
};

#endif
