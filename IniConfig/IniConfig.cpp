#include "IniConfig/IniConfig.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "Function/common.h"
#include "Platform/BoardRoot.h"

namespace {

const char* const kIniFile = "/root/system.ini";
const char* const kBadSuffix = ".bad";
const char* const kFuncSet = "funcset";
const char* const kStorageSet = "storageset";
const char* const kDefault = "default";

// Parsed when the settings file does not exist.
const char kTemplate[] =
    "version=3\n [storageset]\n commonvideoonsdquota=65\n alarmvideoonsdquota=30\n alarmimageonsdquota=5 \n"
    " [funcset]\n                    connectauth=0\n  volume=13 \n snapshot_associate_video = 0\n"
    " audiorecord=1\n  gensor_level=12\n voice_powerup=1\n voice_powerdown=1\n voice_gps=1\n"
    "                           voice_g_snapshot=1\n   voice_a_snapshot=1\n voice_m_snapshot=1\n\n";
static_assert(sizeof(kTemplate) == 356 + 1, "the built-in template is 356 characters");

struct tagIniKeyValue {
    const char* section;
    const char* key;
    int value;
};
typedef tagIniKeyValue IniKeyValue;

// Keys a created file gains beyond the template, in order.
const IniKeyValue kCreated[] = {
    {kFuncSet, "gesture_capture", 1},     {kFuncSet, "gesture_trigger_level", 1},
    {kFuncSet, "res_mode", 1},            {kFuncSet, "enableparkingmonitor", 0},
    {kFuncSet, "parkingtimethreshold", 3}, {kFuncSet, "voice_parking", 1},
    {kFuncSet, "language", 1},
};

// Rewritten on every load, with these values when missing from the file.
const IniKeyValue kMissingOnLoad[] = {
    {kStorageSet, "commonvideoonsdquota", 65},
    {kStorageSet, "alarmvideoonsdquota", 30},
    {kStorageSet, "alarmimageonsdquota", 5},
    {kFuncSet, "gesture_capture", 1},
    {kFuncSet, "gesture_trigger_level", 1},
    {kFuncSet, "connectauth", 0},
    {kFuncSet, "volume", 13},
    {kFuncSet, "snapshot_associate_video", 0},
    {kFuncSet, "audiorecord", 0},
    {kFuncSet, "gensor_level", 12},
    {kFuncSet, "voice_powerup", 1},
    {kFuncSet, "voice_powerdown", 1},
    {kFuncSet, "voice_gps", 1},
    {kFuncSet, "voice_g_snapshot", 1},
    {kFuncSet, "voice_a_snapshot", 1},
    {kFuncSet, "voice_m_snapshot", 1},
    {kFuncSet, "res_mode", 1},
    {kFuncSet, "enableparkingmonitor", 0},
    {kFuncSet, "parkingtimethreshold", 10},
    {kFuncSet, "voice_parking", 1},
    {kFuncSet, "language", 0},
};

// Factory reset, in order.
const IniKeyValue kReset[] = {
    {kStorageSet, "commonvideoonsdquota", 65},
    {kStorageSet, "alarmvideoonsdquota", 30},
    {kStorageSet, "alarmimageonsdquota", 5},
    {kFuncSet, "connectauth", 0},
    {kFuncSet, "volume", 13},
    {kFuncSet, "snapshot_associate_video", 0},
    {kFuncSet, "audiorecord", 1},
    {kFuncSet, "gesture_capture", 1},
    {kFuncSet, "gesture_trigger_level", 1},
    {kFuncSet, "gensor_level", 12},
    {kFuncSet, "voice_powerup", 1},
    {kFuncSet, "voice_powerdown", 1},
    {kFuncSet, "voice_gps", 1},
    {kFuncSet, "voice_g_snapshot", 1},
    {kFuncSet, "voice_a_snapshot", 1},
    {kFuncSet, "voice_m_snapshot", 1},
    {kFuncSet, "res_mode", 1},
    {kFuncSet, "enableparkingmonitor", 0},
    {kFuncSet, "parkingtimethreshold", 3},
    {kFuncSet, "voice_parking", 1},
    {kFuncSet, "language", 1},
};

std::string XIniPath()
{
    return XBoardPath(kIniFile);
}

// The whole file; false when it cannot be opened or read.
bool XReadWholeFile(const std::string& path, std::string& data)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    data.clear();
    char buf[4096];
    bool ok = true;
    for (;;) {
        ssize_t n = SafeRead(fd, buf, sizeof(buf));
        if (n < 0) {
            ok = false;
            break;
        }
        if (n == 0) {
            break;
        }
        data.append(buf, static_cast<size_t>(n));
    }
    close(fd);
    return ok;
}

