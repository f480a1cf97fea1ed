// The card's factory marker files and the mode flags they set.
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "FactoryTest/FactoryTest.h"
#include "Function/common.h"
#include "Periphery/SDManager.h"
#include "Platform/BoardRoot.h"

namespace {

const char kApMarker[] = "tavika-ft/.tavika-ft-4b584654-ap-0.cfg";
const char kCheckModelMarker[] = "tavika-ft/.checkmodelcfg";
const char kTestCfg[] = "tavika-ft/.testcfg";

BOOL IsYes(const char* value)
{
    return toupper(static_cast<unsigned char>(value[0])) == 'Y' ? TRUE : FALSE;
}

}  // namespace

int CFactoryTest::SDCardStateChange(int state, void* priv)
{
    return static_cast<CFactoryTest*>(priv)->OnSDCardStateChange(state);
}

void CFactoryTest::ApplyTestCfgLine(const char* line)
{
    const char* eq = strchr(line, '=');
    const std::string key(line, static_cast<size_t>(eq - line));
    const char* value = eq + 1;
    if (key == "burnintest") {
        m_bBurnInTesting = IsYes(value);
    } else if (key == "forcediscovery") {
        m_bForceDiscorvery = IsYes(value);
    } else if (key == "title") {
        std::lock_guard<std::mutex> lock(m_TitleLock);
        snprintf(m_DevTitle, sizeof(m_DevTitle), "%.31s", value);
    }
}

int CFactoryTest::OnSDCardStateChange(int state)
{
    m_bBurnInTesting = FALSE;
    m_bFactoryTesting = FALSE;
    printf("IN CFactoryTest SD STATE CALLBACK...\n");
    if ((state & emSDState_Insert) && (state & emSDState_Mount)) {
        const char* const files[] = {kApMarker, kCheckModelMarker, kTestCfg};
        for (size_t i = 0; i < sizeof(files) / sizeof(files[0]); ++i) {
            char mount[256] = {0};
            if (m_Roles.card == nullptr || !m_Roles.card->GetSDMountPath(mount, sizeof(mount))) {
                continue;
            }
            const std::string path = XBoardPath(std::string(mount) + files[i]);
            if (i == 0) {
                if (access(path.c_str(), F_OK) == 0) {
                    m_bFactoryTesting = TRUE;
                    printf("IN Factorytesting...\n");
                }
            } else if (i == 1) {
                if (access(path.c_str(), F_OK) == 0) {
                    m_bFactoryCheckModel = TRUE;
                }
            } else {
                FILE* fp = fopen(path.c_str(), "r");
                if (fp == nullptr) {
                    continue;
                }
                char line[256];
                for (ssize_t n; (n = XReadTextLine(fp, line, sizeof(line))) >= 0;) {
                    const size_t len = static_cast<size_t>(n);
                    if (memchr(line, '\0', len) != nullptr) {
                        continue;  // a NUL byte: the line is no text
                    }
                    if (len > 0 && line[len - 1] == '\r') {
                        line[len - 1] = '\0';
                    }
                    if (line[0] == '#' || line[0] == '\0') {
                        continue;
                    }
                    if (strchr(line, '=') == nullptr) {
                        fprintf(stderr, "invalid line '%s'\n", line);
                        break;
                    }
                    ApplyTestCfgLine(line);
                }
                fclose(fp);
            }
        }
    }
    if (m_bForceDiscorvery) {
        EnableDiscovery();
    }
    if (m_bBurnInTesting && m_Roles.ports != nullptr) {
        m_Roles.ports->SetLedOnOffRate(10);
    }
    printf("BURN IN TEST MODE[%c]\n", m_bBurnInTesting ? 'Y' : 'N');
    return 0;
}
