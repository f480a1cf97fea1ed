#include "Periphery/NmeaParser.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

CNmeaParser::CNmeaParser()
    : m_lpFields(nullptr), m_eParserState(emUnknownState), m_NMEACheckSum(0), m_ReceivedCheckSum(0),
      m_bCheckSumSeen(FALSE)
{
    memset(&m_GeographicPosition, 0, sizeof(m_GeographicPosition));
    memset(&m_RecommendedMinimumData, 0, sizeof(m_RecommendedMinimumData));
    memset(&m_SatellitesInView, 0, sizeof(m_SatellitesInView));
}

const char* CNmeaParser::GetSegment(const char* p, char* field, size_t size)
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

void CNmeaParser::SkipRest(const char* p)
{
    char skip[4];
    while (p != nullptr) {
        p = GetSegment(p, skip, sizeof(skip));
    }
}

BOOL CNmeaParser::CheckSumMatched() const
{
    return m_eParserState == emCalcCheckSumDone && m_bCheckSumSeen && m_ReceivedCheckSum == m_NMEACheckSum;
}

CNmeaParser::emSentence CNmeaParser::Begin(const char* line)
{
    char name[16];
    m_lpFields = nullptr;
    if (line[0] == '$') {
        m_eParserState = emDoCalcCheckSum;
        m_NMEACheckSum = 0;
        m_ReceivedCheckSum = 0;
        m_bCheckSumSeen = FALSE;
        m_lpFields = GetSegment(line + 1, name, sizeof(name));
    }
    if (line[0] != '$' || name[0] == '\0') {
        printf("[GPS]INVALID LINE \"%s\"\n", line);
        return emSentence_Invalid;
    }
    if (strcmp(name, "GPGGA") == 0) {
        return emSentence_GGA;
    }
    if (strcmp(name, "GPRMC") == 0) {
        return emSentence_RMC;
    }
    if (strcmp(name, "GPGSV") == 0) {
        return emSentence_GSV;
    }
    return emSentence_Other;
}

void CNmeaParser::End()
{
    m_eParserState = emUnknownState;
    m_NMEACheckSum = 0;
    m_lpFields = nullptr;
}

void CNmeaParser::ParseGGA()
{
    tagGeographicPosition& g = m_GeographicPosition;
    memset(&g, 0, sizeof(g));
    const char* p = GetSegments(m_lpFields, g.szUTCPosition, g.szLatitude, g.szNSIndicator, g.szLongitude,
                                g.szWEIndicator, g.szSignalQuality, g.nUsedSatellites, g.nHDOP, g.nElevation);
    SkipRest(p);
    g.bVerifyPass = CheckSumMatched();
}

BOOL CNmeaParser::ParseRMC()
{
    tagRecommendedMinimumData& r = m_RecommendedMinimumData;
    memset(&r, 0, sizeof(r));
    // Each field copied up to its cap (the buffer size given is cap + 1).
    char one[2];
    const char* p = m_lpFields;
    p = GetSegment(p, r.szUTCTime, 11);
    p = GetSegment(p, one, sizeof(one));
    r.Status = one[0];
    if (r.Status != 'A') {
        return FALSE;
    }
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
    SkipRest(p);  // mode, navigation status
    r.bVerifyPass = CheckSumMatched();
    return r.bVerifyPass;
}

void CNmeaParser::ParseGSV()
{
    tagSatellitesInView& v = m_SatellitesInView;
    memset(&v, 0, sizeof(v));
    const char* p = GetSegments(m_lpFields, v.Msgs, v.MsgNo, v.Satellites);
    for (tagSatelliteInfo& s : v.SatellitesInfo) {
        p = GetSegments(p, s.SatelliteID, s.Elevation, s.Azinmuth, s.SNR);
    }
    SkipRest(p);
    v.bVerifyPass = CheckSumMatched();
}
