#ifndef BENCH_BENCHPROCESS_H
#define BENCH_BENCHPROCESS_H

// Runs a reference or a measured program as a whole process for the
// benchmarks: started without a shell, its output to /dev/null, its wall
// time from start to exit and its own CPU time from its exit status.

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <string>
#include <vector>

extern char** environ;

struct tagBenchRun {
    bool ok = false;    // started and exited with 0
    double wallMs = 0;
    double cpuMs = 0;   // user + system
    long maxRssKiB = 0;
};

inline tagBenchRun XBenchRun(const std::vector<std::string>& args)
{
    tagBenchRun run;
    std::vector<char*> argv;
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const auto t0 = std::chrono::steady_clock::now();
    pid_t pid = -1;
    const int err = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    struct rusage ru;
    if (err != 0 || wait4(pid, &status, 0, &ru) != pid) {
        return run;
    }
    run.wallMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    run.cpuMs = (static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1e6 +
                 static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec)) / 1e3;
    run.maxRssKiB = ru.ru_maxrss;
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

#endif
