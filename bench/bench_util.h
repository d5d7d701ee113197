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
// Writes dir/release/big.bin of size bytes and serves the release with
// assistant-server (serverProgram) on a free loopback port: the server's
// process id and the file's URL. False, with the reason on standard error,
// when either fails.
bool ServeBigFile(const std::string& serverProgram, const std::string& dir, uint64_t size,
                  pid_t* server, std::string* url);
// Ends a server started so and waits for it.
void StopServer(pid_t server);
