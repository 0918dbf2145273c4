// Matching the map a device reports against a maps folder of 10,000 map files, as the hub
// does when a mapping reply arrives: compare every map, log a line per file (and a line per
// differing sensor). The first match reads every file into the maps index (FirstScan); later
// ones compare in memory (TargetMapMatching, through the hub). Run with stderr going where the
// program's log goes (scripts/bench sends it to a file); the Quiet variant turns the debug log
// off to show what the log costs.
#include "core/debuglog.h"
#include "core/korvanecore.h"
#include "core/korvanemapindex.h"
#include "core/korvanemaplibrary.h"
#include "core/mapfile.h"
#include "scales/mapping.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <memory>

namespace {

const int kFiles = 10000;

QTemporaryDir *dataHome = nullptr;

KorvaneSensorsState generated(int key, int octave, int scale)
{
    KorvaneSensorsState map = KorvaneSensorsState::fresh();
    map.key = key;
    map.octave = octave;
    map.scale = scale;
    generateMapping(map, false);
    return map;
}

// 10,000 maps of every key, octave and scale in turn: most of their sensors differ from the
// device's map, a few files match it.
void writeMaps(const QString &folder)
{
    QDir().mkpath(folder);
    for (int i = 0; i < kFiles; ++i) {
        const KorvaneSensorsState map = generated(i % 12, 2 + (i / 12) % 5, (i / 60) % 24);
        QFile f(folder + QStringLiteral("/map%1.kvs").arg(i, 5, 10, QLatin1Char('0')));
        if (f.open(QIODevice::WriteOnly))
            f.write(MapFile::serialize(map, 0.2f, 1));
    }
}

void matchAll(benchmark::State &state, bool quiet)
{
    QLoggingCategory::setFilterRules(quiet ? QStringLiteral("*.debug=false") : QString());
    KorvaneCore hub;
    const KorvaneSensorsState device = generated(3, 4, 5);
    hub.LoadStateFromSysEx(device); // the first scan, measured on its own below
    QSignalSpy done(&hub, SIGNAL(SysExLoadCompleted()));
    for (auto _ : state)
        hub.LoadStateFromSysEx(device);
    QLoggingCategory::setFilterRules(QString());
    if (done.count() != int(state.iterations()) || hub.GetMapName().isEmpty())
        state.SkipWithError("the matching did not complete or found no match");
}

// A new maps index each time: lists the folder and reads every file, then compares.
void BM_FirstScan(benchmark::State &state)
{
    const KorvaneSensorsState device = generated(3, 4, 5);
    int read = 0;
    bool found = true;
    for (auto _ : state) {
        KorvaneMapLibrary maps(dataHome->path() + QStringLiteral("/varno-control-bench"), 0.2f);
        found = found && maps.match(device.nodes).found;
        read = maps.index()->filesRead();
    }
    if (!found || read != kFiles)
        state.SkipWithError("the first scan did not read every file or found no match");
}

void BM_TargetMapMatching(benchmark::State &state)
{
    matchAll(state, false);
}

void BM_MapMatchingQuiet(benchmark::State &state)
{
    matchAll(state, true);
}

} // namespace

// The first scan runs first: the later matches are then timed on a folder that is no longer
// being written (a folder changed within the last second is listed again at each match).
BENCHMARK(BM_FirstScan)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_TargetMapMatching)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_MapMatchingQuiet)->Unit(benchmark::kMillisecond)->MinTime(2.0);

int main(int argc, char **argv)
{
    // The hub's MIDI engine must not start a sound server of its own.
    qputenv("JACK_NO_START_SERVER", "1");
    DebugLog::install(); // the program's own log output
    dataHome = new QTemporaryDir;
    qputenv("XDG_DATA_HOME", dataHome->path().toUtf8());
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("varno-control-bench"));
    writeMaps(dataHome->path() + QStringLiteral("/varno-control-bench/maps"));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    delete dataHome;
    return 0;
}
