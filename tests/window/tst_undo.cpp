// Undo and redo of every kind of edit on the whole window, with a scripted device: each step
// puts back the window, the hub and what the device holds, sending the same uploads the edit
// sent; the Edit menu names the step; the keys reach it.
#include "app/edithistory.h"
#include "dialogs/korvanenodeview.h"
#include "dialogs/korvanepatchview.h"
#include "tests/support/windowtestenv.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QSpinBox>
#include <QUndoStack>

#include <functional>

using Messages = std::vector<std::vector<uint8_t>>;
class TestUndo;
using Edit = std::function<void(TestUndo *)>;
Q_DECLARE_METATYPE(Edit)

namespace {

// Which uploads a step sends, in the order the history sends them.
enum Upload
{
    Map = 1,
    Settings = 2,
    Calibration = 4,
    Bend = 8,
    Gyro = 16
};

Messages uploads(int kinds, KorvaneCore *hub)
{
    namespace X = KorvaneSysex;
    Messages out;
    auto add = [&](const Messages &m) { out.insert(out.end(), m.begin(), m.end()); };
    if (kinds & Map)
        add(X::mappingRemote(hub->GetState(0), false));
    if (kinds & Settings)
        add(X::settingsRemote(hub->getCalibration()));
    if (kinds & Calibration)
        add(X::calibrationRemote(hub->getCalibration()));
    if (kinds & Bend)
        add(X::bendRemote(hub->getBendSettings()));
    if (kinds & Gyro)
        add(X::gyroRemote(hub->getGyroSettings()));
    return out;
}

// Every value the window and the sensor dialog show, by object name, and the hub's map file
// name; the status lines and the hand's lit sensors aside.
QStringList shown(MainWindow *w)
{
    QStringList out;
    QList<QWidget *> widgets = w->findChildren<QWidget *>();
    if (w->nodeView()->isVisible())
        widgets += w->nodeView()->findChildren<QWidget *>();
    for (QWidget *c : widgets) {
        const QString name = c->objectName();
        if (name == "mainmessages" || name == "statuslabel" || name.isEmpty())
            continue;
        if (auto *box = qobject_cast<QComboBox *>(c))
            out << name + "=" + QString::number(box->currentIndex());
        else if (auto *slider = qobject_cast<QAbstractSlider *>(c))
            out << name + "=" + QString::number(slider->value());
        else if (auto *spin = qobject_cast<QSpinBox *>(c))
            out << name + "=" + QString::number(spin->value());
        else if (auto *label = qobject_cast<QLabel *>(c))
            out << name + "=" + label->text();
        else if (auto *line = qobject_cast<QLineEdit *>(c))
            out << name + "=" + line->text();
    }
    KorvaneHandWidget *hand = w->handWidget();
    for (int i = 0; i < hand->nodeCount(); ++i)
        out << QString("hand%1=%2/%3").arg(i).arg(hand->node(i).type).arg(hand->node(i).note);
    out << QString("key=%1 octave=%2").arg(w->getKeyOffset()).arg(w->getOctaveCounter());
    out << "map file=" + w->core()->GetMapName();
    return out;
}

QString plain(QString text)
{
    return text.remove('&');
}

} // namespace

