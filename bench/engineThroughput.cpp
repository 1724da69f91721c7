// Converts one control file in-process several times and prints the median
// time of one conversion in milliseconds and the throughput in MB/s, as
// "<milliseconds> <MB/s>": the engine alone, without the process start.
//
//   engineThroughput FILE RUNS

#include "conversion.h"

#include <QElapsedTimer>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace morvant;

int main(int argc, char *argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: engineThroughput FILE RUNS\n");
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    const int runs = std::max(1, std::atoi(argv[2]));
    const double megabytes = static_cast<double>(QFileInfo(path).size()) / 1e6;

    std::vector<double> milliseconds;
    qsizetype produced = 0;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        const QString cueSheet = ccdToCue(path, [](const QString &text, const QString &title) {
            std::fprintf(stderr, "%s: %s\n", qUtf8Printable(title), qUtf8Printable(text));
        });
        milliseconds.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        produced = cueSheet.size();
    }
    if (produced == 0)
        return 1;
    std::sort(milliseconds.begin(), milliseconds.end());
    const double middle = milliseconds[milliseconds.size() / 2];
    std::printf("%.3f %.1f\n", middle, megabytes / (middle / 1e3));
    return 0;
}
