// Back Up and Restore on a hub with a scripted device: a backup holds exactly what the uploads
// send, restoring it sends those bytes again and brings the hub back, a damaged file sends
// nothing, and the map browser writes a map as .syx.
#include "app/syxrequests.h"
#include "device/korvanemidiengine.h"
#include "device/syxfile.h"
#include "dialogs/korvanepatchview.h"
#include "dialogs/korvanetreeview.h"
#include "tests/support/editortestkit.h"
#include "tests/support/filedialoganswer.h"
#include "tests/support/scriptedmidibackend.h"
#include "tests/support/windowtestenv.h"

using Messages = std::vector<std::vector<uint8_t>>;

class TestSyxRestore : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        env = std::make_unique<HubTestEnv>();
        sys = std::make_shared<ScriptedMidiSystem>();
        sys->setInputPorts({"KVRN Glove"});
        sys->setOutputPorts({"KVRN Glove"});
        hub = std::make_unique<KorvaneCore>(std::make_unique<ScriptedMidiBackend>(sys));
        hub->midi()->setPauses(std::chrono::milliseconds(0), std::chrono::milliseconds(0));
        hub->midi()->FindDevices();
        window = std::make_unique<QWidget>();
        maps = std::make_unique<KorvanePatchView>();
        maps->UpdateDirectory(hub->GetDataPath());
        syx = std::make_unique<SyxRequests>(hub.get(), maps.get(), window.get());
        files = std::make_unique<QTemporaryDir>();
        sent();
    }
    void cleanup()
    {
        syx.reset();
        maps.reset();
        window.reset();
        hub.reset();
        env.reset();
    }
    void restoreSendsTheBackedUpUpload_data()
    {
        QTest::addColumn<int>("dialect");
        QTest::addColumn<QString>("held");
        QTest::newRow("remote")
            << int(KorvaneSyxFile::Remote)
            << "holds the map Stage, calibration, settings, bend settings, gyro "
               "settings.";
        // The older dialect's map carries twelve notes: the rest of the map stays as it is, so it
        // matches no stored map.
        QTest::newRow("palmetto") << int(KorvaneSyxFile::Palmetto)
                                  << "holds a map that no stored map matches, settings.";
    }
    void restoreSendsTheBackedUpUpload()
    {
        QFETCH(int, dialect);
        QFETCH(QString, held);
        hub->setRemoteType(dialect);
        const Messages original = editAndUpload(3, 2, 40, 9);
        const KorvaneSensorsState map = hub->GetState();
        const KorvaneCalibration calibration = hub->getCalibration();
        QVERIFY(hub->SaveState(hub->GetDataPath() + "/maps/Stage.kvs"));

        const QString path = files->filePath("Backup.syx");
        QVERIFY(syx->backUpTo(path));
        QCOMPARE(testfiles::read(path), KorvaneSyxFile::join(original));

        editAndUpload(7, 5, 20, 3);
        QSignalSpy shown(hub.get(), &KorvaneCore::SysExLoadCompleted);
        QSignalSpy settingsShown(hub.get(), &KorvaneCore::UpdateSettingsUI);
        BoxAnswerer yes(QMessageBox::Yes);
        QVERIFY(syx->restoreFrom(path));
        QCOMPARE(yes.texts.size(), 1);
        QVERIFY2(yes.texts[0].contains(held), qPrintable(yes.texts[0]));
        QVERIFY(sent() == original);

        // The hub and the window hold what was restored.
        QCOMPARE(shown.count(), 1);
        QCOMPARE(settingsShown.count(), 1);
        const int sensors = dialect == KorvaneSyxFile::Remote ? 18 : 12;
        const auto nodes = hub->GetState().nodes;
        QCOMPARE(KorvaneCore::DifferingSensors({nodes.begin(), nodes.begin() + sensors}, map.nodes),
                 QList<int>());
        QVERIFY(hub->getCalibration() == calibration);
        if (dialect == KorvaneSyxFile::Remote) {
            QCOMPARE(hub->GetMapName(), QString("Stage"));
            QCOMPARE(hub->getBendSettings().bendSpeed, uint8_t(9));
            QCOMPARE(hub->getGyroSettings().gyroRate, uint8_t(9));
        }
    }
    void damagedOrDeclinedSendsNothing()
    {
        // Every kind of damage is refused by the file reader; here, that a refusal sends nothing
        // and says so, and that a declined restore sends nothing either.
        const QString path = files->filePath("Backup.syx");
        QVERIFY(syx->backUpTo(path));
        const QByteArray bytes = testfiles::read(path);
        const KorvaneSensorsState before = hub->GetState();
        QSignalSpy status(syx.get(), &SyxRequests::statusMessage);
        for (const bool damaged : {true, false}) {
            QVERIFY(testfiles::write(path, damaged ? bytes.left(bytes.size() - 3) : bytes));
            status.clear();
            BoxAnswerer no(QMessageBox::No);
            QVERIFY(!syx->restoreFrom(path));
            QCOMPARE(no.texts.size(), damaged ? 0 : 1);
            QVERIFY(sent().empty());
            QVERIFY(hub->GetState().nodes == before.nodes);
            QCOMPARE(testfiles::spyHas(status, "was not restored"), damaged);
        }
    }
    void mapBrowserSavesAMapAsSyx()
    {
        // A map other than the current one, chosen in the browser, through the file dialog.
        KorvaneSensorsState other = hub->GetState();
        other.nodes[4].note = 90;
        hub->UpdateState(other);
        QVERIFY(hub->SaveState(hub->GetDataPath() + "/maps/Other.kvs"));
        hub->ScaleRequest(1, 3, 4);
        maps->refresh();
        const QModelIndex row = maps->list()->model()->index(maps->names().indexOf("Other"), 0);
        QMetaObject::invokeMethod(maps.get(), "on_listView_clicked", Q_ARG(QModelIndex, row));

        answerFileDialog(files->path(), "Other map");
        press(maps.get(), "syxButton");
        QCOMPARE(testfiles::read(files->filePath("Other map.syx")),
                 KorvaneSyxFile::join(KorvaneSysex::mappingRemote(other, false)));
    }

