#ifndef TESTS_INICONFIG_INICONFIGSTORESUPPORT_H
#define TESTS_INICONFIG_INICONFIGSTORESUPPORT_H

#include <string>

#include "IniConfig/IniConfig.h"
#include "tests/IniConfig/IniTestSupport.h"

// A store of its own, unloaded until Init, instead of the process's one.
class CTestIniConfig : public CIniConfig {
public:
    CTestIniConfig() {}
    ~CTestIniConfig() {}
};

// The file a store creates on a board without one.
inline std::string XGoldenSettings()
{
    return XFileText(DASHCAM_SOURCE_DIR "/tests/IniConfig/data/system.ini.golden");
}

#endif
