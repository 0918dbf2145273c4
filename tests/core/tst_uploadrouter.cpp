// Which upload goes out for each remote type and device variant, and the connection check, on
// a scripted MIDI system; then that the hub routes with its own remote type and map.
#include "core/korvanecore.h"
#include "core/korvaneuploadrouter.h"
#include "device/korvanemidiengine.h"
#include "device/sysexcodec.h"
#include "scales/mapping.h"
#include "tests/support/hubtestenv.h"
#include "tests/support/scriptedmidibackend.h"
#include "tests/support/testmain.h"

#include <QSignalSpy>
#include <QtTest>

#include <thread>

using Messages = std::vector<std::vector<uint8_t>>;

namespace {
Messages operator+(Messages a, const Messages &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
} // namespace

class TestUploadRouter : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        sys = std::make_shared<ScriptedMidiSystem>();
        plug(true);
        midi = std::make_unique<KorvaneMidiEngine>(std::make_unique<ScriptedMidiBackend>(sys));
        midi->setPauses(std::chrono::milliseconds(0), std::chrono::milliseconds(0));
        router = std::make_unique<KorvaneUploadRouter>(midi.get(), 0.2f);
        engine = midi.get();
    }
    void dialectByRemoteType()
    {
        KorvaneSensorsState map = KorvaneSensorsState::fresh();
        generateMapping(map, false);
        KorvaneCalibration c;
        c.onThreshold = 33;
        namespace X = KorvaneSysex;
        const Messages set = X::settingsRemote(c), cal = X::calibrationRemote(c),
                       old = X::settingsPalmetto(c);
        const struct
        {
            int type;
            bool vesko;
            Messages map, settingsAndCalibration, echo;
        } cases[] = {
            {1, false, X::mappingRemote(map, false), set + cal, {}},
            {1, true, X::mappingRemote(map, true), set + cal, cal},
            // The older dialect carries the calibration in its settings upload.
            {0, true, {X::mappingPalmetto(map)}, old + old, old},
            {2, true, {}, {}, {}}, // no dialect: nothing leaves
        };
        midi->FindDevices();
        sent();
        QSignalSpy status(router.get(), &KorvaneUploadRouter::statusMessage);
        for (const auto &k : cases) {
            const QByteArray what = QByteArray::number(k.type) + (k.vesko ? " vesko" : "");
            router->sendMap(map, k.type, k.vesko);
            QVERIFY2(sent() == k.map, what);
            router->sendSettings(c, k.type);
            router->sendCalibration(c, k.type);
            QVERIFY2(sent() == k.settingsAndCalibration, what);
            // Only a vesko device gets the calibration it reported echoed back.
            status.clear();
            router->settingsReceived(c, k.type, k.vesko);
            QVERIFY2(sent() == k.echo, what);
            QCOMPARE(status.count(), k.vesko ? 1 : 0);
        }
        QCOMPARE(status.at(0).at(0).toString(),
                 QStringLiteral("Calibration echoed back to device"));

        // Bend and gyro settings exist only in the current dialect.
        KorvaneBendSettings b;
        b.bendDelay = 9;
        const KorvaneGyroSettings g{2, 40, 1};
        router->sendBend(b);
        router->sendGyro(g);
        QVERIFY(sent() == X::bendRemote(b) + X::gyroRemote(g));
    }
    void connectionCheck()
    {
        // However often the device comes and goes, this thread neither creates nor destroys a
        // MIDI client: the engine's port thread does.
        const int clientsHere = sys->clientChangesOn(std::this_thread::get_id());
        const Messages ask{KorvaneSysex::infoRequest()};
        QSignalSpy connectable(router.get(), &KorvaneUploadRouter::connectable);
        QSignalSpy connected(router.get(), &KorvaneUploadRouter::connected);
        QSignalSpy status(router.get(), &KorvaneUploadRouter::statusMessage);
        check(false);
        QCOMPARE(QList<int>({connectable.count(), connected.count()}), QList<int>({1, 0}));
        sent();
        // The device appears: the check connects and asks it for its configuration once.
        check(true);
        QCOMPARE(connected.count(), 1);
        QVERIFY(sent() == ask);
        // No answer (a request lost while the link came up): asked again, three times in all.
        Messages asked;
        for (int i = 0; i < 3; ++i) {
            check(true);
            asked = asked + sent();
        }
        QCOMPARE(connected.count(), 4);
        QVERIFY(asked == ask + ask);
        // Once the device has answered, nothing more is asked.
        check(false);
        check(true);
        QVERIFY(sent() == ask);
        QSignalSpy type(midi.get(), &KorvaneMidiEngine::setDeviceType);
        midi->ProcessMessage({0xF0, 0x7D, 0x0E, 0x00, 0xF7}); // device type 0
        QTRY_COMPARE(type.count(), 1);
        check(true);
        QVERIFY(sent().empty());
        // It leaves: noticed and reported; it returns: synchronised again.
        connected.clear();
        check(false);
        QCOMPARE(status.last().at(0).toString(), QStringLiteral("Device disconnected"));
        check(true);
        QCOMPARE(connected.count(), 1);
        QVERIFY(sent() == ask);
        QCOMPARE(sys->clientChangesOn(std::this_thread::get_id()), clientsHere);
    }
    void hubRoutesWithItsRemoteTypeAndMap()
    {
        HubTestEnv env;
        router.reset();
        midi.reset();
        KorvaneCore hub(std::make_unique<ScriptedMidiBackend>(sys));
        engine = hub.midi();
        engine->setPauses(std::chrono::milliseconds(0), std::chrono::milliseconds(0));
        engine->FindDevices();
        sent();
        namespace X = KorvaneSysex;
        hub.ScaleRequest(-1, -1, 3); // remote type 1, standard layout
        QVERIFY(sent() == X::mappingRemote(hub.GetState(), false));
        hub.setRemoteMap(2); // vesko slot order, and the calibration echoed back
        hub.Transpose(2);
        hub.GotSettingsFromDevice();
        QVERIFY(sent() == X::mappingRemote(hub.GetState(), true) +
                              X::calibrationRemote(hub.getCalibration()));
        hub.setRemoteType(0);
        hub.SendState();
        hub.setSettings(hub.getCalibration());
        QVERIFY(sent() == Messages{X::mappingPalmetto(hub.GetState())} +
                              X::settingsPalmetto(hub.getCalibration()));
        // The one-second check reports through the hub.
        QSignalSpy connectable(&hub, SIGNAL(EnableMIDIConnect()));
        plug(false);
        hub.CheckMIDI();
        QTRY_COMPARE(connectable.count(), 1);
    }

private:
    // The messages sent since the last call, once every upload has gone out.
    Messages sent()
    {
        engine->waitForUploads(2000);
        const Messages out = sys->sentBytes();
        sys->clearSent();
        return out;
    }
    // One connection check with the device there or not, waited for: it runs on the engine's
    // port thread.
    void check(bool present)
    {
        plug(present);
        QSignalSpy connectable(router.get(), &KorvaneUploadRouter::connectable);
        QSignalSpy connected(router.get(), &KorvaneUploadRouter::connected);
        router->checkConnection();
        QTRY_COMPARE(connectable.count() + connected.count(), 1);
    }
    void plug(bool present)
    {
        const std::vector<std::string> ports =
            present ? std::vector<std::string>{"KVRN Glove"} : std::vector<std::string>{};
        sys->setInputPorts(ports);
        sys->setOutputPorts(ports);
    }

    std::shared_ptr<ScriptedMidiSystem> sys;
    std::unique_ptr<KorvaneMidiEngine> midi;
    KorvaneMidiEngine *engine = nullptr; // the one whose uploads sent() waits for
    std::unique_ptr<KorvaneUploadRouter> router;
};

VARNO_TEST_CLASS(TestUploadRouter)
#include "tst_uploadrouter.moc"
