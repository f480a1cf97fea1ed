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
#include "Periphery/GPSFileList.h"
#include "Periphery/GPSLinks.h"
#include "Periphery/GPSTrackFile.h"
#include "Periphery/NmeaParser.h"
#include "Periphery/NmeaReader.h"
#include "Periphery/Serial.h"

// The receiver's port.
#define GPS_SERIAL_DEV "/dev/ttyAMA1"
// Bytes of one line (a line holds at most 1023) and of the record line.
#define GPS_BUFF_SIZE 1024

// The GPS receiver on the second UART: sets the receiver up and, on its own
// thread, takes the lines of the NMEA reader through the NMEA parser. It
// drives the speed overlay and the fix prompt, keeps the last record line,
// has it written to the daily track file and keeps the app's list of track
// files current with the card.
//
// Threads: the reader thread parses and saves; the record line, the track
// file, the file list and the card state are guarded by m_Mutex (recursive)
// and read by the snapshot, HTTP and main threads and the SD callbacks. The
// reader and the parser belong to the reader thread.
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
    void ProcessLine(const char* line);
    void OnRMC();
    void OnGSV();
    void OnConnected();
    BOOL IsFinishedDevice();
    // The record line of the fix, then its track file line.
    void SaveData();
    int OnSDCardStateChange(int state);
    void ClearRecordLine();
    CGPSLinks* Links() const { return m_Roles.links; }

    CNmeaReader m_Reader;
    CNmeaParser m_Parser;
    int m_CurSatellites;
    int m_GPSBootTime;
    int m_GPSSBTime;
    std::atomic<BOOL> m_DevActive;
    BOOL m_DisplayLayout;
    int m_nLostSatellitesCount;
    BOOL m_ConnectedSatellites;

    // m_Mutex
    char m_szPrivGPSData[GPS_BUFF_SIZE];
    std::atomic<int> m_SDState;
    CGPSTrackFile m_TrackFile;
    CGPSFileList m_FileList;
    CMutex m_Mutex;

    GPSRoles m_Roles{};
    std::string m_strPortPath;
    BOOL m_bSDRegistered;
};

#endif
