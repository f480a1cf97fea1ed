#include "Main/Managers.h"

#include <stdio.h>

#include <iterator>

#include "Alarm/Alarm.h"
#include "AVCapture/hi3516cv200/AVCapture.h"
#include "Function/common.h"
#include "FactoryTest/FactoryTest.h"
#include "HttpServer/HttpServer.h"
#include "IniConfig/IniConfig.h"
#include "OSD/OSDManager.h"
#include "Periphery/I2CDevManager.h"
#include "PlayAudio/PlayAudio.h"
#include "Periphery/GPS.h"
#include "Record/PauseReasons.h"
#include "Record/Record.h"
#include "Snapshot/Snapshot.h"
#include "TCPComm/TCPComm.h"

namespace {

BOOL XIniConfigInit()
{
    return CIniConfig::instance()->Init();
}

BOOL XFactoryTestInit()
{
    return CFactoryTest::instance()->Init();
}

void XFactoryTestCleanUp()
{
    CFactoryTest::instance()->CleanUp();
}

BOOL XAlarmManagerInit()
{
    return CAlarmManager::instance()->Init();
}

void XAlarmManagerCleanUp()
{
    CAlarmManager::instance()->CleanUp();
}

BOOL XSnapshotInit()
{
    return CSnapshotManager::instance()->Init();
}

void XSnapshotCleanUp()
{
    CSnapshotManager::instance()->CleanUp();
}

BOOL XI2CDevInit()
{
    return CI2CDevManager::instance()->Init();
}

void XI2CDevCleanUp()
{
    CI2CDevManager::instance()->CleanUp();
}

void XIniConfigCleanUp()
{
    CIniConfig::instance()->CleanUp();  // saves the settings file
}

// The camera brings the recording engine up and cleans it up.
BOOL XAVCaptureInit()
{
    return CAVCapture::instance()->Init();
}

void XAVCaptureCleanUp()
{
    CAVCapture::instance()->CleanUp();
}

BOOL XTCPCommInit()
{
    return CTCPComm::instance()->Init();
}

void XTCPCommCleanUp()
{
    CTCPComm::instance()->CleanUp();
}

BOOL XHttpServerInit()
{
    return CHttpServer::instance()->Init();
}

// The web server's requests reach capture and recording: its thread stops
// before them.
void XHttpServerStop()
{
    CHttpServer::instance()->StopThread();
}

void XHttpServerCleanUp()
{
    CHttpServer::instance()->CleanUp();
}

BOOL XOSDManagerInit()
{
    return COSDManager::instance()->Init();
}

void XOSDManagerCleanUp()
{
    COSDManager::instance()->CleanUp();
}

BOOL XPlayAudioInit()
{
    return CPlayAudio::instance()->Init();
}

void XPlayAudioCleanUp()
{
    CPlayAudio::instance()->CleanUp();
}

BOOL XGPSInit()
{
    return CGPS::instance()->Init();
}

void XGPSCleanUp()
{
    CGPS::instance()->CleanUp();
}

void XSyncStep()
{
    SyncFS();
}

// Start-up order. A manager that is not part of the system yet has a null
// Init and keeps its place and failure text here.
const ManagerInit kManagerInits[] = {
    {XIniConfigInit, emInitFailure_Ignore, FALSE, nullptr},
    {XFactoryTestInit, emInitFailure_Ignore, FALSE, nullptr},
    {XAlarmManagerInit, emInitFailure_Ignore, FALSE, nullptr},
    {XAVCaptureInit, emInitFailure_Fatal, TRUE, "Init AVCapture Failed...\n"},
    {XOSDManagerInit, emInitFailure_Fatal, TRUE, "Init OSD Manager Failed...\n"},
    {XHttpServerInit, emInitFailure_Log, TRUE, "Init http Thread Failed...\n"},
    {XPlayAudioInit, emInitFailure_Fatal, TRUE, "Init PlayAudio Server Failed...\n"},
    {XSnapshotInit, emInitFailure_Log, FALSE, "Init Snapshot Manager Failed...\n"},
    {XI2CDevInit, emInitFailure_Log, FALSE, "Init I2C Dev Manager Failed...\n"},
    {XTCPCommInit, emInitFailure_Log, TRUE, "Init TCPComm Server Failed...\n"},
};

// Started after the speaker volume and a 200 ms pause.
const ManagerInit kLateManagerInits[] = {
    {XGPSInit, emInitFailure_Log, FALSE, "Init Serial Dev Manager Failed...\n"},
};

// Shut-down order, each step with the line printed after it. The app
// channel goes first: its threads run app commands that reach every other
// manager. The settings store goes last and saves.
const ManagerCleanUp kManagerCleanUps[] = {
    {XTCPCommCleanUp, nullptr},
    {XHttpServerStop, nullptr},
    {XFactoryTestCleanUp, "Clean Up Factory Test Done...\n"},
    {XI2CDevCleanUp, "Clean Up I2c Dev Done...\n"},
    {XGPSCleanUp, "Clean Up GPS Done...\n"},
    {XOSDManagerCleanUp, "Clean Up OSD Done...\n"},
    {XAlarmManagerCleanUp, "Clean Up Alarm Server Done...\n"},
    {XSnapshotCleanUp, "Clean Up Snapshot Done...\n"},
    {XAVCaptureCleanUp, "Clean Up Capture Done...\n"},
    {XSyncStep, nullptr},
    {XPlayAudioCleanUp, "Play Audio Clean Up Done...\nPT Clean Up Done...\n"},
    {XHttpServerCleanUp, "HTTP Clean Up Done...\n"},
    {XIniConfigCleanUp, "Exiting...\n"},
};

}  // namespace

BOOL XRunManagerInits(const ManagerInit* steps, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const ManagerInit& s = steps[i];
        if (s.Init == nullptr || s.Init() || s.failure == emInitFailure_Ignore) {
            continue;
        }
        if (s.failText != nullptr) {
            if (s.bErrorLine) {
                XERROR("%s", s.failText);
            } else {
                fputs(s.failText, stdout);
            }
        }
        if (s.failure == emInitFailure_Fatal) {
            return FALSE;
        }
    }
    return TRUE;
}

void XRunManagerCleanUps(const ManagerCleanUp* steps, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const ManagerCleanUp& s = steps[i];
        if (s.CleanUp == nullptr) {
            continue;
        }
        s.CleanUp();
        if (s.doneText != nullptr) {
            fputs(s.doneText, stdout);
            fflush(stdout);
        }
    }
}

BOOL XInitManagers()
{
    return XRunManagerInits(kManagerInits, std::size(kManagerInits));
}

void XInitLateManagers()
{
    XRunManagerInits(kLateManagerInits, std::size(kLateManagerInits));
}

void XCleanUpManagers()
{
    printf("Begin Clean Up...\n");
    fflush(stdout);
    // Connections and downloads ended from here on resume nothing.
    CPauseReasons::instance()->Release();
    XRunManagerCleanUps(kManagerCleanUps, std::size(kManagerCleanUps));
}
