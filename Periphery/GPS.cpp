#include "Periphery/GPS.h"

#include <errno.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "Function/XLog.h"
#include "MultiTask/Msg.h"
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
      m_CurSatellites(0),
      m_GPSBootTime(0),
      m_GPSSBTime(0),
      m_eParserState(emUnknownState),
      m_NMEACheckSum(0),
      m_ReceivedCheckSum(0),
      m_bCheckSumSeen(FALSE),
      m_lpBuff(new char[GPS_BUFF_SIZE]),
      m_BuffSize(GPS_BUFF_SIZE),
      m_lpBuffPtr(nullptr),
      m_lpBuffEnd(nullptr),
      m_DevActive(FALSE),
      m_DisplayLayout(FALSE),
      m_fdGPSData(-1),
      m_nLostSatellitesCount(-1),
      m_ConnectedSatellites(FALSE),
      m_SDState(0),
      m_GPSDataSaveTime(7),
      m_lpGPSDataFileList(nullptr),
      m_PauseSaveData(FALSE),
      m_strPortPath(GPS_SERIAL_DEV),
      m_bSDRegistered(FALSE)
{
    memset(&m_GeographicPosition, 0, sizeof(m_GeographicPosition));
    memset(&m_SatellitesInView, 0, sizeof(m_SatellitesInView));
    memset(&m_RecommendedMinimumData, 0, sizeof(m_RecommendedMinimumData));
    memset(m_szPrivGPSData, 0, sizeof(m_szPrivGPSData));
    m_lpBuffPtr = m_lpBuff;
    m_lpBuffEnd = m_lpBuff;
}

