// The hub: its first map, scale and transpose requests, the device's map and settings, its
// side of the files (the map name, the map kept on a refused file, settings that shape the
// hub at start), and whether the instrument differs from its file.
#include "audio/korvaneaudioengine.h"
#include "audio/recordinganalysis.h"
#include "core/korvanecore.h"
#include "core/mapfile.h"
#include "tests/support/hubtestenv.h"
#include "tests/support/testfiles.h"
#include "tests/support/testmain.h"

#include <QFile>
#include <QSignalSpy>
#include <QtTest>

#include <functional>
#include <memory>

namespace {
QList<int> notes(const KorvaneSensorsState &s)
{
    QList<int> v;
    for (const auto &n : s.nodes)
        v.push_back(n.note);
    return v;
}
QList<int> shifted(QList<int> notes, int by)
{
    for (int &n : notes)
        n += by;
    return notes;
}
// The first argument of the last signal the spy caught.
template <typename T> T last(const QSignalSpy &spy)
{
    return spy.last().at(0).value<T>();
}
} // namespace

using testfiles::spyHas;

class TestCore : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        hub.reset();
        env.renew();
        hub = std::make_unique<KorvaneCore>();
    }
    void cleanupTestCase() { hub.reset(); }
    void startsWithGeneratedMapAndKeepsUserDefaults()
    {
        const KorvaneSensorsState s = hub->GetState();
        QCOMPARE(QList<int>({s.nodes[1].note, s.nodes[16].note, s.nodes[0].type}),
                 QList<int>({55, 83, NodeAction}));
        QVERIFY_EXCEPTION_THROWN(hub->GetNode(24), std::out_of_range);
        // The generated map is written only where no "Defaults" map exists yet.
        const QString path = map("Defaults");
        hub->StartEngines();
        QVERIFY(QFile::exists(path));
        KorvaneSensorsState own = s;
        own.nodes[4].note = 99;
        write("Defaults", own);
        restart();
        hub->StartEngines();
        QCOMPARE(hub->LoadStateTemp(path).nodes.at(4).note, 99);
    }
    void scaleAndTranspose()
    {
        QSignalSpy ui(hub.get(), SIGNAL(SendStateUI(KorvaneSensorsState)));
        QList<int> before = notes(hub->GetState());
        hub->ScaleRequest(-1, -1, -1);
        QCOMPARE(ui.count(), 1);
        QCOMPARE(notes(hub->GetState()), before);
        // Transposing wraps the key within an octave and moves every note; the caller
        // refreshes its views.
        const struct
        {
            int by, key, shift;
        } steps[] = {{-13, -1, -13}, {-12, -1, -25}, {13, 0, -12}, {1, 1, -11}, {-1, 0, -12}};
        for (const auto &t : steps) {
            hub->Transpose(t.by);
            QCOMPARE(hub->GetState().key, t.key);
            QCOMPARE(notes(hub->GetState()), shifted(before, t.shift));
        }
        QCOMPARE(ui.count(), 1);
        // An octave change moves every note, node 0 too, without regenerating.
        KorvaneSensorNode n0 = hub->GetNode(0);
        n0.note = 10;
        hub->SetNode(n0, 0);
        hub->ScaleRequest(-1, 5, -1);
        before[0] = 22;
        QCOMPARE(notes(hub->GetState()), before); // the transposes took it an octave down
        QCOMPARE(ui.count(), 2);
        QCOMPARE(last<KorvaneSensorsState>(ui).octave, 5);
        // Scale then key, each regenerating from the current octave.
        hub->ScaleRequest(2, -1, 4);
        const KorvaneSensorsState s = hub->GetState();
        QCOMPARE(QList<int>({s.scale, s.key, s.scaleLength, s.nodes[4].note}),
                 QList<int>({4, 2, 5, 12 * 6 + 2}));
    }
    void removeGlobalBend()
    {
        QSignalSpy ui(hub.get(), SIGNAL(SendStateUI(KorvaneSensorsState)));
        hub->RemoveGlobalBend();
        QCOMPARE(ui.count(), 0); // nothing to change
        // A gyro bend, a bend action, an octave action, and a bend on a controller node (not an
        // action node: left alone).
        const int nodes[4][2] = {{NodeGyroBend, 1},
                                 {NodeAction, ActionBendDown},
                                 {NodeAction, ActionOctaveUp},
                                 {NodeControlChange, ActionBendUp}};
        for (int i = 0; i < 4; ++i) {
            KorvaneSensorNode n(3 + i, nodes[i][0]);
            n.action = nodes[i][1];
            hub->SetNode(n, 3 + i);
        }
        hub->RemoveGlobalBend();
        QCOMPARE(ui.count(), 1);
        const KorvaneSensorsState s = last<KorvaneSensorsState>(ui);
        QCOMPARE(QList<int>({s.nodes[3].type, s.nodes[3].action, s.nodes[4].action,
                             s.nodes[5].action, s.nodes[6].type}),
                 QList<int>({NodeAction, 0, 0, ActionOctaveUp, NodeControlChange}));
    }
    void deviceMapIsMatchedAndCompleted()
    {
        KorvaneSensorsState device = hub->GetState();
        device.nodes[5].note += 1;
        QSignalSpy done(hub.get(), SIGNAL(SysExLoadCompleted()));
        QSignalSpy differ(hub.get(), SIGNAL(SendDifferingSensors(QList<int>)));
        QSignalSpy status(hub.get(), SIGNAL(sendStatusMessage(QString)));
        hub->LoadStateFromSysEx(device); // no stored map: none matches, none is near
        QVERIFY(last<QList<int>>(differ).isEmpty() && status.isEmpty());
        write("Stage", device);
        hub->LoadStateFromSysEx(device);
        QCOMPARE(hub->GetMapName(), QStringLiteral("Stage"));
        QVERIFY(last<QList<int>>(differ).isEmpty());
        // Nothing matches: the name stays, the map is the device's, the nearest map is told.
        device.nodes[2].note += 1;
        hub->LoadStateFromSysEx(device);
        QCOMPARE(done.count(), 3);
        QCOMPARE(hub->GetMapName(), QStringLiteral("Stage"));
        QCOMPARE(hub->GetState().nodes[2].note, device.nodes[2].note);
        QCOMPARE(last<QList<int>>(differ), QList<int>{2});
        QCOMPARE(last<QString>(status), QStringLiteral("Nearest map: Stage, 1 sensor differs"));

        // A short list is completed from the current map.
        KorvaneSensorsState partial = hub->GetState();
        const int note20 = partial.nodes[20].note;
        partial.nodes.resize(12);
        partial.nodes[3].note = 40;
        hub->LoadStateFromSysEx(partial);
        QCOMPARE(int(hub->GetState().nodes.size()), 24);
        QCOMPARE(QList<int>({hub->GetState().nodes[3].note, hub->GetState().nodes[20].note}),
                 QList<int>({40, note20}));
        hub->Transpose(1); // walks all 24 nodes
        QCOMPARE(hub->GetState().nodes[23].index, 23);
        // It is compared on its own nodes, whatever the current map holds beyond them; an empty
        // list matches every file.
        KorvaneSensorsState stored = hub->GetState();
        for (int i = 0; i < 12; ++i)
            stored.nodes[i] = partial.nodes[i];
        for (int i = 12; i < 24; ++i)
            stored.nodes[i].note += 5;
        QVERIFY(QFile::remove(map("Stage")));
        write("Short", stored);
        for (int size : {12, 0}) {
            partial.nodes.resize(size);
            hub->LoadStateFromSysEx(partial);
            QCOMPARE(hub->GetMapName(), QStringLiteral("Short"));
            QCOMPARE(int(hub->GetState().nodes.size()), 24);
        }
    }
    void deviceTypeAndCalibration()
    {
        QSignalSpy device(hub.get(), SIGNAL(SendRemoteDevice(int)));
        for (int type : {1, 5, 0})
            hub->setDeviceFromSysEx(type);
        QCOMPARE(QList<int>(
                     {device.at(0).at(0).toInt(), device.at(1).at(0).toInt(), hub->GetRemoteMap()}),
                 QList<int>({2, 2, 0}));
        QSignalSpy bend(hub.get(), SIGNAL(UpdateBendUI(KorvaneBendSettings)));
        KorvaneBendSettings b;
        b.bendSpeed = 3;
        hub->LoadBendFromSysEx(b);
        QCOMPARE(bend.count(), 1);
        QCOMPARE(int(last<KorvaneBendSettings>(bend).bendSpeed), 3);
    }
    void mapNameFollowsFiles()
    {
        const QString path = map("Stage");
        QVERIFY(hub->SaveState(path));
        QCOMPARE(hub->GetMapName(), QStringLiteral("Stage.kvs"));
        const KorvaneSensorsState saved = hub->GetState();
        hub->ScaleRequest(3, 5, 2);
        QSignalSpy loaded(hub.get(), SIGNAL(LoadCompleted()));
        QSignalSpy differ(hub.get(), SIGNAL(SendDifferingSensors(QList<int>)));
        QVERIFY(hub->SaveState(map("Other")));
        QVERIFY(hub->LoadState(path));
        QCOMPARE(QList<int>({loaded.count(), differ.count()}), QList<int>({1, 1}));
        QCOMPARE(hub->GetMapName(), QStringLiteral("Stage.kvs"));
        QVERIFY(hub->GetState().nodes == saved.nodes);
        // A refused file is not announced as loaded.
        QVERIFY(testfiles::write(path, "damaged"));
        QVERIFY(!hub->LoadState(path));
        QCOMPARE(loaded.count(), 1);
        hub->DeleteState("maps/Other.kvs");
        QVERIFY(!QFile::exists(map("Other")));
    }
    void settingsShapeTheNextStart()
    {
        KorvaneCalibration c;
        c.onThreshold = 30;
        hub->setCalibration(c);
        hub->setRemoteType(0);
        hub->setRemoteMap(2);
        hub->setMute(true);
        KorvaneBendSettings bend;
        bend.halfway = 0;
        bend.releaseSpeed = 9;
        KorvaneGyroSettings gyro;
        gyro.gyroThreshold = 50;
        hub->SendBendSettings(bend);
        hub->SendGyroSettings(gyro);
        const QString bendGyro = env.dataPath() + "/bendgyro.bin";
        QCOMPARE(testfiles::read(bendGyro).size(), 9);

        restart(); // a new start reads what was sent last
        QVERIFY(hub->getBendSettings() == bend && hub->getGyroSettings().gyroThreshold == 50);
        QSignalSpy mute(hub.get(), SIGNAL(SendMute(bool)));
        QSignalSpy system(hub.get(), SIGNAL(SendRemoteSystem(int)));
        QSignalSpy ui(hub.get(), SIGNAL(UpdateSettingsUI(KorvaneCalibration)));
        QVERIFY(hub->LoadSettings());
        QCOMPARE(QList<int>({mute.count(), last<bool>(mute), last<int>(system), ui.count(),
                             hub->GetMute(), hub->GetRemoteMap()}),
                 QList<int>({1, true, 0, 1, true, 2}));
        QVERIFY(hub->getCalibration() == c);
        // The stored vesko layout shaped the first map.
        QCOMPARE(QList<int>({hub->GetNode(7).type, hub->GetNode(7).action}),
                 QList<int>({NodeAction, ActionOctaveUp}));

        // A damaged bend and gyro file is refused and said; the settings in use stay.
        QVERIFY(testfiles::write(bendGyro, QByteArray(12, '\x7f')));
        QSignalSpy said(hub.get(), SIGNAL(sendStatusMessage(QString)));
        hub->LoadSettings();
        QVERIFY(spyHas(said, "Bend and gyro settings file is damaged"));
        QVERIFY(hub->getBendSettings() == bend && hub->getGyroSettings().gyroThreshold == 50);
    }
    // Every kind of change marks the instrument as differing from its file; only a load or a
    // save that worked clears the mark.
    void everyChangeMarksOnlyLoadAndSaveClear()
    {
        const QString flute = hub->GetDataPath() + "/sounds/Flute.kvi";
        if (!QFile::exists(flute))
            QSKIP("this build carries no preset instruments");
        KorvaneCore &h = *hub;
        const std::pair<const char *, std::function<void()>> changes[] = {
            {"recording", [&] { emit h.audio()->setUnsaved(); }}, // what every recording emits
            {"import",
             [&] {
                 h.audio()->importSample(std::vector<StereoFrame>(800, {0.5f, 0.5f}), "x.wav",
                                         FrequencyEstimate());
             }},
            {"sample key", [&] { h.ChangeSampleMap(0, 70); }},
            {"sample deleted", [&] { h.FlushSelected(0); }},
            {"previous removed", [&] { h.FlushPrevious(); }},
            {"all removed", [&] { h.FlushMemory(); }},
            {"play mode", [&] { h.setSamplerMode(1); }},
            {"sample list edit", [&] { h.setLayerView(h.audio()->getLayerView()); }},
            {"frequency estimated again", [&] { h.ReCalcSelected(0); }},
            {"envelope or reverb", [&] { h.MarkSoundModified(); }},
        };
        for (const auto &c : changes) {
            QVERIFY(h.LoadSound(flute));
            QVERIFY2(!h.IsSoundModified(), c.first);
            c.second();
            QVERIFY2(h.IsSoundModified(), c.first);
        }
        // A damaged file or a failed save leaves the mark; a save that worked clears it.
        const QString sounds = env.dataPath() + "/sounds/";
        testfiles::write(sounds + "Bad.kvi", "not an instrument");
        QVERIFY(!h.LoadSound(sounds + "Bad.kvi"));
        QVERIFY(!h.SaveSound(sounds + "missing/Mine.kvi"));
        QVERIFY(h.IsSoundModified());
        QVERIFY(h.SaveSound(sounds + "Mine.kvi"));
        QVERIFY(!h.IsSoundModified());
        QCOMPARE(h.GetSoundPath(), sounds + "Mine.kvi");
        h.ShutDown();
    }

private:
    QString map(const QString &name) const { return env.dataPath() + "/maps/" + name + ".kvs"; }
    void write(const QString &name, const KorvaneSensorsState &s)
    {
        QVERIFY(testfiles::write(map(name), MapFile::serialize(s, 0.2f, 1)));
    }
    void restart()
    {
        hub.reset();
        hub = std::make_unique<KorvaneCore>();
    }
    HubTestEnv env;
    std::unique_ptr<KorvaneCore> hub;
};

VARNO_TEST_CLASS(TestCore)
#include "tst_core.moc"
