#include "Periphery/GPS.h"

#include <errno.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Function/XLog.h"
#include "Function/common.h"
#include "MultiTask/Msg.h"
#include "Periphery/SDManager.h"
#include "Platform/BoardRoot.h"
#include "PlayAudio/PcmIndex.h"

namespace {

// UBX set-up: GGA, GSA, GLL and VTG off (CFG-MSG), one solution a second (CFG-RATE).
const unsigned char kCfgGGA[] = {0xB5, 0x62, 0x06, 0x01, 0x08, 0x00, 0xF0, 0x00,
                                 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x24};
const unsigned char kCfgGSA[] = {0xB5, 0x62, 0x06, 0x01, 0x08, 0x00, 0xF0, 0x02,
                                 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x02, 0x32};
const unsigned char kCfgGLL[] = {0xB5, 0x62, 0x06, 0x01, 0x08, 0x00, 0xF0, 0x01,
                                 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x01, 0x2B};
const unsigned char kCfgVTG[] = {0xB5, 0x62, 0x06, 0x01, 0x08, 0x00, 0xF0, 0x05,
                                 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x05, 0x47};
const unsigned char kCfgRate[] = {0xB5, 0x62, 0x06, 0x08, 0x06, 0x00, 0xE8, 0x03, 0x01, 0x00, 0x01, 0x00, 0x01, 0x39};

struct tagUbxFrame {
    const unsigned char* data;
    size_t size;
};
const tagUbxFrame kConfigFrames[] = {
    {kCfgGGA, sizeof(kCfgGGA)}, {kCfgGSA, sizeof(kCfgGSA)}, {kCfgGLL, sizeof(kCfgGLL)},
    {kCfgVTG, sizeof(kCfgVTG)}, {kCfgRate, sizeof(kCfgRate)},
};

const unsigned kConfigPauseMs = 200;
const unsigned kDeadLineBackoffMs = 100;
const uint32_t kNoSpeed = 0xFFFFFFFFu;

// Whole km/h of a speed in knots, truncated; 0 for text that is no
// positive number.
uint32_t XKnotsToKmh(const char* knots)
{
    const double kmh = atof(knots) * 1.852;
    if (!(kmh >= 0.0)) {
        return 0;
    }
    if (kmh >= 4294967294.0) {
        return 0xFFFFFFFEu;
    }
    return static_cast<uint32_t>(kmh);
}

}  // namespace

CGPS::CGPS()
    : CThread(FALSE, 0, 0),
      m_Reader(*this),
      m_CurSatellites(0),
      m_GPSBootTime(0),
      m_GPSSBTime(0),
      m_DevActive(FALSE),
      m_DisplayLayout(FALSE),
      m_nLostSatellitesCount(-1),
      m_ConnectedSatellites(FALSE),
      m_SDState(0),
      m_strPortPath(GPS_SERIAL_DEV),
      m_bSDRegistered(FALSE)
{
    memset(m_szPrivGPSData, 0, sizeof(m_szPrivGPSData));
}

CGPS::~CGPS()
{
    CleanUp();
}

void CGPS::SetPortPath(const std::string& path)
{
    m_strPortPath = path;
}

BOOL CGPS::Init()
{
    if (m_Roles.links == nullptr || m_Roles.card == nullptr) {
        return FALSE;
    }
    const std::string port = XBoardPath(m_strPortPath);
    if (!Open(port.c_str(), emSerialBaudRate_9600, emSerialDataBits_8, emSerialParity_None, emSerialStopBits_1,
              emSerialFlowControl_None, 2000, FALSE)) {
        XERROR("Open Serial[%s] Failed: %s\n", m_strPortPath.c_str(), strerror(errno));
        return FALSE;
    }
    if (!GPSConfig()) {
        Close();
        return FALSE;
    }
    if (!m_Roles.card->RegisterSDStateCallback(SDCardStateChange, this)) {
        Close();
        return FALSE;
    }
    m_bSDRegistered = TRUE;
    if (!CreateThread(0)) {
        m_Roles.card->UnregisterSDStateCallback(SDCardStateChange, this);
        m_bSDRegistered = FALSE;
        Close();
        return FALSE;
    }
    return TRUE;
}

BOOL CGPS::CleanUp()
{
    DestroyThread(TRUE);
    if (m_bSDRegistered) {
        m_Roles.card->UnregisterSDStateCallback(SDCardStateChange, this);
        m_bSDRegistered = FALSE;
    }
    {
        CGuard guard(m_Mutex);
        m_TrackFile.DisableSaveData();
    }
    Close();
    return TRUE;
}

