#include "dialogs/korvanenodeview.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSpinBox>
#include <QToolButton>
#include <QtTest>

namespace {
KorvaneSensorNode sentNode(const QSignalSpy &spy, int i = -1)
{
    const QList<QVariant> &args = i < 0 ? spy.last() : spy.at(i);
    return args.at(0).value<KorvaneSensorNode>();
}

KorvaneSensorNode makeNode(int index, int type, int action = 0, int cc = 0, int note = 60)
{
    KorvaneSensorNode n(index, type);
    n.action = action;
    n.cc = cc;
    n.note = note;
    return n;
}
} // namespace

class TestNodeView : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { registerKorvaneMetaTypes(); }
    void init();
    void cleanup();
    void configurationSendsNothing();
    void rowsFollowType();
    void typeChangeSendsNode();
    void gyroBendClearsGlobalBendOnce();
    void bendActionShowsBendRows();
    void noteButtonsStopAtLimits();
    void typedNoteNames();
    void ccSpinKeepsSending();
    void ccShownIsCcSent();
    void gyroActionAndHalfwayShowTheSensors();
    void bendAndGyroSendWholeRecords();

private:
    template <typename T> T *child(const char *name) { return view->findChild<T *>(name); }
    bool shown(const char *name) { return !view->findChild<QWidget *>(name)->isHidden(); }

    KorvaneNodeView *view = nullptr;
    QSignalSpy *config = nullptr;
    QSignalSpy *bendClear = nullptr;
};

void TestNodeView::init()
{
    view = new KorvaneNodeView;
    config = new QSignalSpy(view, SIGNAL(SendConfiguration(KorvaneSensorNode, int)));
    bendClear = new QSignalSpy(view, SIGNAL(removeGlobalBend()));
}

void TestNodeView::cleanup()
{
    delete config;
    delete bendClear;
    delete view;
}

void TestNodeView::configurationSendsNothing()
{
    QSignalSpy bend(view, SIGNAL(SendBendSettings(KorvaneBendSettings)));
    QSignalSpy gyro(view, SIGNAL(SendGyroSettings(KorvaneGyroSettings)));
    // Every combo moves: type, action, the bend kind and the CC box.
    view->setConfiguration(makeNode(5, NodeAction, 1, 20, 70), 5);
    view->setConfiguration(makeNode(7, NodeGyroControlChange, 0, 64, 40), 7);
    QCOMPARE(config->count(), 0);
    QCOMPARE(bend.count(), 0);
    QCOMPARE(gyro.count(), 0);
    QCOMPARE(child<QLabel>("Sensorlabel")->text(), QStringLiteral("Sensor 7"));
    QCOMPARE(child<QComboBox>("typeBox")->currentIndex(), int(NodeGyroControlChange));
    QCOMPARE(child<QSpinBox>("CCSPin")->value(), 64);
    QCOMPARE(child<QLineEdit>("noteNameEdit")->text(), QStringLiteral("E2"));
    QCOMPARE(child<QLabel>("noteNumberlabel")->text(), QStringLiteral("40"));
}

void TestNodeView::rowsFollowType()
{
    view->setConfiguration(makeNode(1, NodeNote), 1);
    QVERIFY(shown("noteLabel") && shown("noteNameEdit") && shown("noteUpButton"));
    QVERIFY(!shown("CCSPin") && !shown("actionBox") && !shown("gyroComboBOx"));
    QVERIFY(!shown("gyroActioncomboBox") && !shown("gyroTHSpin") && !shown("bendSpeedspinBox"));

    view->setConfiguration(makeNode(1, NodeGyroControlChange), 1);
    QVERIFY(shown("CCSPin") && shown("gyroTHSpin") && shown("gyroRateSpin") &&
            shown("gyroModeBox"));
    QVERIFY(!shown("noteLabel") && !shown("noteNameEdit") && !shown("actionBox"));

    view->setConfiguration(makeNode(1, NodeGyroAction), 1);
    QVERIFY(shown("gyroActioncomboBox") && shown("gyroModeLa") && !shown("CCSPin"));

    // A disabled sensor hides every row but the note name field.
    view->setConfiguration(makeNode(1, NodeDisabled), 1);
    QVERIFY(shown("noteNameEdit") && shown("noteNumberlabel"));
    for (const char *name : {"noteLabel", "noteDownButton", "CCSPin", "actionBox", "gyroComboBOx",
                             "gyroActioncomboBox", "gyroTHSpin", "halfwayBox"})
        QVERIFY2(!shown(name), name);
}

