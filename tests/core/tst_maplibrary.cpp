// The maps folder on its own: the file layout, refused files, matching the device's map
// against the stored maps, and the matching's log.
#include "core/atomicfile.h"
#include "core/debuglog.h"
#include "core/korvanemapindex.h"
#include "core/korvanemaplibrary.h"
#include "core/mapfile.h"
#include "scales/mapping.h"
#include "tests/support/testfiles.h"
#include "tests/support/testmain.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QtEndian>
#include <QtTest>

#include <memory>
#include <unistd.h>

namespace {
KorvaneSensorsState generated()
{
    KorvaneSensorsState m = KorvaneSensorsState::fresh();
    generateMapping(m, false);
    return m;
}
QStringList captured;
void capture(QtMsgType, const QMessageLogContext &, const QString &message)
{
    captured << message;
}
} // namespace

class TestMapLibrary : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        lib = std::make_unique<KorvaneMapLibrary>(dir->path(), 0.2f);
    }
    void cleanup() { AtomicFile::simulateInterruptionAfter(-1); }
    void roundTripAndLayout()
    {
        KorvaneSensorsState saved = generated();
        saved.key = 3;
        saved.octave = 5;
        saved.scale = 2;
        saved.mapId = 11;
        saved.nodes[7].type = NodeControlChange;
        saved.nodes[7].cc = 74;
        saved.nodes[7].extra = 12345;
        QVERIFY(lib->save(path("Stage.kvs"), saved, 1));

        const QByteArray bytes = testfiles::read(path("Stage.kvs"));
        QCOMPARE(bytes.size(), 520);
        QCOMPARE(qFromLittleEndian<float>(bytes.constData()), 0.2f);
        // The node count, then node 7 at 40 + 7 * 20: type, action, cc, extra, note.
        const auto at = [&](int offset) {
            return qFromLittleEndian<qint32>(bytes.data() + offset);
        };
        QCOMPARE(QList<int>({at(36), at(180), at(188), at(192)}), QList<int>({24, 1, 74, 12345}));

        KorvaneSensorsState back = KorvaneSensorsState::fresh();
        QVERIFY(lib->load(path("Stage.kvs"), back));
        QCOMPARE(QList<int>({back.key, back.octave, back.scale, back.mapId, back.scaleLength,
                             int(back.nodes.size())}),
                 QList<int>({3, 5, 2, 11, saved.scaleLength, 24}));
        QVERIFY(back.nodes == saved.nodes);
        QVERIFY(lib->loadTemp(path("Stage.kvs")).nodes == saved.nodes);

        // An interrupted save keeps the old file and leaves no temporary file behind.
        QSignalSpy status(lib.get(), &KorvaneMapLibrary::statusMessage);
        AtomicFile::simulateInterruptionAfter(2);
        QVERIFY(!lib->save(path("Stage.kvs"), KorvaneSensorsState::fresh(), 1));
        QVERIFY(status.at(0).at(0).toString().startsWith("Map was not saved: Stage.kvs"));
        QCOMPARE(testfiles::read(path("Stage.kvs")), bytes);
        QCOMPARE(QDir(lib->mapsFolder()).entryList(QDir::Files).size(), 1);

        // Removing takes names inside the data folder as well as full paths.
        lib->remove("maps/Stage.kvs");
        QVERIFY(!QFile::exists(path("Stage.kvs")));
    }
    void refusedFilesKeepTheMap()
    {
        KorvaneSensorsState m = KorvaneSensorsState::fresh();
        m.key = 9;
        const QByteArray good = MapFile::serialize(m, 0.2f, 1);
        const struct
        {
            const char *what;
            QByteArray bytes;
            const char *message; // nullptr: accepted
        } cases[] = {
            {"newer", MapFile::serialize(m, 1.0f, 1), nullptr},
            {"older", MapFile::serialize(m, 0.1f, 1), "Incompatible file"},
            {"header only", good.left(30), "damaged"},
            {"short", good.left(519), "damaged"},
            {"huge count", good.left(36) + testfiles::le32(1000000) + good.mid(40), "damaged"},
            {"few nodes", good.left(36) + testfiles::le32(3) + good.mid(40), "damaged"},
        };
        for (const auto &c : cases) {
            testfiles::write(path("x.kvs"), c.bytes);
            QSignalSpy status(lib.get(), &KorvaneMapLibrary::statusMessage);
            QSignalSpy versionError(lib.get(), &KorvaneMapLibrary::versionError);
            KorvaneSensorsState map = generated();
            QCOMPARE(lib->load(path("x.kvs"), map), !c.message);
            QCOMPARE(map.key, c.message ? 0 : 9);
            QCOMPARE(int(map.nodes.size()), 24);
            QCOMPARE(lib->loadTemp(path("x.kvs")).nodes.empty(), bool(c.message));
            QCOMPARE(versionError.count(), QByteArray(c.what) == "older" ? 2 : 0); // load, loadTemp
            if (c.message)
                QVERIFY2(status.at(0).at(0).toString().contains(c.message), c.what);
        }
        QSignalSpy status(lib.get(), &KorvaneMapLibrary::statusMessage);
        KorvaneSensorsState map;
        QVERIFY(!lib->load(path("missing.kvs"), map));
        QVERIFY(status.at(0).at(0).toString().startsWith("Could not open map missing.kvs"));
    }
    void matching()
    {
        KorvaneSensorsState device = generated();
        device.nodes[5].type = NodeControlChange;
        device.nodes[5].cc = 21;
        device.nodes[9].type = NodeGyroAction;
        device.nodes[9].action = 2;

        // Differs only in extra fields and in the note of the action node 0: matches.
        KorvaneSensorsState a = device;
        for (auto &n : a.nodes)
            n.extra = 99;
        a.nodes[0].note = 1;
        put("A first.kvs", a);
        KorvaneSensorsState b = device;
        b.key = 7; // header fields are not compared
        put("B second.KVS", b);
        KorvaneSensorsState wrongCc = device;
        wrongCc.nodes[5].cc = 20;
        put("C cc.kvs", wrongCc);
        KorvaneSensorsState wrongGyro = device;
        wrongGyro.nodes[9].action = 3;
        put("D gyro.kvs", wrongGyro);
        testfiles::write(path("E damaged.kvs"), MapFile::serialize(device, 0.2f, 1).left(200));
        put("notes.txt", device);

        // A list shorter than the device's never matches, and differs everywhere.
        QVERIFY(!KorvaneMapLibrary::compare(device.nodes, {}));
        QCOMPARE(KorvaneMapLibrary::differing(device.nodes, {}).size(), 24);

        KorvaneMapLibrary::Match m = lib->match(device.nodes);
        QVERIFY(m.found);
        QCOMPARE(m.matched, QStringLiteral("B second")); // the last match wins

        // Nothing matches: the readable map with the fewest differences, the first on ties.
        device.nodes[2].note += 1;
        device.nodes[9].action = 3;
        m = lib->match(device.nodes);
        QVERIFY(!m.found);
        QCOMPARE(m.nearest, QStringLiteral("D gyro"));
        QCOMPARE(m.nearestDiffer, QList<int>{2});
        device.nodes[9].action = 2;
        m = lib->match(device.nodes);
        QCOMPARE(m.nearest, QStringLiteral("A first"));

        // An empty folder has no nearest map.
        QTemporaryDir empty;
        KorvaneMapLibrary none(empty.path(), 0.2f);
        m = none.match(device.nodes);
        QVERIFY(!m.found && m.nearest.isEmpty());
    }
    void onlyChangedFilesAreReadAgain()
    {
        const KorvaneSensorsState device = generated();
        KorvaneSensorsState other = device;
        other.nodes[4].note += 1;
        for (const char *name : {"a.kvs", "b.kvs", "c.kvs"})
            put(name, other);
        put("old.kvs", other, 0.1f);
        QSignalSpy versionError(lib.get(), &KorvaneMapLibrary::versionError);
        const KorvaneMapIndex &index = *lib->index();
        QCOMPARE(lib->match(device.nodes).nearest, QStringLiteral("a"));
        QCOMPARE(index.filesRead(), 4);
        lib->match(device.nodes);
        QCOMPARE(index.filesRead(), 4);
        QCOMPARE(versionError.count(), 2); // an older file is reported at every match, as it was

        // Saved here, written, rewritten or deleted by another program: seen at the next match,
        // with no event loop in between, and only the changed file is read.
        QVERIFY(lib->save(path("d.kvs"), device, 1));
        QVERIFY(lib->match(device.nodes).found);
        QCOMPARE(index.filesRead(), 5);
        QVERIFY(QFile::remove(path("d.kvs")));
        QVERIFY(!lib->match(device.nodes).found);
        put("e.kvs", device);
        QCOMPARE(lib->match(device.nodes).matched, QStringLiteral("e"));
        testfiles::write(path("e.kvs"), MapFile::serialize(device, 0.2f, 1).left(100));
        QVERIFY(!lib->match(device.nodes).found);
        QCOMPARE(index.filesRead(), 7);
    }

    // A line per file and per differing sensor, the same whether they go through any message
    // handler one by one or through the program's own handler in bulk; a large folder read by
    // several threads gives the same index as one thread would.
    void matchLog()
    {
        // 300 maps: m0000 differs in the note of sensor 3, the others each in the note of
        // sensor (i mod 24), all in the type of sensor 5; m0299 equals the device's map.
        KorvaneSensorsState device = generated();
        QStringList fileLines; // in name order, whichever thread read the file
        for (int i = 0; i < 300; ++i) {
            const QString name = QStringLiteral("m%1.kvs").arg(i, 4, 10, QChar('0'));
            fileLines << "file  " + path(name) + (i < 299 ? "  not maching" : "  matched!");
            KorvaneSensorsState m = device;
            if (i == 0) {
                m.nodes[3].note += 1;
                m.nodes[5] = m.nodes[6];
            } else if (i < 299) {
                m.nodes[size_t(i % 24)].note += 1;
            }
            put(name, m);
        }
        device.nodes[5].type = NodeControlChange;
        device.nodes[5].cc = 21;
        put("m0299.kvs", device);
        captured.clear();
        QtMessageHandler before = qInstallMessageHandler(capture);
        const QString matched = lib->match(device.nodes).matched;
        qInstallMessageHandler(before);
        const QStringList lines = captured;
        QCOMPARE(matched, QStringLiteral("m0299"));
        QCOMPARE(lines.filter(QStringLiteral("file  ")), fileLines);
        const int first = lines.indexOf("file  " + path("m0000.kvs  not maching"));
        QVERIFY(first >= 1);
        QCOMPARE(lines.mid(first - 2, 2),
                 QStringList({"sensor  3  number not matching", "sensor  5  type not matching"}));
        QCOMPARE(lines.last(), fileLines.last());
        QCOMPARE(lib->index()->entries().at(7).nodes.at(7).note, device.nodes[7].note + 1);

        // Standard error into a file while the program's handler is in force.
        QTemporaryFile out;
        QVERIFY(out.open());
        std::fflush(stderr);
        const int saved = ::dup(2);
        QVERIFY(::dup2(out.handle(), 2) == 2);
        before = qInstallMessageHandler(nullptr);
        DebugLog::install();
        qDebug("before");
        lib->match(device.nodes);
        qDebug("after");
        qInstallMessageHandler(before);
        std::fflush(stderr);
        ::dup2(saved, 2);
        ::close(saved);
        QCOMPARE(QString::fromUtf8(testfiles::read(out.fileName())),
                 (QStringList{"before"} + lines + QStringList{"after"}).join('\n') + '\n');
    }
    void longListsAndUnendedLines()
    {
        // A device list longer than the usual 24 sensors, and lines without a final newline.
        std::vector<KorvaneSensorNode> a(40), b(40);
        for (auto &n : a)
            n.type = NodeNote;
        b = a;
        b[35].note = 7;
        captured.clear();
        const QtMessageHandler before = qInstallMessageHandler(capture);
        QVERIFY(!KorvaneMapLibrary::compare(a, b));
        DebugLog::writeLines("one\ntwo");
        DebugLog::writeLines("solo");
        qInstallMessageHandler(before);
        QCOMPARE(captured, QStringList({"sensor  35  number not matching", "one", "two", "solo"}));
    }

private:
    QString path(const QString &name) const { return lib->mapsFolder() + name; }
    void put(const QString &name, const KorvaneSensorsState &m, float version = 0.2f)
    {
        QVERIFY(testfiles::write(path(name), MapFile::serialize(m, version, 1)));
    }
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<KorvaneMapLibrary> lib;
};

VARNO_TEST_CLASS(TestMapLibrary)
#include "tst_maplibrary.moc"
