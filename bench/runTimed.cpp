// Runs a command several times and prints the median wall time in
// milliseconds and the median peak resident memory in kB, as
// "<milliseconds> <kB>"; with several commands (separated by ---), one such
// line for each, in order. With --probe FILE the run ends, for the time, when
// the command writes "<CLOCK_MONOTONIC nanoseconds> <resident kB>" to FILE
// (firstFrameProbe does so at its first frame) and the memory is that
// resident size; the command is then stopped. --quiet sends the command's
// output to /dev/null.
//
//   runTimed RUNS [--probe FILE] [--quiet] -- COMMAND [ARGUMENT]... [--- COMMAND...]...

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

long long nowNanoseconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000000000LL + now.tv_nsec;
}

template <typename T> T median(std::vector<T> values)
{
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

struct Sample
{
    double milliseconds = 0;
    long kilobytes = 0;
};

bool readProbe(const std::string &path, long long &at, long &kilobytes)
{
    std::ifstream probe(path);
    return static_cast<bool>(probe >> at >> kilobytes);
}

bool runOnce(char **command, const std::string &probe, bool quiet, Sample *sample)
{
    if (!probe.empty())
        ::unlink(probe.c_str());
    const long long start = nowNanoseconds();
    const pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) {
        if (quiet) {
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, STDOUT_FILENO);
            ::dup2(null, STDERR_FILENO);
        }
        ::execvp(command[0], command);
        std::perror(command[0]);
        ::_exit(127);
    }

    long long end = 0;
    long probedKilobytes = 0;
    int status = 0;
    rusage usage{};
    if (!probe.empty()) {
        // Waits for the probe's report; the program is stopped afterwards.
        while (!readProbe(probe, end, probedKilobytes)) {
            if (::waitpid(child, &status, WNOHANG) == child) {
                std::fprintf(stderr, "runTimed: %s ended before its first frame\n", command[0]);
                return false;
            }
            if (nowNanoseconds() - start > 60LL * 1000000000) {
                ::kill(child, SIGKILL);
                ::waitpid(child, &status, 0);
                std::fprintf(stderr, "runTimed: %s showed no frame within 60 s\n", command[0]);
                return false;
            }
            ::usleep(200);
        }
        ::kill(child, SIGKILL);
        ::wait4(child, &status, 0, &usage);
        sample->milliseconds = static_cast<double>(end - start) / 1e6;
        sample->kilobytes = probedKilobytes;
        return true;
    }
    ::wait4(child, &status, 0, &usage);
    end = nowNanoseconds();
    if (!WIFEXITED(status)) {
        std::fprintf(stderr, "runTimed: %s did not end normally\n", command[0]);
        return false;
    }
    sample->milliseconds = static_cast<double>(end - start) / 1e6;
    sample->kilobytes = usage.ru_maxrss;
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 4) {
        std::fprintf(stderr,
            "usage: runTimed RUNS [--probe FILE] [--quiet] -- COMMAND... [--- COMMAND...]...\n");
        return 2;
    }
    const int runs = std::max(1, std::atoi(argv[1]));
    std::string probe;
    bool quiet = false;
    int i = 2;
    for (; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "--probe") == 0 && i + 1 < argc)
            probe = argv[++i];
        else if (std::strcmp(argv[i], "--quiet") == 0)
            quiet = true;
    }
    if (i + 1 >= argc)
        return 2;

    // Several commands take turns, run by run, so that a change in the
    // machine's load while they are measured falls on all of them alike.
    std::vector<char **> commands{ argv + i + 1 };
    for (int j = i + 1; j < argc; ++j) {
        if (std::strcmp(argv[j], "---") == 0) {
            argv[j] = nullptr;
            commands.push_back(argv + j + 1);
        }
    }
    std::vector<std::vector<double>> times(commands.size());
    std::vector<std::vector<long>> memory(commands.size());
    for (int run = 0; run < runs; ++run) {
        for (size_t c = 0; c < commands.size(); ++c) {
            Sample sample;
            if (!runOnce(commands[c], probe, quiet, &sample))
                return 1;
            times[c].push_back(sample.milliseconds);
            memory[c].push_back(sample.kilobytes);
        }
    }
    for (size_t c = 0; c < commands.size(); ++c)
        std::printf("%.3f %ld\n", median(times[c]), median(memory[c]));
    return 0;
}