BOOL CGPS::GPSConfig()
{
    for (int i = 0; i < static_cast<int>(sizeof(kConfigFrames) / sizeof(kConfigFrames[0])); ++i) {
        for (int n = 0; n < 2; ++n) {
            const tagUbxFrame& f = kConfigFrames[i];
            if (Write(f.data, f.size) != static_cast<int>(f.size)) {
                XERROR("GPS CONTROL ERROR(i=%d)", i);
                return FALSE;
            }
            Links()->SleepMs(kConfigPauseMs);
        }
    }
    return TRUE;
}

BOOL CGPS::GPSModuleActive()
{
    return m_DevActive.load();
}

void CGPS::ThreadProc()
{
    std::vector<char> line(GPS_BUFF_SIZE);
    while (m_bLoop) {
        const int n = m_Reader.GetLine(line.data(), static_cast<int>(line.size()));
        if (n > 0) {
            ProcessLine(line.data());
        } else if (n == CNmeaReader::kDead) {
            Links()->SleepMs(kDeadLineBackoffMs);
        }
    }
    fprintf(stderr, "CSerialDevManager Thread Quiting...\n");
}

void CGPS::ProcessLine(const char* line)
{
    switch (m_Parser.Begin(line)) {
    case CNmeaParser::emSentence_GGA:
        m_Parser.ParseGGA();
        break;
    case CNmeaParser::emSentence_RMC:
        OnRMC();
        break;
    case CNmeaParser::emSentence_GSV:
        if (!m_ConnectedSatellites) {
            OnGSV();
        }
        break;
    default:
        break;
    }
    m_Parser.End();
}

BOOL CGPS::IsFinishedDevice()
{
    CFactoryState* factory = m_Roles.factory;
    return factory != nullptr && factory->GetFactoryTestOK() && !factory->GetForceFactoryTest();
}

void CGPS::OnConnected()
{
    if (m_Roles.prompts != nullptr && m_Roles.settings != nullptr && m_Roles.settings->GetGpsVoiceCfg() == 1) {
        m_Roles.prompts->PlayPrompt(PCM_GPS_LOCATE_SUCCESS);
    }
    m_ConnectedSatellites = TRUE;
}

void CGPS::OnRMC()
{
    if (!m_DevActive.load()) {
        m_DevActive = TRUE;
        printf("GPS MODULE ACTIVE...\n");
        Links()->SendOSDMsg(XM_GPS_MODULE_ACTIVE, 1, 0);
        if (!IsFinishedDevice() && !m_DisplayLayout) {
            m_DisplayLayout = TRUE;
            printf("GPS SHOW SPEED LAYOUT...\n");
            Links()->SendOSDMsg(XM_DISPLAY_GPS_SPEED_OSD, 1, 0);
            Links()->SendOSDMsg(XM_GPS_SPEED, 0, kNoSpeed);
        }
    }

    if (m_Parser.ParseRMC()) {
        if (!m_DisplayLayout) {
            m_DisplayLayout = TRUE;
            printf("GPS SHOW SPEED LAYOUT...\n");
            Links()->SendOSDMsg(XM_DISPLAY_GPS_SPEED_OSD, 1, 0);
        }
        m_nLostSatellitesCount = 0;
        Links()->SendOSDMsg(XM_GPS_SPEED, 0, XKnotsToKmh(m_Parser.Rmc().szSpeed));
        if (!m_ConnectedSatellites) {
            OnConnected();
        }
        SaveData();
    } else {
        const int n = m_nLostSatellitesCount++;
        if (n % 10 == 0) {
            printf("LOST SATELLITES ...\n");
        }
        if (m_nLostSatellitesCount > 2) {
            if (IsFinishedDevice()) {
                m_DisplayLayout = FALSE;
                Links()->SendOSDMsg(XM_DISPLAY_GPS_SPEED_OSD, 0, 0);
            } else {
                Links()->SendOSDMsg(XM_GPS_SPEED, 0, kNoSpeed);
            }
        }
        ClearRecordLine();
        if (!m_ConnectedSatellites) {
            ++m_GPSBootTime;
            if (m_GPSBootTime > 60 && m_GPSSBTime == 0) {
                srand(static_cast<unsigned>(Links()->Now()));
                m_GPSSBTime = 60 + rand() % 120;
                printf("GPS SB TIME = %d \n", m_GPSSBTime);
            }
        }
    }
}