class TestUndo : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        env.renew(true, true);
        window = env.window.get();
        hub = env.hub;
        stack = window->editHistory()->stack();
        sent();
    }
    void cleanup() { env.reset(); }
    void undoAndRedoEveryKindOfEdit_data()
    {
        QTest::addColumn<Edit>("prepare");
        QTest::addColumn<Edit>("edit");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("kinds");
        QTest::addColumn<bool>("sends"); // the edit itself sends (a sync receives)

        const Edit nothing = [](TestUndo *) {};
        const Edit openSensor5 = [](TestUndo *t) { t->window->OpenNodeView(5); };
        auto click = [](const char *name) {
            return Edit([name](TestUndo *t) { t->child<QAbstractButton>(name)->click(); });
        };
        auto choose = [](const char *name, int index) {
            return Edit([=](TestUndo *t) { t->child<QComboBox>(name)->setCurrentIndex(index); });
        };
        auto spin = [](const char *name, int value) {
            return Edit([=](TestUndo *t) { t->child<QSpinBox>(name)->setValue(value); });
        };

        QTest::newRow("key") << nothing << click("transposeUp") << "Key" << int(Map) << true;
        QTest::newRow("scale") << nothing << choose("comboBox", 3) << "Scale" << int(Map) << true;
        QTest::newRow("sensor note")
            << openSensor5 << click("noteUpButton") << "Sensor 5 note" << int(Map) << true;
        QTest::newRow("sensor type")
            << openSensor5 << choose("typeBox", 1) << "Sensor 5 type" << int(Map) << true;
        QTest::newRow("bend") << openSensor5 << spin("bendDelayspinBox", 40) << "Bend delay"
                              << int(Bend) << true;
        QTest::newRow("gyro") << openSensor5 << spin("gyroTHSpin", 50) << "Gyro threshold"
                              << int(Gyro) << true;
        QTest::newRow("slider") << nothing << Edit([](TestUndo *t) {
            auto *s = t->child<QAbstractSlider>("velocitySlider");
            s->setValue(70);
            emit s->sliderReleased();
        }) << "Velocity sensitivity"
                                << int(Calibration) << true;
        QTest::newRow("channel") << nothing << choose("midiChannelBox", 5) << "MIDI channel"
                                 << int(Settings) << true;
        // Pitch bend as the global aftertouch also takes the bend assignments out of the map.
        QTest::newRow("pitch bend") << Edit([](TestUndo *t) {
            KorvaneSensorNode n = t->hub->GetNode(3);
            n.type = NodeGyroBend;
            t->hub->SetNode(n, 3);
            t->window->handWidget()->UpdateFromState(t->hub->GetState(0));
        }) << choose("defaultControlBox", 2)
                                    << "Global Aftertouch" << int(Map | Settings) << true;
        QTest::newRow("map load") << Edit([](TestUndo *t) {
            // Saved as Other, then as Current, as the map browser's requests save.
            auto saveAs = [t](const QString &name, int transpose) {
                t->hub->Transpose(transpose);
                QVERIFY(t->hub->SaveState(t->hub->GetDataPath() + "/maps/" + name + ".kvs"));
                t->window->setPatchName(t->hub->GetMapName());
            };
            saveAs("Other", 5);
            saveAs("Current", -5);
        }) << Edit([](TestUndo *t) {
            emit t->window->patchView()->LoadState(t->hub->GetDataPath() + "/maps/Other.kvs");
        }) << "Load Map" << int(Map)
                                  << true;
        // The device answers a sync with its map and its calibration: one step for both.
        QTest::newRow("sync") << nothing << Edit([](TestUndo *t) {
            t->child<QAbstractButton>("syncButton")->click();
            std::vector<uint8_t> map = {0xF0, 0x7D, 0x02, 24};
            for (int i = 0; i < 24; ++i)
                map.insert(map.end(), {0x03, 0, 0, uint8_t((40 + i) >> 4), uint8_t((40 + i) & 15)});
            map.push_back(0xF7);
            t->env.sys->deliver(WindowTestEnv::kDevice, map);
            t->env.sys->deliver(WindowTestEnv::kDevice,
                                {0xF0, 0x7D, 0x13, 0x00, 0x14, 0x02, 0x00, 0x00, 0x03, 0xF7});
            QTRY_COMPARE(t->hub->getCalibration().midiChannel, 3);
        }) << "Sync from Device"
                              << int(Map | Settings | Calibration) << false;
    }
    void undoAndRedoEveryKindOfEdit()
    {
        QFETCH(Edit, prepare);
        QFETCH(Edit, edit);
        QFETCH(QString, name);
        QFETCH(int, kinds);
        QFETCH(bool, sends);
        QAction *undo = window->findChild<QAction *>("actionUndo");
        QAction *redo = window->findChild<QAction *>("actionRedo");
        QVERIFY(undo && redo);

        prepare(this);
        sent();
        QCOMPARE(stack->count(), 0);
        const QStringList windowBefore = shown(window);
        const Messages before = uploads(Map | Settings | Calibration | Bend | Gyro, hub);

        edit(this);
        const Messages editSent = sent();
        const QStringList windowAfter = shown(window);
        const Messages after = uploads(Map | Settings | Calibration | Bend | Gyro, hub);
        QVERIFY(after != before);
        QVERIFY(windowAfter != windowBefore);
        QCOMPARE(stack->count(), 1);
        if (sends)
            QVERIFY(editSent == uploads(kinds, hub));
        QCOMPARE(plain(undo->text()), "Undo " + name);

        // Undo: the window and the hub as before, and the device gets the earlier records.
        undo->trigger();
        QVERIFY(sent() == uploads(kinds, hub));
        QVERIFY(uploads(Map | Settings | Calibration | Bend | Gyro, hub) == before);
        QCOMPARE(shown(window), windowBefore);
        QCOMPARE(plain(redo->text()), "Redo " + name);

        // Redo: as after the edit, with the same uploads it sent.
        redo->trigger();
        const Messages redoSent = sent();
        QVERIFY(redoSent == uploads(kinds, hub));
        if (sends)
            QVERIFY(redoSent == editSent);
        QVERIFY(uploads(Map | Settings | Calibration | Bend | Gyro, hub) == after);
        QCOMPARE(shown(window), windowAfter);
        // Undoing and redoing made no steps of their own.
        QCOMPARE(stack->count(), 1);
        QCOMPARE(stack->index(), 1);
    }
    void keysAndMenu()
    {
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window));
        const int key = hub->GetState(0).key;
        child<QAbstractButton>("transposeUp")->click();
        child<QAbstractButton>("transposeUp")->click();
        QTest::keyClick(window, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(hub->GetState(0).key, key + 1);
        QTest::keyClick(window, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(hub->GetState(0).key, key);
        QTest::keyClick(window, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(hub->GetState(0).key, key + 1);
        QTest::keyClick(window, Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(hub->GetState(0).key, key + 2);

        // In the sensor dialog too.
        window->OpenNodeView(5);
        QVERIFY(QTest::qWaitForWindowActive(window->nodeView()));
        const int note = hub->GetNode(5).note;
        child<QAbstractButton>("noteUpButton")->click();
        QCOMPARE(hub->GetNode(5).note, note + 1);
        QTest::keyClick(window->nodeView(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(hub->GetNode(5).note, note);
        QCOMPARE(child<QLabel>("noteNumberlabel")->text(), QString::number(note));
    }

private:
    template <typename T> T *child(const char *name)
    {
        T *w = window->findChild<T *>(name);
        if (!w)
            w = window->nodeView()->findChild<T *>(name);
        if (!w)
            qFatal("missing %s", name);
        return w;
    }
    // The device's messages since the last call, once every upload has left; the requests
    // for its configuration aside.
    Messages sent()
    {
        if (!hub->midi()->waitForUploads(5000))
            QTest::qFail("the uploads did not leave", __FILE__, __LINE__);
        QCoreApplication::processEvents();
        const Messages out = env.sent();
        env.sys->clearSent();
        return out;
    }

    WindowTestEnv env;
    MainWindow *window = nullptr;
    KorvaneCore *hub = nullptr;
    QUndoStack *stack = nullptr;
};

QTEST_MAIN(TestUndo)
#include "tst_undo.moc"
