#include "PlayAudio/PromptPath.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "IniConfig/IniConfig.h"

namespace {

const size_t kPathBytes = 256;

// Language-folder files by prompt number; null: none there.
const char* const kLangFiles[] = {
    nullptr,                      // 0 PCM_SYSTEMSTART
    nullptr,                      // 1 PCM_SYSTEMSTOP
    "imagecapture.wav",           // 2
    "systembootsuccess.wav",      // 3
    "systemtimeerror.wav",        // 4
    "systemtimesyncsuccess.wav",  // 5
    nullptr,                      // 6 PCM_RTCERROR
    "2015.wav",                   // 7
    nullptr,                      // 8 card file
    "gps.wav",                    // 9
    "on.wav",                     // 10
    "off.wav",                    // 11
    "sdcardcheckerror.wav",       // 12
    "sdcardwriteprotect.wav",     // 13
    "packet.wav",                 // 14
    "updaterestart.wav",          // 15
    "factorytestmode.wav",        // 16
    nullptr,                      // 17 card file
    "0.wav", "1.wav", "2.wav", "3.wav", "4.wav", "5.wav", "6.wav", "7.wav", "8.wav", "9.wav",  // 18-27
    "accessauth.wav",             // 28
    "systemreset.wav",            // 29
    "systemready.wav",            // 30 PCM_SYSTEM_READY
    "startparkingmonitor.wav",    // 31
    "exitparkingmonitor.wav",     // 32
    "systemworkgood.wav",         // 33
    "gpstimesyncsuccess.wav",     // 34
    "longtimealarm.wav",          // 35
};

struct tagModelFile {
    const char* model;
    const char* file;
};

const tagModelFile kModelFiles[] = {
    {"ZQ1", "tavika-ft/zq1.wav"},       {"ZQ2", "tavika-ft/zq2.wav"},       {"ZQ3", "tavika-ft/zq3.wav"},
    {"ZQ2PRO", "tavika-ft/zq2pro.wav"}, {"ZQ3PRO", "tavika-ft/zq3pro.wav"}, {"ZQ5", "tavika-ft/zq5.wav"},
    {"ZQ6", "tavika-ft/zq6.wav"},       {"ZW1", "tavika-ft/zw1.wav"},       {"ZW2", "tavika-ft/zw2.wav"},
    {"ZV1", "tavika-ft/zv1.wav"},       {"ZQ6PRO", "tavika-ft/zq6pro.wav"},
};

const char* LangFolder(int language)
{
    switch (language) {
    case 1:
        return "/pcmsource/en/";
    case 2:
        return "/pcmsource/ja/";
    default:
        return "/pcmsource/zh/";
    }
}

// The card file of prompt 17: "" for a model outside the table.
const char* ModelFile(const char* devmodel)
{
    if (devmodel == nullptr) {
        return "tavika-ft/modelerror.wav";
    }
    for (const tagModelFile& m : kModelFiles) {
        if (strcmp(devmodel, m.model) == 0) {
            return m.file;
        }
    }
    return "";
}

}  // namespace

int XPromptPath(char* path, size_t size, int index, int language, const char* cardPath, const char* devmodel)
{
    if (path == nullptr || size == 0) {
        return -1;
    }
    path[0] = '\0';
    if (index == PCM_FACTORY_TEST_SPEAKER || index == PCM_FACTORY_TEST_MODEL_CHECK) {
        if (cardPath == nullptr) {
            return 0;
        }
        const char* file = "tavika-ft/speaker-test.wav";
        if (index == PCM_FACTORY_TEST_MODEL_CHECK) {
            printf("devmodel: %s\n", devmodel != nullptr ? devmodel : "(null)");
            file = ModelFile(devmodel);
        }
        snprintf(path, size, "%s%s", cardPath, file);
        return 0;
    }
    const int count = static_cast<int>(sizeof(kLangFiles) / sizeof(kLangFiles[0]));
    if (index < 0 || index >= count || kLangFiles[index] == nullptr) {
        return -1;
    }
    snprintf(path, size, "%s%s", LangFolder(language), kLangFiles[index]);
    return 0;
}

int get_file_path(char* path, int index, const PromptRoles& roles)
{
    char card[kPathBytes];
    const bool bCard = (index == PCM_FACTORY_TEST_SPEAKER || index == PCM_FACTORY_TEST_MODEL_CHECK) &&
                       roles.card != nullptr && roles.card->GetSDMountPath(card, sizeof(card));
    std::string model;
    bool bModel = false;
    if (index == PCM_FACTORY_TEST_MODEL_CHECK && bCard && roles.env != nullptr) {
        bModel = roles.env->GetEnvValue("devmodel", model) != 0;
    }
    return XPromptPath(path, kPathBytes, index, CIniConfig::instance()->GetLanguageCfg(), bCard ? card : nullptr,
                       bModel ? model.c_str() : nullptr);
}
