// Helpers shared by the benchmarks: timing, big files, child processes.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

// Seconds taken by fn.
double TimeSeconds(const std::function<void()>& fn);
// Best (smallest) of n timings.
double BestOf(int n, const std::function<void()>& fn);
// Writes a file of the given size filled with pseudo-random bytes.
bool MakeBigFile(const std::string& path, uint64_t size);
// Runs a command (argv[0] searched in PATH), waits; its exit code.
int RunCommand(const std::vector<std::string>& argv, const std::string& stdoutPath = "/dev/null");
// Runs fn in a child process; its exit code and the child's peak resident set (KiB).
int RunInChild(const std::function<int()>& fn, long* maxRssKiB, double* seconds);
std::string MakeTempFolder();
// Starts assistant-server (serverProgram) serving root on a free loopback
// port, its output in log; its process id.
pid_t StartFileServer(const std::string& serverProgram, const std::string& root,
                      const std::string& log);
// The port a server started so has announced in its log; 0 after 10 s.
int ReadServerPort(const std::string& log);
