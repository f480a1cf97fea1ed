#ifndef PERIPHERY_NMEAPARSER_H
#define PERIPHERY_NMEAPARSER_H

#include <cstddef>

#include "Function/types.h"

// From GPGGA: fields 1-9, each cut to its buffer.
typedef struct tagGeographicPosition {
    char szUTCPosition[32];
    char szLatitude[32];
    char szNSIndicator[4];
    char szLongitude[32];
    char szWEIndicator[4];
    char szSignalQuality[4];
    char nUsedSatellites[4];
    char nHDOP[4];
    char nElevation[32];
    BOOL bVerifyPass;
} tagGeographicPosition;

// From GPRMC, each field copied up to a fixed number of characters.
typedef struct tagRecommendedMinimumData {
    char szUTCTime[12];
    char szDate[8];
    char Status;
    char szLatitude[15];
    char NSIndicator;
    char szLongitude[15];
    char WEIndicator;
    char szSpeed[11];
    char szTrackAngle[12];
    char szMagneticVariation[11];
    char MagneticIndicator;
    BOOL bVerifyPass;
} tagRecommendedMinimumData;

typedef struct tagSatelliteInfo {
    char SatelliteID[3];
    char Elevation[3];
    char Azinmuth[4];
    char SNR[3];
} tagSatelliteInfo;

// From one GPGSV sentence.
typedef struct tagSatellitesInView {
    char Msgs[2];
    char MsgNo[2];
    char Satellites[3];
    tagSatelliteInfo SatellitesInfo[4];
    BOOL bVerifyPass;
} tagSatellitesInView;

typedef enum NMEAParserState {
    emUnknownState = 0,
    emDoCalcCheckSum = 1,
    emCalcCheckSumDone = 4,
} NMEAParserState;

// One NMEA line at a time into the record of its sentence. The checksum
// runs over what lies between '$' and '*'; a record passes only when the
// one after '*' matches. Begin names the sentence, a Parse call reads the
// rest of the line into its record, End closes the line.
class CNmeaParser {
public:
    enum emSentence {
        emSentence_Invalid,  // no sentence: printed as an invalid line
        emSentence_GGA,
        emSentence_RMC,
        emSentence_GSV,
        emSentence_Other,
    };

    CNmeaParser();

    emSentence Begin(const char* line);
    void ParseGGA();
    // TRUE for a verified fix (status 'A').
    BOOL ParseRMC();
    void ParseGSV();
    void End();

    const tagGeographicPosition& Gga() const { return m_GeographicPosition; }
    const tagRecommendedMinimumData& Rmc() const { return m_RecommendedMinimumData; }
    const tagSatellitesInView& Gsv() const { return m_SatellitesInView; }

private:
    // The next field of the line into field[0..size-1] (cut to fit); the
    // position after it, or null when the fields have run out.
    const char* GetSegment(const char* p, char* field, size_t size);
    // The next fields, in turn, into the buffers given, each cut to fit.
    const char* GetSegments(const char* p) { return p; }
    template <size_t N, typename... Rest>
    const char* GetSegments(const char* p, char (&field)[N], Rest&... rest)
    {
        return GetSegments(GetSegment(p, field, N), rest...);
    }
    // The fields left, for the checksum only.
    void SkipRest(const char* p);
    BOOL CheckSumMatched() const;

    tagGeographicPosition m_GeographicPosition;
    tagRecommendedMinimumData m_RecommendedMinimumData;
    tagSatellitesInView m_SatellitesInView;
    const char* m_lpFields;  // the line begun, after the sentence's name
    NMEAParserState m_eParserState;
    unsigned long m_NMEACheckSum;
    unsigned long m_ReceivedCheckSum;
    BOOL m_bCheckSumSeen;
};

#endif
