#ifndef TESTS_SUPPORT_TESTBOARD_H
#define TESTS_SUPPORT_TESTBOARD_H

#include <string>

// A fresh simulated board folder made by sim/board, set as the process's
// board root for the fixture's lifetime and removed afterwards. With a
// `leaf`, the board is the folder of that name (blanks, quotes, ...) inside
// the temporary folder.
class CTestBoard {
public:
    explicit CTestBoard(const std::string& leaf = "");
    ~CTestBoard();
    CTestBoard(const CTestBoard&) = delete;
    CTestBoard& operator=(const CTestBoard&) = delete;

    const std::string& Dir() const { return m_strDir; }
    // Path of a board file given by its device path ("/dev/mem" -> DIR/dev/mem).
    std::string Path(const std::string& devicePath) const { return m_strDir + devicePath; }
    // Runs "sim/board SUBCOMMAND DIR ARGS" and returns its standard output.
    std::string Sim(const std::string& subcommand, const std::string& args = "") const;
    std::string Commands() const;
    int GetPin(int pin) const;
    void SetPin(int pin, int level) const;

private:
    std::string m_strTop;  // the temporary folder, removed afterwards
    std::string m_strDir;
};

// Output of a shell command run on the host (test tools only).
std::string XTestRun(const std::string& cmd, int* status = nullptr);

#endif
