#pragma once

#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>

// A small timed harness: runs a body repeatedly for at least `minMs`, takes the
// best of `rounds`, and reports nanoseconds per run.
namespace bench {

// ORVANE_BENCH_RUNS=N runs each body exactly N times instead, for counting
// instructions under callgrind (--toggle-collect on the measured function).
inline double nsPerRun(const std::function<void()> &body, int rounds = 5, qint64 minMs = 200)
{
    if (const int fixed = qEnvironmentVariableIntValue("ORVANE_BENCH_RUNS"); fixed > 0) {
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < fixed; ++i)
            body();
        return double(timer.nsecsElapsed()) / fixed;
    }
    double best = 1e300;
    for (int r = 0; r < rounds; ++r) {
        QElapsedTimer timer;
        timer.start();
        qint64 runs = 0;
        do {
            body();
            ++runs;
        } while (timer.elapsed() < minMs);
        best = std::min(best, double(timer.nsecsElapsed()) / double(runs));
    }
    return best;
}

// The same for a body that times its own part and returns the nanoseconds
// taken, so that set-up and clean-up stay outside.
inline double nsPerTimedRun(const std::function<qint64()> &body, int rounds = 5, qint64 minMs = 200)
{
    const int fixed = qEnvironmentVariableIntValue("ORVANE_BENCH_RUNS");
    double best = 1e300;
    for (int r = 0; r < (fixed > 0 ? 1 : rounds); ++r) {
        QElapsedTimer timer;
        timer.start();
        qint64 runs = 0;
        qint64 taken = 0;
        do {
            taken += body();
            ++runs;
        } while (fixed > 0 ? runs < fixed : timer.elapsed() < minMs);
        best = std::min(best, double(taken) / double(runs));
    }
    return best;
}

// The sizes to run: those on the command line, or the defaults.
inline QList<int> countsFrom(int argc, char **argv, QList<int> defaults)
{
    if (argc <= 1)
        return defaults;
    QList<int> counts;
    for (int i = 1; i < argc; ++i)
        counts.append(QByteArray(argv[i]).toInt());
    return counts;
}

// A throw-away home for one run: the settings store and the trace file go to
// a temporary folder, never into the user's own.
class Home : public QTemporaryDir
{
public:
    Home()
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(filePath(QStringLiteral("config"))));
        qputenv("XDG_STATE_HOME", QFile::encodeName(filePath(QStringLiteral("state"))));
    }
};

inline void report(const char *name, double ns, double baselineNs)
{
    std::printf("%-48s %12.1f ns  ratio %.2f\n", name, ns, ns / baselineNs);
    std::fflush(stdout);
}

} // namespace bench

// Keeps the optimizer from dropping a result.
template <typename T>
inline void keep(const T &value)
{
    asm volatile("" : : "g"(&value) : "memory");
}