void CGPS::OnGSV()
{
    // Satellites are counted only once a fix has been awaited for a while.
    if (!(m_GPSSBTime > 0 && m_GPSSBTime < m_GPSBootTime)) {
        return;
    }
    m_Parser.ParseGSV();
    const tagSatellitesInView& v = m_Parser.Gsv();
    if (!v.bVerifyPass || atoi(v.Satellites) <= 1) {
        return;
    }
    if (strcmp(v.MsgNo, "1") == 0) {
        m_CurSatellites = 0;
    }
    for (const tagSatelliteInfo& s : v.SatellitesInfo) {
        if (s.SatelliteID[0] != '\0' && s.Elevation[0] != '\0' && s.Azinmuth[0] != '\0' && atoi(s.SNR) > 0) {
            ++m_CurSatellites;
        }
    }
    if (m_CurSatellites >= 2) {
        OnConnected();
    }
}

// ---- the record line, the track file and the list ----

void CGPS::ClearRecordLine()
{
    CGuard guard(m_Mutex);
    m_szPrivGPSData[0] = '\0';
}

void CGPS::SaveData()
{
    CGuard guard(m_Mutex);
    const time_t now = Links()->Now();
    tm t;
    memset(&t, 0, sizeof(t));
    gmtime_r(&now, &t);
    const tagRecommendedMinimumData& r = m_Parser.Rmc();
    // an indicator that did not come is an empty part, never a NUL
    const char ns[2] = {r.NSIndicator, '\0'};
    const char we[2] = {r.WEIndicator, '\0'};
    snprintf(m_szPrivGPSData, sizeof(m_szPrivGPSData), "%04d%02d%02d%02d%02d%02d,%s,%s,%s,%s,%s,%s\r\n",
             t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, r.szLatitude, ns,
             r.szLongitude, we, r.szSpeed, m_Parser.Gga().nElevation);
    m_TrackFile.SaveData(m_szPrivGPSData, m_SDState.load(), m_Roles.card, Links());
}

BOOL CGPS::PauseSaveData()
{
    CGuard guard(m_Mutex);
    m_TrackFile.Pause();
    return TRUE;
}

BOOL CGPS::ResumeSaveData()
{
    CGuard guard(m_Mutex);
    m_TrackFile.Resume();
    return TRUE;
}

int CGPS::SDCardStateChange(int state, void* priv)
{
    return static_cast<CGPS*>(priv)->OnSDCardStateChange(state);
}

int CGPS::OnSDCardStateChange(int state)
{
    printf("IN GPS SD CALLBACK...\n");
    CGuard guard(m_Mutex);
    m_SDState = state;
    // every notification rebuilds the list from the folder
    m_FileList.Clear();
    const int need = emSDState_Insert | emSDState_Mount;
    char mount[XPATH_BUF_SIZE + 1];
    if ((state & need) == need && m_Roles.card != nullptr && m_Roles.card->GetSDMountPath(mount, sizeof(mount))) {
        m_FileList.Scan(XBoardPath(std::string(mount) + "gps/").c_str(), Links()->Now());
    }
    if (!XSDStateWritable(state)) {
        m_TrackFile.DisableSaveData();
    }
    return 0;
}

int CGPS::GetGPSFileListAsJSON(char* buf, int size)
{
    CGuard guard(m_Mutex);
    return m_FileList.Json(buf, size);
}

BOOL CGPS::GetGPSData(char* data, unsigned int* len)
{
    CGuard guard(m_Mutex);
    if (m_szPrivGPSData[0] == '\0') {
        return FALSE;
    }
    size_t n = strcspn(m_szPrivGPSData, "\r\n");
    if (n > GPS_BUFF_SIZE - 1) {
        n = GPS_BUFF_SIZE - 1;
    }
    memcpy(data, m_szPrivGPSData, n);
    data[n] = '\0';
    if (len != nullptr) {
        *len = static_cast<unsigned int>(n);
    }
    return TRUE;
}

int CGPS::GetGPSPositon(char* out, size_t size)
{
    CGuard guard(m_Mutex);
    if (m_szPrivGPSData[0] == '\0' || out == nullptr || size == 0) {
        return -1;
    }
    // parts 2 (latitude) and 4 (longitude) of the record line
    std::string parts[5];
    size_t k = 0;
    for (const char* p = m_szPrivGPSData; *p != '\0' && *p != '\r' && k < 5; ++p) {
        if (*p == ',') {
            ++k;
        } else if (k < 5) {
            parts[k] += *p;
        }
    }
    const int n = snprintf(out, size, "%s,%s", parts[3].c_str(), parts[1].c_str());
    return n >= 0 && static_cast<size_t>(n) < size ? n : -1;
}
