#include "Alarm/AlarmConfigManager.h"


CAlarmConfigManager::CAlarmConfigManager()
{
    for (int i = 0; i < emAlarmType_MAX; ++i) {
        m_AlarmConfig[i] = new CAlarmConfig(1u << i);
    }
}

void CAlarmConfigManager::Bind(const AlarmTargets& targets)
{
    for (CAlarmConfig* c : m_AlarmConfig) {
        c->Bind(targets);
    }
}

CAlarmConfigManager::~CAlarmConfigManager()
{
    for (CAlarmConfig*& c : m_AlarmConfig) {
        delete c;
        c = nullptr;
    }
}

BOOL CAlarmConfigManager::Init()
{
    CGuard guard(m_Mutex);
    for (CAlarmConfig* c : m_AlarmConfig) {
        c->LoadConfig();
    }
    return TRUE;
}

CAlarmConfig* CAlarmConfigManager::GetAlarmConfig(unsigned alarm)
{
    const int i = XAlarmTypeIndex(alarm);
    return i < 0 ? nullptr : m_AlarmConfig[i];
}

BOOL CAlarmConfigManager::ProcessLinkage(unsigned alarm, unsigned wpa, unsigned long lpa)
{
    CAlarmConfig* config = nullptr;
    unsigned linkage = 0;
    {
        CGuard guard(m_Mutex);
        if ((alarm & emAlarmType_Mask) == 0) {
            return FALSE;
        }
        config = GetAlarmConfig(alarm);
        if (config == nullptr) {
            return FALSE;
        }
        config->PrepareAlarmLinkage(alarm, wpa, lpa);
        linkage = config->GetLinkage();
    }
    return config->RunAlarmLinkage(linkage, alarm, wpa, lpa);
}

BOOL CAlarmConfigManager::LinkageConfig(emAlarmType alarm, emLinkageType add, emLinkageType remove)
{
    CGuard guard(m_Mutex);
    CAlarmConfig* config = GetAlarmConfig(alarm);
    if (config == nullptr) {
        return FALSE;
    }
    config->EnalbeLinkage(add);
    config->DisableLinkage(remove);
    return TRUE;
}
