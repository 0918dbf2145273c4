// The matching's log: a line per file and per differing sensor, the same lines whether they go
// through any message handler one by one or through the program's own handler in bulk, and a
// large folder read by several threads giving the same index as one would.
#include "core/debuglog.h"
#include "core/korvanemapindex.h"
#include "core/korvanemaplibrary.h"
#include "core/mapfile.h"
#include "scales/mapping.h"
#include "tests/support/testfiles.h"
#include "tests/support/testmain.h"

#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QtTest>

#include <unistd.h>

namespace {
QStringList captured;
void capture(QtMsgType, const QMessageLogContext &, const QString &message)
{
    captured << message;
}
} // namespace

class TestMatchLog : public QObject
{
    Q_OBJECT
    QTemporaryDir data;
    KorvaneSensorsState device = KorvaneSensorsState::fresh();

    QString maps() const { return data.path() + QStringLiteral("/maps/"); }
    // The log lines of one match, through the handler in force.
    QStringList matchLines(KorvaneMapLibrary &lib)
    {
        captured.clear();
        const QtMessageHandler before = qInstallMessageHandler(capture);
        const KorvaneMapLibrary::Match m = lib.match(device.nodes);
        qInstallMessageHandler(before);
        [&] { QCOMPARE(m.matched, QStringLiteral("m0299")); }();
        return captured;
    }

private slots:
    void initTestCase()
    {
        generateMapping(device, false);
        // 300 maps: m0000 differs in the note of sensor 3 and the cc of sensor 5, the others
        // each in the note of sensor (i mod 24); m0299 equals the device's map.
        for (int i = 0; i < 300; ++i) {
            KorvaneSensorsState m = device;
            if (i == 0) {
                m.nodes[3].note += 1;
                m.nodes[5] = m.nodes[6];
            } else if (i < 299) {
                m.nodes[size_t(i % 24)].note += 1;
            }
            QVERIFY(testfiles::write(maps() + QStringLiteral("m%1.kvs").arg(i, 4, 10, QChar('0')),
                                     MapFile::serialize(m, 0.2f, 1)));
        }
        device.nodes[5].type = NodeControlChange;
        device.nodes[5].cc = 21;
        KorvaneSensorsState last = device;
        QVERIFY(testfiles::write(maps() + "m0299.kvs", MapFile::serialize(last, 0.2f, 1)));
    }
    void linesThroughAnyHandler()
    {
        KorvaneMapLibrary lib(data.path(), 0.2f);
        const QStringList lines = matchLines(lib);
        QCOMPARE(lib.index()->filesRead(), 300);
        QCOMPARE(lines.filter(QStringLiteral("file  ")).size(), 300);
        const int first = lines.indexOf("file  " + maps() + "m0000.kvs  not maching");
        QVERIFY(first >= 1);
        QCOMPARE(lines.mid(first - 2, 2),
                 QStringList({"sensor  3  number not matching", "sensor  5  type not matching"}));
        QCOMPARE(lines.last(), "file  " + maps() + "m0299.kvs  matched!");
        QCOMPARE(lines.at(lines.size() - 2), "file  " + maps() + "m0298.kvs  not maching");
        // Read by several threads, the index holds every file in name order with its nodes.
        const auto &entries = lib.index()->entries();
        QCOMPARE(int(entries.size()), 300);
        for (int i = 0; i < 300; ++i) {
            QCOMPARE(entries[size_t(i)].fileName,
                     QStringLiteral("m%1.kvs").arg(i, 4, 10, QChar('0')));
            QCOMPARE(entries[size_t(i)].nodes.size(), size_t(24));
        }
        QCOMPARE(entries[7].nodes[7].note, device.nodes[7].note + 1);
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
    void programHandlerWritesTheSameLines()
    {
        KorvaneMapLibrary lib(data.path(), 0.2f);
        const QStringList expected = QStringList{"before"} + matchLines(lib) + QStringList{"after"};

        // Standard error into a file while the program's handler is in force.
        QTemporaryFile out;
        QVERIFY(out.open());
        std::fflush(stderr);
        const int saved = ::dup(2);
        QVERIFY(::dup2(out.handle(), 2) == 2);
        const QtMessageHandler before = qInstallMessageHandler(nullptr);
        DebugLog::install();
        qDebug("before");
        lib.match(device.nodes);
        qDebug("after");
        qInstallMessageHandler(before);
        std::fflush(stderr);
        ::dup2(saved, 2);
        ::close(saved);

        const QString written = QString::fromUtf8(testfiles::read(out.fileName()));
        QCOMPARE(written, expected.join('\n') + '\n');
    }
};

VARNO_TEST_CLASS(TestMatchLog)
#include "tst_matchlog.moc"
