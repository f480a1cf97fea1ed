#ifndef TESTS_TCPCOMM_TCPTESTUTIL_H
#define TESTS_TCPCOMM_TCPTESTUTIL_H

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

// Bytes written as hex pairs separated by white space ("ff f0 00 01").
inline std::vector<unsigned char> Hex(const std::string& text)
{
    std::vector<unsigned char> out;
    std::istringstream in(text);
    std::string b;
    while (in >> b) {
        out.push_back(static_cast<unsigned char>(std::stoul(b, nullptr, 16)));
    }
    return out;
}

inline std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Polls p every 10 ms for up to ms milliseconds.
template <typename Pred>
bool WaitFor(Pred p, int ms = 5000)
{
    for (int i = 0; i < ms / 10; ++i) {
        if (p()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return p();
}

#endif
