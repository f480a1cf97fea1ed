#include "support/TestBoard.h"

#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <stdexcept>

#include "Function/common.h"
#include "Periphery/GPIO.h"
#include "Platform/BoardRoot.h"

std::string XTestRun(const std::string& cmd, int* status)
{
    std::string out;
    FILE* p = popen(cmd.c_str(), "r");
    if (p == nullptr) {
        throw std::runtime_error("cannot run " + cmd);
    }
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), p)) > 0) {
        out.append(buf, n);
    }
    int st = pclose(p);
    if (status != nullptr) {
        *status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    }
    return out;
}

CTestBoard::CTestBoard(const std::string& leaf)
{
    char tmpl[] = "/tmp/dashcam-board-XXXXXX";
    if (mkdtemp(tmpl) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    m_strTop = tmpl;
    m_strDir = leaf.empty() ? m_strTop : m_strTop + "/" + leaf;
    int st = 0;
    XTestRun(std::string(DASHCAM_PYTHON " ") + DASHCAM_SOURCE_DIR + "/sim/board init --force " +
                 XShellQuote(m_strDir) + " >/dev/null",
             &st);
    if (st != 0) {
        throw std::runtime_error("sim/board init failed");
    }
    // Register windows mapped for an earlier board belong to its file.
    CGPIOManager::instance()->CleanUp();
    PlatformSetBoardRoot(m_strDir.c_str());
}

CTestBoard::~CTestBoard()
{
    CGPIOManager::instance()->CleanUp();
    PlatformSetBoardRoot("");
    if (m_strTop.rfind("/tmp/dashcam-board-", 0) == 0) {
        XTestRun("rm -rf " + XShellQuote(m_strTop));
    }
}

std::string CTestBoard::Sim(const std::string& subcommand, const std::string& args) const
{
    return XTestRun(std::string(DASHCAM_PYTHON " ") + DASHCAM_SOURCE_DIR + "/sim/board " + subcommand + " " +
                    XShellQuote(m_strDir) + " " + args);
}

std::string CTestBoard::Commands() const
{
    return Sim("commands");
}

int CTestBoard::GetPin(int pin) const
{
    return atoi(Sim("gpio", std::to_string(pin)).c_str());
}

void CTestBoard::SetPin(int pin, int level) const
{
    Sim("gpio", std::to_string(pin) + " " + std::to_string(level));
}
