#ifndef OSD_OSDMANAGER_H
#define OSD_OSDMANAGER_H

#include <atomic>
#include <mutex>

#include "Function/RecTime.h"
#include "Function/types.h"
#include "MultiTask/Singleton.h"
#include "MultiTask/Thread.h"
#include "OSD/OSD.h"
#include "OSD/OSDSources.h"

// The overlays of the four encoder channels (timestamp, speed, model, logo)
// and the thread that redraws them on the timestamp producer's ticks and the
// GPS reader's messages.
class COSDManager : public CThread, public CSingleton<COSDManager> {
public:
    enum emAlignType {
        emAlign_Left = 0,
        emAlign_Center = 1,
        emAlign_Right = 2,
    };

    COSDManager();
    ~COSDManager() override;

    BOOL Init();
    BOOL CleanUp();
    BOOL LayoutOSD();
    BOOL LayoutOSD(int bHasSpeedOSD);
    BOOL SetDisplayGPSSpeedOSD(int bDisplay);
    void GetDisplayGPSSpeedOSD(int& bDisplay) { bDisplay = m_bShowSpeedOSD; }
    BOOL ShowTimestamp();
    BOOL ShowTimestamp(const tagRECTIME* rec);
    BOOL ShowSpeed(unsigned speed, int forceshow);
    BOOL UpdateOSD(int type, unsigned wpa, unsigned lpa);
    BOOL GetOSDPostion(int chn, const COSD* osd, unsigned supportWidth, emAlignType align, unsigned& x,
                       unsigned& y);

    // The channel sizes and the model (not owned), before Init. Without
    // sources the sizes are read from the encoder channels' attributes and
    // no model is shown.
    void Bind(COSDSources* lpSources) { m_lpSources = lpSources; }

    void ThreadProc() override;

    // The next speed message redraws even an unchanged value.
    std::atomic<BOOL> m_forceshowspeed;

protected:
    BOOL GetChannelResolution(int chn, unsigned& width, unsigned& height);
    BOOL DrawText(COSD* const osd[4], const char* text);
    void DeleteOverlays();

    COSD* m_TimestampOSD[4];
    COSD* m_Speed[4];
    unsigned m_CurOSDSpeed;
    std::atomic<BOOL> m_bShowSpeedOSD;
    std::atomic<BOOL> m_bGPSModuleActive;
    COSD* m_LogoOSD[4];
    COSD* m_ModelOSD[4];

    // Layout and drawing, from the overlay thread and the capture's switches.
    std::recursive_mutex m_OSDLock;
    COSDSources* m_lpSources;
};

// Picture size of an encoder channel from its attributes; 0 when it has none.
BOOL XEncoderChannelSize(int chn, unsigned& width, unsigned& height);

#endif