void TestNodeView::typeChangeSendsNode()
{
    // Opening an "Octave Up" sensor keeps its action, though the bend kind combo has no such item.
    view->setConfiguration(makeNode(3, NodeAction, ActionOctaveUp, 7, 64), 3);
    QCOMPARE(view->currentNode().action, int(ActionOctaveUp));
    QCOMPARE(child<QComboBox>("actionBox")->currentIndex(), int(ActionOctaveUp));

    child<QComboBox>("typeBox")->setCurrentIndex(NodeControlChange);
    QVERIFY(config->count() >= 1);
    for (int i = 0; i < config->count(); ++i) {
        const KorvaneSensorNode n = sentNode(*config, i);
        QCOMPARE(n.type, int(NodeControlChange));
        QCOMPARE(n.action, 0);
        QCOMPARE(n.cc, 7);
        QCOMPARE(n.note, 64);
        QCOMPARE(config->at(i).at(1).toInt(), 3);
    }
    QVERIFY(shown("CCSPin") && !shown("actionBox"));
    QCOMPARE(bendClear->count(), 0);

    // From a node whose action is already 0 the change is sent exactly once.
    view->setConfiguration(makeNode(3, NodeNote, 0, 7, 64), 3);
    config->clear();
    child<QComboBox>("typeBox")->setCurrentIndex(NodeAction);
    QCOMPARE(config->count(), 1);
    QCOMPARE(sentNode(*config).type, int(NodeAction));
}

void TestNodeView::gyroBendClearsGlobalBendOnce()
{
    // The bend kind combo follows the action (1 here), so the change to action 0 is also sent.
    view->setConfiguration(makeNode(2, NodeAction, 1), 2);
    QCOMPARE(bendClear->count(), 0);
    child<QComboBox>("typeBox")->setCurrentIndex(NodeGyroBend);
    QCOMPARE(bendClear->count(), 1);
    QVERIFY(config->count() >= 1);
    for (int i = 0; i < config->count(); ++i) {
        QCOMPARE(sentNode(*config, i).type, int(NodeGyroBend));
        QCOMPARE(sentNode(*config, i).action, 0);
    }
    QVERIFY(shown("gyroComboBOx") && shown("gyroTHSpin") && !shown("actionBox"));

    // Showing a stored Gyro Bend sensor asks for the same, without sending the node.
    config->clear();
    view->setConfiguration(makeNode(4, NodeGyroBend, 1), 4);
    QCOMPARE(bendClear->count(), 2);
    QCOMPARE(config->count(), 0);
    QCOMPARE(child<QComboBox>("gyroComboBOx")->currentIndex(), 1);
}

void TestNodeView::bendActionShowsBendRows()
{
    view->setConfiguration(makeNode(0, NodeAction, 0), 0);
    QVERIFY(!shown("halfwayBox") && !shown("bendDelayspinBox"));
    child<QComboBox>("actionBox")->setCurrentIndex(ActionBendUp);
    QCOMPARE(sentNode(*config).action, int(ActionBendUp));
    QCOMPARE(bendClear->count(), 1);
    for (const char *name : {"halfwayBox", "bendDelayspinBox", "bendSpeedspinBox",
                             "releaseDelayspinBox", "releaseSpeedspinBox"})
        QVERIFY2(shown(name), name);
    child<QComboBox>("actionBox")->setCurrentIndex(ActionOctaveUp);
    QCOMPARE(bendClear->count(), 1);
    QVERIFY(!shown("halfwayBox") && !shown("releaseSpeedspinBox"));

    // A stored Bend Down sensor opens with the bend rows.
    view->setConfiguration(makeNode(0, NodeAction, ActionBendDown), 0);
    QVERIFY(shown("bendSpeedspinBox"));
}

void TestNodeView::noteButtonsStopAtLimits()
{
    view->setConfiguration(makeNode(9, NodeNote, 0, 0, 126), 9);
    auto *up = child<QToolButton>("noteUpButton");
    auto *down = child<QToolButton>("noteDownButton");
    up->click();
    up->click();
    QCOMPARE(config->count(), 2);
    QCOMPARE(sentNode(*config, 0).note, 127);
    QCOMPARE(sentNode(*config, 1).note, 127);
    QCOMPARE(child<QLabel>("noteNumberlabel")->text(), QStringLiteral("127"));

    view->setConfiguration(makeNode(9, NodeNote, 0, 0, 1), 9);
    config->clear();
    down->click();
    down->click();
    QCOMPARE(config->count(), 2);
    QCOMPARE(sentNode(*config, 1).note, 0);
    QCOMPARE(child<QLineEdit>("noteNameEdit")->text(), QStringLiteral("C-1"));
    QCOMPARE(config->last().at(1).toInt(), 9);
}

