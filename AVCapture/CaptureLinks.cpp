#include "AVCapture/CaptureLinks.h"

#include <atomic>

#include "Alarm/AlarmConfigManager.h"
#include "FactoryTest/FactoryTest.h"
#include "IniConfig/IniConfig.h"
#include "OSD/OSDManager.h"
#include "PlayAudio/PlayAudio.h"

namespace {

std::atomic<CCaptureLinks*> g_lpLinks{nullptr};

}  // namespace

CCaptureLinks* CCaptureLinks::instance()
{
    static CCaptureLinks defaults;
    CCaptureLinks* links = g_lpLinks.load();
    return links != nullptr ? links : &defaults;
}

void CCaptureLinks::SetLinks(CCaptureLinks* lpLinks)
{
    g_lpLinks.store(lpLinks);
}

BOOL CCaptureLinks::LayoutOSD(int chn)
{
    return COSDManager::instance()->LayoutOSD(chn);
}

BOOL CCaptureLinks::LayoutOSD()
{
    return COSDManager::instance()->LayoutOSD();
}

void CCaptureLinks::PlayAudio(int index)
{
    CPlayAudio::instance()->PlayAudio(static_cast<pcm_index_t>(index));
}

BOOL CCaptureLinks::LinkageConfig(emAlarmType alarm, int add, int remove)
{
    return CAlarmConfigManager::instance()->LinkageConfig(alarm, static_cast<emLinkageType>(add),
                                                           static_cast<emLinkageType>(remove));
}

BOOL CCaptureLinks::GetFactoryTesting()
{
    return FALSE;
}

BOOL CCaptureLinks::GetFactoryTestOK()
{
    return CFactoryTest::instance()->GetFactoryTestOK();
}

int CCaptureLinks::GetInt(const char* section, const char* key, int default_int)
{
    return CIniConfig::instance()->GetInt(section, key, default_int);
}

int CCaptureLinks::GetParkingVoiceCfg()
{
    return CIniConfig::instance()->GetParkingVoiceCfg();
}

int CCaptureLinks::GetSnapshotAssociateVideoCfg()
{
    return CIniConfig::instance()->GetSnapshotAssociateVideoCfg();
}
