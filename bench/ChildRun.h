#pragma once
// Runs tessival-batch as a child process and reads what it cost: wall time and peak memory
// (ru_maxrss of the child alone).

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

struct TChild {
    long PeakKB = 0;
    double Seconds = 0;
    int Status = -1;
};

// Runs tessival-batch with Args, its log thrown away.
inline TChild RunTool(std::vector<std::string> Args)
{
    std::string tool = TESSIVAL_BATCH_TOOL;
    std::vector<char*> argv{tool.data()};
    for (std::string& a : Args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        execv(argv[0], argv.data());
        _exit(127);
    }
    TChild child;
    int status = 0;
    rusage usage {};
    wait4(pid, &status, 0, &usage);
    child.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    child.PeakKB = usage.ru_maxrss;
    child.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return child;
}
