// The window thread's longest stall while the older dialect's 72-second settings upload and
// a mapping upload run against the device emulator (a private JACK server with the dummy
// driver; scripts/bench starts both). A precise 5 ms timer ticks on the hub's thread, which
// runs a real event loop; the longest gap between two ticks is the figure.
//
// Prints: upload_stall_ms LONGEST_GAP upload_ms TOTAL ticks N busy_ms CPU_IN_LONGEST_GAP
// (the thread's own CPU time within the longest gap: near zero means the thread was waiting
// for the processor, not working).
#include "core/korvanecore.h"
#include "device/korvanemidiengine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {
double threadCpuMs()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}
} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir dataHome;
    qputenv("XDG_DATA_HOME", dataHome.path().toUtf8());
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("varno-control-bench"));

    KorvaneCore hub;
    QElapsedTimer waited;
    waited.start();
    {
        // The hub finds the emulator on its own once-a-second check.
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if ((hub.midi()->isOutputOpen() && !hub.midi()->isSending()) ||
                waited.elapsed() > 10000)
                loop.quit();
        });
        poll.start(20);
        loop.exec();
    }
    if (!hub.midi()->isOutputOpen()) {
        std::fprintf(stderr, "no device port found (is the emulator running?)\n");
        return 1;
    }

    KorvaneCalibration cal;
    cal.onThreshold = 33;
    hub.setRemoteType(0);
    hub.setSettings(cal); // ten messages, eight seconds apart
    hub.SendState();      // the mapping queues behind them

    QElapsedTimer clock, tick;
    qint64 longest = 0;
    long ticks = 0;
    double lastCpu = threadCpuMs();
    double busyInLongest = 0.0;
    QEventLoop loop;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 gap = tick.nsecsElapsed();
        const double cpuNow = threadCpuMs();
        if (gap > longest) {
            longest = gap;
            busyInLongest = cpuNow - lastCpu;
        }
        lastCpu = cpuNow;
        tick.restart();
        ++ticks;
        if (!hub.midi()->isSending() || clock.elapsed() > 120000)
            loop.quit();
    });
    clock.start();
    tick.start();
    ticker.start(5);
    loop.exec();
    const qint64 total = clock.elapsed();
    std::printf("upload_stall_ms %.2f upload_ms %lld ticks %ld busy_ms %.2f\n",
                double(longest) / 1e6, total, ticks, busyInLongest);
    if (hub.midi()->isSending() || total < 70000) {
        std::fprintf(stderr, "the upload did not run its course\n");
        return 1;
    }
    return 0;
}