CGPS::~CGPS()
{
    CleanUp();
    ClearFileList();
    delete[] m_lpBuff;
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
    DisableSaveData();
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

// ---- reading lines ----

void CGPS::ThreadProc()
{
    std::vector<char> line(GPS_BUFF_SIZE);
    while (m_bLoop) {
        if (GetLine(line.data(), static_cast<int>(line.size()), FALSE, 1) > 0) {
            ProcessLine(line.data());
        }
    }
    fprintf(stderr, "CSerialDevManager Thread Quiting...\n");
}

int CGPS::GetChar()
{
    if (m_lpBuffPtr >= m_lpBuffEnd) {
        const int n = Read(m_lpBuff, static_cast<size_t>(m_BuffSize), FALSE, 1);
        if (n <= 0) {
            // A dead line (hung up, adapter gone) fails at once and stays
            // readable: pause instead of spinning.
            if (n == 0 || errno != ETIMEDOUT) {
                Links()->SleepMs(kDeadLineBackoffMs);
            }
            return -1;
        }
        m_lpBuffPtr = m_lpBuff;
        m_lpBuffEnd = m_lpBuff + n;
    }
    return static_cast<unsigned char>(*m_lpBuffPtr++);
}

int CGPS::GetLine(char* buf, int size, BOOL, int)
{
    int n = 0;
    while (true) {
        const int c = GetChar();
        if (c < 0) {
            buf[0] = '\0';
            return -1;
        }
        if (c == '\n') {
            if (n > 0 && buf[n - 1] == '\r') {
                --n;
            }
            buf[n] = '\0';
            return n;
        }
        buf[n++] = static_cast<char>(c);
        if (n >= size - 1) {
            buf[n] = '\0';
            return n;
        }
    }
}

// ---- sentences ----

const char* CGPS::GetSegment(const char* p, char* field, size_t size)
{
    size_t n = 0;
    if (p == nullptr) {
        if (size > 0) {
            field[0] = '\0';
        }
        return nullptr;
    }
    while (*p != '\0' && *p != ',' && *p != '*') {
        if (m_eParserState == emDoCalcCheckSum) {
            m_NMEACheckSum ^= static_cast<unsigned char>(*p);
        }
        if (n + 1 < size) {
            field[n++] = *p;
        }
        ++p;
    }
    if (size > 0) {
        field[n] = '\0';
    }
    if (*p == ',') {
        if (m_eParserState == emDoCalcCheckSum) {
            m_NMEACheckSum ^= static_cast<unsigned char>(',');
        }
        return p + 1;
    }
    if (*p == '*' && m_eParserState == emDoCalcCheckSum) {
        m_eParserState = emCalcCheckSumDone;
        char* end = nullptr;
        m_ReceivedCheckSum = strtoul(p + 1, &end, 16);
        m_bCheckSumSeen = end != p + 1 ? TRUE : FALSE;
    }
    return nullptr;
}

BOOL CGPS::CheckSumMatched() const
{
    return m_eParserState == emCalcCheckSumDone && m_bCheckSumSeen && m_ReceivedCheckSum == m_NMEACheckSum;
}

void CGPS::ProcessLine(const char* line)
{
    char name[16];
    const char* p = nullptr;
    if (line[0] == '$') {
        m_eParserState = emDoCalcCheckSum;
        m_NMEACheckSum = 0;
        m_ReceivedCheckSum = 0;
        m_bCheckSumSeen = FALSE;
        p = GetSegment(line + 1, name, sizeof(name));
    }
    if (line[0] != '$' || name[0] == '\0') {
        printf("[GPS]INVALID LINE \"%s\"\n", line);
    } else if (strcmp(name, "GPGGA") == 0) {
        ParseGGA(p);
    } else if (strcmp(name, "GPRMC") == 0) {
        ParseRMC(p);
    } else if (strcmp(name, "GPGSV") == 0 && !m_ConnectedSatellites) {
        ParseGSV(p);
    }
    m_eParserState = emUnknownState;
    m_NMEACheckSum = 0;
}

void CGPS::ParseGGA(const char* p)
{
    tagGeographicPosition& g = m_GeographicPosition;
    memset(&g, 0, sizeof(g));
    p = GetSegment(p, g.szUTCPosition, sizeof(g.szUTCPosition));
    p = GetSegment(p, g.szLatitude, sizeof(g.szLatitude));
    p = GetSegment(p, g.szNSIndicator, sizeof(g.szNSIndicator));
    p = GetSegment(p, g.szLongitude, sizeof(g.szLongitude));
    p = GetSegment(p, g.szWEIndicator, sizeof(g.szWEIndicator));
    p = GetSegment(p, g.szSignalQuality, sizeof(g.szSignalQuality));
    p = GetSegment(p, g.nUsedSatellites, sizeof(g.nUsedSatellites));
    p = GetSegment(p, g.nHDOP, sizeof(g.nHDOP));
    p = GetSegment(p, g.nElevation, sizeof(g.nElevation));
    char skip[4];
    while (p != nullptr) {
        p = GetSegment(p, skip, sizeof(skip));
    }
    g.bVerifyPass = CheckSumMatched();
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

void CGPS::ParseRMC(const char* p)
{
    tagRecommendedMinimumData& r = m_RecommendedMinimumData;
    memset(&r, 0, sizeof(r));

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

    // Each field copied up to its cap (the buffer size given is cap + 1).
    char one[2];
    p = GetSegment(p, r.szUTCTime, 11);
    p = GetSegment(p, one, sizeof(one));
    r.Status = one[0];
    BOOL valid = FALSE;
    if (r.Status == 'A') {
        p = GetSegment(p, r.szLatitude, 13);
        p = GetSegment(p, one, sizeof(one));
        r.NSIndicator = one[0];
        p = GetSegment(p, r.szLongitude, 13);
        p = GetSegment(p, one, sizeof(one));
        r.WEIndicator = one[0];
        p = GetSegment(p, r.szSpeed, 9);
        p = GetSegment(p, r.szTrackAngle, 9);
        p = GetSegment(p, r.szDate, 8);
        p = GetSegment(p, r.szMagneticVariation, 9);
        p = GetSegment(p, one, sizeof(one));
        r.MagneticIndicator = one[0];
        // later fields (mode, navigation status) count in the checksum only
        while (p != nullptr) {
            p = GetSegment(p, one, sizeof(one));
        }
        r.bVerifyPass = CheckSumMatched();
        valid = r.bVerifyPass;
    }

    if (valid) {
        if (!m_DisplayLayout) {
            m_DisplayLayout = TRUE;
            printf("GPS SHOW SPEED LAYOUT...\n");
            Links()->SendOSDMsg(XM_DISPLAY_GPS_SPEED_OSD, 1, 0);
        }
        m_nLostSatellitesCount = 0;
        Links()->SendOSDMsg(XM_GPS_SPEED, 0, XKnotsToKmh(r.szSpeed));
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
    r.Status = 'V';
    r.bVerifyPass = FALSE;
}

void CGPS::ParseGSV(const char* p)
{
    tagSatellitesInView& v = m_SatellitesInView;
    memset(&v, 0, sizeof(v));
    if (!(m_GPSSBTime > 0 && m_GPSSBTime < m_GPSBootTime)) {
        return;
    }
    p = GetSegment(p, v.Msgs, sizeof(v.Msgs));
    p = GetSegment(p, v.MsgNo, sizeof(v.MsgNo));
    p = GetSegment(p, v.Satellites, sizeof(v.Satellites));
    for (tagSatelliteInfo& s : v.SatellitesInfo) {
        p = GetSegment(p, s.SatelliteID, sizeof(s.SatelliteID));
        p = GetSegment(p, s.Elevation, sizeof(s.Elevation));
        p = GetSegment(p, s.Azinmuth, sizeof(s.Azinmuth));
        p = GetSegment(p, s.SNR, sizeof(s.SNR));
    }
    char skip[4];
    while (p != nullptr) {
        p = GetSegment(p, skip, sizeof(skip));
    }
    v.bVerifyPass = CheckSumMatched();
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
