#include "dialogs/korvanenodeview.h"
#include "tests/support/editortestkit.h"

class TestNodeView : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { registerKorvaneMetaTypes(); }
    void init()
    {
        view = std::make_unique<KorvaneNodeView>();
        config.emplace(view.get(), SIGNAL(SendConfiguration(KorvaneSensorNode, int)));
        bendClear.emplace(view.get(), SIGNAL(removeGlobalBend()));
    }
    void typeChangeSendsNode()
    {
        // A disabled sensor hides every row but the note name field.
        show(1, NodeDisabled);
        QCOMPARE(shown("noteLabel noteNameEdit noteUpButton CCSPin actionBox gyroComboBOx "
                       "gyroActioncomboBox gyroTHSpin halfwayBox"),
                 QString("noteNameEdit"));
        // Opening an "Octave Up" sensor keeps its action, though the bend kind combo has no such
        // item.
        show(3, NodeAction, ActionOctaveUp, 7, 64);
        QCOMPARE(view->currentNode().action, int(ActionOctaveUp));
        // The new type goes out with action 0 and the rest kept. Gyro Bend asks once to clear the
        // global bend; the bend kind combo follows the action, so the change to 0 may be sent
        // twice. From a node whose action is already 0 the change is sent exactly once.
        const struct
        {
            int from, action, type, sends;
            QString rows, shownRows;
        } changes[] = {
            {NodeAction, ActionOctaveUp, NodeControlChange, 0, "CCSPin actionBox", "CCSPin"},
            {NodeAction, 1, NodeGyroBend, 0, "gyroComboBOx gyroTHSpin actionBox",
             "gyroComboBOx gyroTHSpin"},
            {NodeNote, 0, NodeAction, 1, "noteLabel actionBox", "actionBox"}};
        for (const auto &c : changes) {
            show(3, c.from, c.action, 7, 64);
            config->clear();
            bendClear->clear();
            child<QComboBox>("typeBox")->setCurrentIndex(c.type);
            QVERIFY(config->count() >= 1);
            if (c.sends)
                QCOMPARE(config->count(), c.sends);
            for (int i = 0; i < config->count(); ++i) {
                QCOMPARE(QList<int>({sent(i).type, sent(i).action, sent(i).cc, sent(i).note,
                                     config->at(i).at(1).toInt()}),
                         QList<int>({c.type, 0, 7, 64, 3}));
            }
            QCOMPARE(shown(c.rows), c.shownRows);
            QCOMPARE(bendClear->count(), c.type == NodeGyroBend ? 1 : 0);
        }

        // Showing a stored Gyro Bend sensor asks for the same, without sending the node.
        config->clear();
        show(4, NodeGyroBend, 1);
        QCOMPARE(bendClear->count(), 1);
        QCOMPARE(config->count(), 0);
        QCOMPARE(child<QComboBox>("gyroComboBOx")->currentIndex(), 1);
    }
    void bendActionShowsBendRows()
    {
        const QString bendRows = "halfwayBox bendDelayspinBox releaseSpeedspinBox";
        show(0, NodeAction, 0);
        QCOMPARE(shown(bendRows), QString());
        child<QComboBox>("actionBox")->setCurrentIndex(ActionBendUp);
        QCOMPARE(sent().action, int(ActionBendUp));
        QCOMPARE(bendClear->count(), 1);
        QCOMPARE(shown(bendRows), bendRows);
        child<QComboBox>("actionBox")->setCurrentIndex(ActionOctaveUp);
        QCOMPARE(bendClear->count(), 1);
        QCOMPARE(shown(bendRows), QString());
        // A stored Bend Down sensor opens with the bend rows.
        show(0, NodeAction, ActionBendDown);
        QCOMPARE(shown(bendRows), bendRows);
    }
    // The arrows stop at 0 and 127 (each press still sends); a typed name that is no MIDI note
    // ("B9" reads as 131) sends nothing.
    void noteButtonsAndTypedNames()
    {
        const struct
        {
            int start;
            const char *button;
            int first, second;
            const char *name;
        } steps[] = {{126, "noteUpButton", 127, 127, "G9"}, {1, "noteDownButton", 0, 0, "C-1"}};
        for (const auto &s : steps) {
            show(9, NodeNote, 0, 0, s.start);
            config->clear();
            child<QToolButton>(s.button)->click();
            child<QToolButton>(s.button)->click();
            QCOMPARE(config->count(), 2);
            QCOMPARE(QList<int>({sent(0).note, sent(1).note}), QList<int>({s.first, s.second}));
            QCOMPARE(config->last().at(1).toInt(), 9);
            QCOMPARE(child<QLineEdit>("noteNameEdit")->text(), QString(s.name));
        }
        show(4, NodeNote, 0, 0, 60);
        config->clear();
        auto *edit = child<QLineEdit>("noteNameEdit");
        for (const char *typed : {"X4", "B9", "F#3"}) {
            QCOMPARE(config->count(), 0);
            edit->selectAll();
            QTest::keyClicks(edit, typed);
        }
        QVERIFY(config->count() >= 1);
        QCOMPARE(sent().note, 54);
    }
    // A controller number outside the box's range (a note's or gyro action's cc 0) is never kept
    // behind the number the box shows; every change of the box is sent.
    void ccShownIsCcSent()
    {
        auto *spin = child<QSpinBox>("CCSPin");
        show(6, NodeNote, 0, 0);
        config->clear();
        child<QComboBox>("typeBox")->setCurrentIndex(NodeControlChange);
        QCOMPARE(QList<int>({spin->value(), sent().cc, view->currentNode().cc}),
                 QList<int>({1, 1, 1}));
        // A stored controller sensor at cc 0 shows 1 and sends 1; one in range sends nothing.
        config->clear();
        show(2, NodeGyroControlChange, 0, 0);
        QCOMPARE(shown("CCSPin gyroTHSpin gyroModeBox actionBox"), "CCSPin gyroTHSpin gyroModeBox");
        QCOMPARE(config->count(), 1);
        QCOMPARE(sent().cc, spin->value());
        show(2, NodeControlChange, 0, 5);
        QCOMPARE(config->count(), 1);
        spin->setValue(11);
        spin->setValue(12);
        QCOMPARE(config->count(), 3);
        QCOMPARE(sent().cc, 12);

        // A gyro action's kind is its cc, shown without being sent.
        config->clear();
        auto *kind = child<QComboBox>("gyroActioncomboBox");
        show(8, NodeGyroAction, 0, 3);
        QCOMPARE(kind->currentIndex(), 3);
        QCOMPARE(shown("gyroActioncomboBox gyroRateSpin CCSPin"),
                 "gyroActioncomboBox gyroRateSpin");
        QCOMPARE(config->count(), 0);
        // A controller sensor at cc 64 turned into a gyro action shows and sends the first kind.
        show(8, NodeControlChange, 0, 64);
        child<QComboBox>("typeBox")->setCurrentIndex(NodeGyroAction);
        QCOMPARE(kind->currentIndex(), 0);
        QCOMPARE(sent().cc, 0);
    }
    void showingSendsNothingEditsSendWholeRecords()
    {
        QSignalSpy bend(view.get(), SIGNAL(SendBendSettings(KorvaneBendSettings)));
        QSignalSpy gyro(view.get(), SIGNAL(SendGyroSettings(KorvaneGyroSettings)));
        // byte0, halfway, bend speed and delay, release delay and speed; rate, threshold, mode.
        KorvaneBendSettings b{9, 1, 30, 4, 50, 6};
        view->setBendSettings(b);
        view->setGyroSettings(KorvaneGyroSettings{7, 40, 2});
        QCOMPARE(bend.count() + gyro.count(), 0);

        // Bend and gyro edits are sent even before any sensor was shown.
        child<QSpinBox>("releaseDelayspinBox")->setValue(77);
        QCOMPARE(bend.count(), 1);
        b.releaseDelay = 77;
        QVERIFY(bend.last().at(0).value<KorvaneBendSettings>() == b);
        child<QCheckBox>("halfwayBox")->click();
        b.halfway = 0;
        QVERIFY(bend.last().at(0).value<KorvaneBendSettings>() == b);

        child<QComboBox>("gyroModeBox")->setCurrentIndex(5);
        QCOMPARE(gyro.count(), 1);
        const auto sentGyro = gyro.last().at(0).value<KorvaneGyroSettings>();
        QCOMPARE(QList<int>({sentGyro.gyroMode, sentGyro.gyroRate, sentGyro.gyroThreshold}),
                 QList<int>({5, 7, 40}));

        // Showing settings and sensors sends nothing; every combo moves: type, action, the bend
        // kind and the CC box.
        for (uint8_t halfway : {1, 0}) {
            b.halfway = halfway;
            view->setBendSettings(b);
            QCOMPARE(child<QCheckBox>("halfwayBox")->isChecked(), halfway != 0);
        }
        show(5, NodeAction, 1, 20, 70);
        show(7, NodeGyroControlChange, 0, 64, 40);
        QCOMPARE(QList<int>({config->count(), bend.count(), gyro.count()}), QList<int>({0, 2, 1}));
        QCOMPARE(QStringList({child<QLabel>("Sensorlabel")->text(),
                              child<QLineEdit>("noteNameEdit")->text(),
                              child<QLabel>("noteNumberlabel")->text()}),
                 QStringList({"Sensor 7", "E2", "40"}));
        QCOMPARE(QList<int>({child<QComboBox>("typeBox")->currentIndex(),
                             child<QSpinBox>("CCSPin")->value()}),
                 QList<int>({NodeGyroControlChange, 64}));
    }

private:
    template <typename T> T *child(const char *name) { return view->findChild<T *>(name); }
    // Which of the space-separated rows are shown.
    QString shown(const QString &names)
    {
        QStringList out;
        for (const QString &n : names.split(' '))
            if (!view->findChild<QWidget *>(n)->isHidden())
                out << n;
        return out.join(' ');
    }
    void show(int index, int type, int action = 0, int cc = 0, int note = 60)
    {
        KorvaneSensorNode n(index, type);
        n.action = action;
        n.cc = cc;
        n.note = note;
        view->setConfiguration(n, index);
    }
    KorvaneSensorNode sent(int i = -1) const
    {
        return (i < 0 ? config->last() : config->at(i)).at(0).value<KorvaneSensorNode>();
    }

    std::unique_ptr<KorvaneNodeView> view;
    std::optional<QSignalSpy> config, bendClear; // declared after the view: gone before it
};

QTEST_MAIN(TestNodeView)
#include "tst_nodeview.moc"