// A settings file as the store writes it: parsed, or null when it cannot be
// read, is empty or does not end with its last line's line feed (cut off).
INI_CONFIG* XLoadSettingsFile(const std::string& path)
{
    std::string data;
    if (!XReadWholeFile(path, data) || data.empty() || data.back() != '\n' ||
        data.size() > static_cast<size_t>(INT32_MAX)) {
        return nullptr;
    }
    return ini_config_create_from_string(data.data(), static_cast<int>(data.size()), 0);
}

}  // namespace


CIniConfig::CIniConfig()
    : m_voice_g_snapshot(0),
      m_voice_a_snapshot(0),
      m_voice_m_snapshot(0),
      m_voice_gpsworking(0),
      m_audiorecord(0),
      m_connectauth(0),
      m_language(0),
      m_speed_unit(0),
      m_snapshot_associate_video(0),
      m_gesturecapture(1),
      m_gesture_trigger_level(1),
      m_ResMode(1),
      m_ParkingEnable(0),
      m_ParkingTimeTh(3),
      m_voice_parking(0),
      m_lpConfig(nullptr)
{
}

CIniConfig::~CIniConfig()
{
    CGuard guard(m_IniMutex);
    ini_config_destroy(m_lpConfig);
    m_lpConfig = nullptr;
}

BOOL CIniConfig::Init()
{
    return OpenFuncSetting();
}

BOOL CIniConfig::CleanUp()
{
    return SaveFuncSetting();
}

int CIniConfig::GetInt(const char* section, const char* key, int default_int)
{
    CGuard guard(m_IniMutex);
    if (m_lpConfig == nullptr) {
        fprintf(stderr, "InitConfig not Init  %s,%d\n", __FILE__, __LINE__);
        return -1;
    }
    return ini_config_get_int(m_lpConfig, section, key, default_int);
}

int CIniConfig::SetInt(const char* section, const char* key, int key_len, int value)
{
    CGuard guard(m_IniMutex);
    return SetIntLocked(section, key, key_len, value, true);
}

int CIniConfig::SetInt(const char* section, const char* key, int value)
{
    return SetInt(section, key, 0, value);
}

int CIniConfig::SetIntLocked(const char* section, const char* key, int key_len, int value, bool save)
{
    if (m_lpConfig == nullptr) {
        fprintf(stderr, "InitConfig not Init  %s,%d\n", __FILE__, __LINE__);
        return -1;
    }
    int ret = ini_config_set_int(m_lpConfig, section, key, key_len, value);
    if (ret == 0) {
        return 0;
    }
    UpdateCache(section, key, key_len, value);
    if (save && !ini_config_save(m_lpConfig, XIniPath().c_str())) {
        return 0;
    }
    return ret;
}

void CIniConfig::UpdateCache(const char* section, const char* key, int key_len, int value)
{
    // The cache mirrors "funcset" only.
    if (section == nullptr || strcmp(section, kFuncSet) != 0 || key == nullptr || key_len < 0) {
        return;
    }
    const std::string name = key_len == 0 ? std::string(key) : std::string(key, static_cast<size_t>(key_len));
    struct tagCacheSlot {
        const char* key;
        std::atomic<int>* field;
    } const slots[] = {
        {"voice_g_snapshot", &m_voice_g_snapshot},
        {"voice_a_snapshot", &m_voice_a_snapshot},
        {"voice_m_snapshot", &m_voice_m_snapshot},
        {"voice_gps", &m_voice_gpsworking},
        {"audiorecord", &m_audiorecord},
        {"gesture_capture", &m_gesturecapture},
        {"gesture_trigger_level", &m_gesture_trigger_level},
        {"connectauth", &m_connectauth},
        {"snapshot_associate_video", &m_snapshot_associate_video},
        {"res_mode", &m_ResMode},
        {"enableparkingmonitor", &m_ParkingEnable},
        {"parkingtimethreshold", &m_ParkingTimeTh},
        {"voice_parking", &m_voice_parking},
        {"language", &m_language},
    };
    for (const tagCacheSlot& slot : slots) {
        if (name == slot.key) {
            slot.field->store(value);
            return;
        }
    }
}

void CIniConfig::RefreshCache()
{
    if (m_lpConfig == nullptr) {
        return;
    }
    auto get = [this](const char* key, int def) { return ini_config_get_int(m_lpConfig, kFuncSet, key, def); };
    m_voice_g_snapshot.store(get("voice_g_snapshot", 1));
    m_voice_a_snapshot.store(get("voice_a_snapshot", 1));
    m_voice_m_snapshot.store(get("voice_m_snapshot", 1));
    m_voice_gpsworking.store(get("voice_gps", 1));
    m_gesturecapture.store(get("gesture_capture", 1));
    m_gesture_trigger_level.store(get("gesture_trigger_level", 1));
    m_audiorecord.store(get("audiorecord", 1));
    m_connectauth.store(get("connectauth", 0));
    m_snapshot_associate_video.store(get("snapshot_associate_video", 0));
    m_ResMode.store(get("res_mode", 1));
    m_ParkingEnable.store(get("enableparkingmonitor", 0));
    m_ParkingTimeTh.store(get("parkingtimethreshold", 3));
    m_voice_parking.store(get("voice_parking", 1));
    m_language.store(get("language", 0));
}

