#include "AVCapture/CaptureLinks.h"

#include <atomic>

#include "FactoryTest/FactoryTest.h"
#include "IniConfig/IniConfig.h"
#include "Platform/PromptLog.h"

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

BOOL CCaptureLinks::LayoutOSD(int)
{
    return TRUE;
}

BOOL CCaptureLinks::LayoutOSD()
{
    return TRUE;
}

void CCaptureLinks::PlayAudio(int index)
{
    XPromptLog(index);
}

BOOL CCaptureLinks::LinkageConfig(emAlarmType, int, int)
{
    return TRUE;
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