private:
    // What left since the last call, once every upload is out.
    Messages sent()
    {
        hub->midi()->waitForUploads(5000);
        Messages out;
        for (const auto &s : sys->sent())
            out.push_back(s.bytes);
        sys->clearSent();
        return out;
    }
    // Sets records unlike the defaults and returns what uploading all of them sends.
    Messages editAndUpload(int key, int scale, int onThreshold, uint8_t bendSpeed)
    {
        hub->ScaleRequest(key, 5, scale);
        KorvaneCalibration c = hub->getCalibration();
        c.onThreshold = uint8_t(onThreshold);
        c.midiChannel = uint8_t(key);
        hub->setCalibration(c);
        const KorvaneBendSettings b{2, 1, bendSpeed};
        const KorvaneGyroSettings g{bendSpeed};
        hub->SendBendSettings(b);
        hub->SendGyroSettings(g);
        sent();
        hub->SendState();
        if (hub->GetRemoteType() == KorvaneSyxFile::Remote)
            hub->SendCalibration();
        hub->SendSettings();
        if (hub->GetRemoteType() == KorvaneSyxFile::Remote) {
            hub->SendBendSettings(b);
            hub->SendGyroSettings(g);
        }
        return sent();
    }

    std::unique_ptr<HubTestEnv> env;
    std::shared_ptr<ScriptedMidiSystem> sys;
    std::unique_ptr<KorvaneCore> hub;
    std::unique_ptr<QWidget> window;
    std::unique_ptr<KorvanePatchView> maps;
    std::unique_ptr<SyxRequests> syx;
    std::unique_ptr<QTemporaryDir> files;
};

QTEST_MAIN(TestSyxRestore)
#include "tst_syxrestore.moc"
