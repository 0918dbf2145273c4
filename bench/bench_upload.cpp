// The window thread's longest stall while the older dialect's 72-second settings upload and
// a mapping upload run against the device emulator (a private JACK server with the dummy
// driver; scripts/bench starts both). A precise 5 ms timer ticks on the hub's thread, which
// runs a real event loop; the longest gap between two ticks is the figure.
//
// Prints: upload_stall_ms LONGEST_GAP upload_ms TOTAL ticks N busy_ms CPU_IN_LONGEST_GAP
// longest_event_ms LONGEST_DELIVERY (the thread's own CPU time within the longest gap: near
// zero means the thread was waiting for the processor, not working; and the longest single
// event the thread delivered, timer slots included: the stall our code causes, which on a
// loaded machine the longest gap can hide behind the wait for a processor).
//
// With --no-device the same upload is asked for while no device is attached, and the window
// thread is watched for 72 seconds while the once-a-second check searches for the device;
// it prints nodevice_stall_ms LONGEST_GAP watched_ms TOTAL ticks N busy_ms CPU.
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
// Times every event delivered on the thread at the outermost level.
class TimedApp : public QCoreApplication
{
public:
    using QCoreApplication::QCoreApplication;
    bool notify(QObject *receiver, QEvent *event) override
    {
        if (depth_++ > 0) {
            const bool r = QCoreApplication::notify(receiver, event);
            --depth_;
            return r;
        }
        QElapsedTimer t;
        t.start();
        const bool r = QCoreApplication::notify(receiver, event);
        longestNs = std::max(longestNs, t.nsecsElapsed());
        --depth_;
        return r;
    }
    qint64 longestNs = 0;

private:
    int depth_ = 0;
};

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir dataHome;
    qputenv("XDG_DATA_HOME", dataHome.path().toUtf8());
    TimedApp app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("varno-control-bench"));

    const bool noDevice = argc > 1 && qstrcmp(argv[1], "--no-device") == 0;
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
        if (!noDevice)
            loop.exec();
    }
    if (!noDevice && !hub.midi()->isOutputOpen()) {
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
        const bool done = noDevice ? clock.elapsed() >= 72000 : !hub.midi()->isSending();
        if (done || clock.elapsed() > 120000)
            loop.quit();
    });
    app.longestNs = 0; // start-up is not part of the figure
    clock.start();
    tick.start();
    ticker.start(5);
    loop.exec();
    const qint64 total = clock.elapsed();
    if (noDevice) {
        std::printf("nodevice_stall_ms %.2f watched_ms %lld ticks %ld busy_ms %.2f "
                    "longest_event_ms %.2f\n",
                    double(longest) / 1e6, total, ticks, busyInLongest,
                    double(app.longestNs) / 1e6);
        return hub.midi()->isOutputOpen() ? 1 : 0;
    }
    std::printf(
        "upload_stall_ms %.2f upload_ms %lld ticks %ld busy_ms %.2f longest_event_ms %.2f\n",
        double(longest) / 1e6, total, ticks, busyInLongest, double(app.longestNs) / 1e6);
    if (hub.midi()->isSending() || total < 70000) {
        std::fprintf(stderr, "the upload did not run its course\n");
        return 1;
    }
    return 0;
}
