#ifndef PERIPHERY_GPS_H
#define PERIPHERY_GPS_H

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "Function/types.h"
#include "MultiTask/Mutex.h"
#include "MultiTask/Singleton.h"
#include "MultiTask/Thread.h"
#include "Periphery/GPSLinks.h"
#include "Periphery/Serial.h"

// The receiver's port.
#define GPS_SERIAL_DEV "/dev/ttyAMA1"
// Bytes of the receive buffer and of one line (a line holds at most 1023).
#define GPS_BUFF_SIZE 1024

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

// One kept track file, by its date; deleting a node deletes the rest of
// its chain.
class CGPSFile {
public:
    CGPSFile(unsigned year, unsigned month, unsigned day);
    ~CGPSFile();
    CGPSFile(const CGPSFile&) = delete;
    CGPSFile& operator=(const CGPSFile&) = delete;

    struct {
        uint32_t day : 5;
        uint32_t month : 4;
        uint32_t year : 23;
    } m_FileName;
    CGPSFile* m_lpNext;
};

// The GPS receiver on the second UART: sets the receiver up, reads NMEA on
// its own thread, drives the speed overlay and the fix prompt, keeps the
// last record line and writes the daily track files gps/YYYYMMDD.dat on the
// card (today's and the seven days before it are kept).
//
// Threads: the reader thread parses and saves; the record line, the track
// file, the file list, the pause flag and the card state are guarded by
// m_Mutex (recursive) and read by the snapshot, HTTP and main threads and
// the SD callbacks. The parser's records belong to the reader thread.
class CGPS : public CThread, public CSerial, public CSingleton<CGPS> {
public:
    CGPS();
    ~CGPS() override;

    // Port, receiver set-up, SD callback, thread; the first failure gives 0.
    BOOL Init();
    // Safe when Init failed or never ran. Always 1.
    BOOL CleanUp();
    // The record line without its line end into `data` (1024 bytes), its
    // length into `len`; 0 while there is no fix.
    BOOL GetGPSData(char* data, unsigned int* len);
    // {"gpsfolder":"gps","gpsdata":[...]}: its length, or -1 when `size`
    // is too small.
    int GetGPSFileListAsJSON(char* buf, int size);
    BOOL PauseSaveData();
    BOOL ResumeSaveData();
    BOOL GPSModuleActive();
    // "longitude,latitude" of the last fix into out[0..size-1]: its length,
    // or -1 without a fix or when it does not fit.
    int GetGPSPositon(char* out, size_t size);

    // What it reaches outside itself (not owned), before Init.
    void Bind(const GPSRoles& roles) { m_Roles = roles; }
    // The port's device path (default GPS_SERIAL_DEV, under the board root).
    void SetPortPath(const std::string& path);

    static int SDCardStateChange(int state, void* priv);

protected:
    void ThreadProc() override;

private:
    BOOL GPSConfig();
    int GetChar();
    int GetLine(char* buf, int size, BOOL block, int timeout_sec);
    void ProcessLine(const char* line);
    // The next field of the sentence into field[0..size-1] (cut to fit);
    // returns the position after it, or null when the fields have run out.
    const char* GetSegment(const char* p, char* field, size_t size);
    BOOL CheckSumMatched() const;
    void ParseGGA(const char* p);
    void ParseRMC(const char* p);
    void ParseGSV(const char* p);
    void OnConnected();

    void SaveData();
    BOOL EnableSaveData();
    BOOL DisableSaveData();
    BOOL CreateSaveGPSDataFileName(char* name, size_t size);
    BOOL IsCardUsable(int state) const;
    int OnSDCardStateChange(int state);
    void ScanGPSFile(const char* dir);
    void ClearFileList();
    void ClearRecordLine();
    CGPSLinks* Links() const { return m_Roles.links; }
    BOOL IsFinishedDevice();

    tagGeographicPosition m_GeographicPosition;
    tagSatellitesInView m_SatellitesInView;
    int m_CurSatellites;
    int m_GPSBootTime;
    int m_GPSSBTime;
    tagRecommendedMinimumData m_RecommendedMinimumData;
    NMEAParserState m_eParserState;
    unsigned long m_NMEACheckSum;
    unsigned long m_ReceivedCheckSum;
    BOOL m_bCheckSumSeen;
    char m_szPrivGPSData[GPS_BUFF_SIZE];
    char* m_lpBuff;
    const int m_BuffSize;
    char* m_lpBuffPtr;
    char* m_lpBuffEnd;
    std::atomic<BOOL> m_DevActive;
    BOOL m_DisplayLayout;
    std::atomic<int> m_fdGPSData;
    int m_nLostSatellitesCount;
    BOOL m_ConnectedSatellites;
    std::atomic<int> m_SDState;
    int m_GPSDataSaveTime;
    CGPSFile* m_lpGPSDataFileList;
    std::atomic<BOOL> m_PauseSaveData;
    CMutex m_Mutex;

    GPSRoles m_Roles{};
    std::string m_strPortPath;
    BOOL m_bSDRegistered;
};

#endif