void TestNodeView::typedNoteNames()
{
    view->setConfiguration(makeNode(4, NodeNote, 0, 0, 60), 4);
    auto *edit = child<QLineEdit>("noteNameEdit");
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("X4"));
    QCOMPARE(config->count(), 0);

    // "B9" reads as 131, beyond the MIDI range: not a note.
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("B9"));
    QCOMPARE(config->count(), 0);

    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("F#3"));
    QVERIFY(config->count() >= 1);
    QCOMPARE(sentNode(*config).note, 54);
    QCOMPARE(child<QLabel>("noteNumberlabel")->text(), QStringLiteral("54"));
}

void TestNodeView::ccSpinKeepsSending()
{
    view->setConfiguration(makeNode(6, NodeControlChange, 0, 10), 6);
    auto *spin = child<QSpinBox>("CCSPin");
    spin->setValue(11);
    spin->setValue(12);
    QCOMPARE(config->count(), 2);
    QCOMPARE(sentNode(*config).cc, 12);
    QVERIFY(!spin->signalsBlocked());
}

// A controller number outside the box's range (a note's or gyro action's cc 0) is never kept
// behind the number the box shows.
void TestNodeView::ccShownIsCcSent()
{
    auto *spin = child<QSpinBox>("CCSPin");
    for (int type : {int(NodeNote), int(NodeGyroAction)}) {
        view->setConfiguration(makeNode(6, type, 0, 0), 6);
        config->clear();
        child<QComboBox>("typeBox")->setCurrentIndex(NodeControlChange);
        QCOMPARE(spin->value(), 1);
        QCOMPARE(sentNode(*config).cc, 1);
        QCOMPARE(view->currentNode().cc, 1);
    }
    // A stored controller sensor at cc 0 shows 1 and sends 1; one in range sends nothing.
    config->clear();
    view->setConfiguration(makeNode(2, NodeGyroControlChange, 0, 0), 2);
    QCOMPARE(config->count(), 1);
    QCOMPARE(sentNode(*config).cc, spin->value());
    view->setConfiguration(makeNode(2, NodeControlChange, 0, 5), 2);
    QCOMPARE(config->count(), 1);
}

void TestNodeView::gyroActionAndHalfwayShowTheSensors()
{
    auto *kind = child<QComboBox>("gyroActioncomboBox");
    for (int cc : {0, 3, 1, 2}) {
        view->setConfiguration(makeNode(8, NodeGyroAction, 0, cc), 8);
        QCOMPARE(kind->currentIndex(), cc);
    }
    QCOMPARE(config->count(), 0);
    // A controller sensor at cc 64 turned into a gyro action shows and sends the first kind.
    view->setConfiguration(makeNode(8, NodeControlChange, 0, 64), 8);
    child<QComboBox>("typeBox")->setCurrentIndex(NodeGyroAction);
    QCOMPARE(kind->currentIndex(), 0);
    QCOMPARE(sentNode(*config).cc, 0);

    KorvaneBendSettings b;
    for (uint8_t halfway : {0, 1, 0}) {
        b.halfway = halfway;
        view->setBendSettings(b);
        QCOMPARE(child<QCheckBox>("halfwayBox")->isChecked(), halfway != 0);
    }
}

void TestNodeView::bendAndGyroSendWholeRecords()
{
    QSignalSpy bend(view, SIGNAL(SendBendSettings(KorvaneBendSettings)));
    QSignalSpy gyro(view, SIGNAL(SendGyroSettings(KorvaneGyroSettings)));
    KorvaneBendSettings b;
    b.byte0 = 9;
    b.halfway = 1;
    b.bendSpeed = 30;
    b.bendDelay = 4;
    b.releaseDelay = 50;
    b.releaseSpeed = 6;
    view->setBendSettings(b);
    KorvaneGyroSettings g;
    g.gyroRate = 7;
    g.gyroThreshold = 40;
    g.gyroMode = 2;
    view->setGyroSettings(g);
    QCOMPARE(bend.count(), 0);
    QCOMPARE(gyro.count(), 0);

    child<QSpinBox>("releaseDelayspinBox")->setValue(77);
    QCOMPARE(bend.count(), 1);
    KorvaneBendSettings expected = b;
    expected.releaseDelay = 77;
    QVERIFY(bend.last().at(0).value<KorvaneBendSettings>() == expected);

    child<QCheckBox>("halfwayBox")->click();
    expected.halfway = 0;
    QVERIFY(bend.last().at(0).value<KorvaneBendSettings>() == expected);

    child<QComboBox>("gyroModeBox")->setCurrentIndex(5);
    QCOMPARE(gyro.count(), 1);
    const auto sent = gyro.last().at(0).value<KorvaneGyroSettings>();
    QCOMPARE(int(sent.gyroMode), 5);
    QCOMPARE(int(sent.gyroRate), 7);
    QCOMPARE(int(sent.gyroThreshold), 40);
    // Bend and gyro edits are sent even before any sensor was shown.
    QCOMPARE(config->count(), 0);
}

QTEST_MAIN(TestNodeView)
#include "tst_nodeview.moc"