BOOL CIniConfig::SaveLocked()
{
    if (m_lpConfig == nullptr || !ini_config_save(m_lpConfig, XIniPath().c_str())) {
        fprintf(stderr, "save function setting ini file error  %s,%d\n", __FILE__, __LINE__);
        return FALSE;
    }
    return TRUE;
}

BOOL CIniConfig::CreateFromTemplate(bool save)
{
    INI_CONFIG* created = ini_config_create_from_string(kTemplate, 0, 0);
    if (created == nullptr) {
        fprintf(stderr, "create function setting ini data error  %s,%d\n", __FILE__, __LINE__);
        return FALSE;
    }
    ini_config_destroy(m_lpConfig);
    m_lpConfig = created;
    for (const IniKeyValue& kv : kCreated) {
        SetIntLocked(kv.section, kv.key, 0, kv.value, save);
    }
    ini_config_print(m_lpConfig, stdout);
    if (!save || !ini_config_save(m_lpConfig, XIniPath().c_str())) {
        fprintf(stderr, "create function setting ini file error  %s,%d\n", __FILE__, __LINE__);
        return FALSE;
    }
    printf("create iniconfig file\n");
    return TRUE;
}

void CIniConfig::CompleteLoaded()
{
    if (ini_config_get_int(m_lpConfig, kDefault, "version", 3) <= 2) {
        SetIntLocked(kDefault, "version", 0, 3, true);
        SetIntLocked(kFuncSet, "snapshot_associate_video", 0, 0, true);
        SetIntLocked(kFuncSet, "gensor_level", 0, 12, true);
    }
    for (const IniKeyValue& kv : kMissingOnLoad) {
        int value = ini_config_get_int(m_lpConfig, kv.section, kv.key, kv.value);
        if (strcmp(kv.key, "voice_parking") == 0) {
            value = 1;
        }
        SetIntLocked(kv.section, kv.key, 0, value, true);
    }
}

BOOL CIniConfig::OpenFuncSetting()
{
    CGuard guard(m_IniMutex);
    const std::string path = XIniPath();
    BOOL ok = TRUE;
    if (!XFilePathExists(path.c_str())) {
        ok = CreateFromTemplate(true);
    } else if (m_lpConfig == nullptr) {
        printf("ini_config_create_from_file\n");
        INI_CONFIG* loaded = XLoadSettingsFile(path);
        if (loaded == nullptr) {
            fprintf(stderr, "read function setting ini file error  %s,%d\n", __FILE__, __LINE__);
            // Keep the unreadable file for inspection and start afresh; when
            // it cannot be moved, nothing is written over it.
            const std::string bad = path + kBadSuffix;
            bool kept = rename(path.c_str(), bad.c_str()) == 0;
            if (kept) {
                printf("unreadable settings kept as %s, creating a fresh file\n", bad.c_str());
            } else {
                printf("unreadable settings cannot be moved aside, defaults for this run only\n");
            }
            ok = CreateFromTemplate(kept);
        } else {
            m_lpConfig = loaded;
            CompleteLoaded();
            ok = SaveLocked();
            ini_config_print(m_lpConfig, stdout);
        }
    } else {
        ini_config_print(m_lpConfig, stdout);
    }
    RefreshCache();
    return m_lpConfig != nullptr ? ok : FALSE;
}

BOOL CIniConfig::SaveFuncSetting()
{
    CGuard guard(m_IniMutex);
    return SaveLocked();
}

BOOL CIniConfig::ResetIniConfig()
{
    CGuard guard(m_IniMutex);
    if (m_lpConfig == nullptr) {
        return FALSE;
    }
    printf("ResetIniConfig\n");
    for (const IniKeyValue& kv : kReset) {
        SetIntLocked(kv.section, kv.key, 0, kv.value, true);
    }
    return SaveLocked();
}

int CIniConfig::GetIniConfig(char* buf, int len)
{
    CGuard guard(m_IniMutex);
    if (buf == nullptr) {
        return -1;
    }
    int fd = open(XIniPath().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    int count = 0;
    while (count < len) {
        ssize_t n = SafeRead(fd, buf + count, static_cast<size_t>(len - count));
        if (n < 0) {
            close(fd);
            return -1;
        }
        if (n == 0) {
            break;
        }
        count += static_cast<int>(n);
    }
    close(fd);
    printf("iniconfig len : %d\n", count);
    return count;
}
