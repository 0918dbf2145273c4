// The hand picture and the small dialogs, each on its own.
#include "dialogs/aboutdialog.h"
#include "dialogs/fixedspinbox.h"
#include "dialogs/namedialog.h"
#include "dialogs/numberedit.h"
#include "hand/korvanehandwidget.h"
#include "resources/resources.h"

#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionSpinBox>
#include <QtTest>

namespace {

// Sends a mouse event the way the window system would deliver it to the widget.
void mouse(QWidget *w, QEvent::Type type, QPoint pos)
{
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent ev(type, QPointF(pos), QPointF(w->mapToGlobal(pos)),
                   type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &ev);
}
void click(QWidget *w, QPoint pos)
{
    mouse(w, QEvent::MouseButtonPress, pos);
    mouse(w, QEvent::MouseButtonRelease, pos);
}

// Paints the widget at its own size, which also fixes the scale that pointer input uses.
QImage paint(KorvaneHandWidget &w)
{
    QImage image(w.size(), QImage::Format_ARGB32);
    w.paintTo(&image);
    return image;
}

// Pixel position of node i's centre for a widget of the given size.
QPoint centreOf(const KorvaneHandWidget &w, int i)
{
    const float sx = w.width() * 0.0013333333f;
    const float sy = w.height() * 0.0007496252f;
    return QPoint(qRound(w.node(i).x * sx), qRound(w.node(i).y * sy));
}

// The colour inside node i's circle, clear of the label in its middle.
QColor fillOf(KorvaneHandWidget &w, int i)
{
    return paint(w).pixelColor(centreOf(w, i) + QPoint(0, 20));
}

QPushButton *button(QWidget *dialog, QDialogButtonBox::StandardButton which)
{
    return dialog->findChild<QDialogButtonBox *>("buttonBox")->button(which);
}

} // namespace

class TestWidgets : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { varnoInitResources(); }
    void labels()
    {
        // Spelling follows the key and whether the scale is major ("note key major label"); a
        // negative note has no name, only the truncated octave.
        for (const char *row : {"66 7 1 G♭4", "66 -5 1 F♯4", "61 0 1 C♯4", "61 0 0 D♭4",
                                "61 9 0 C♯4", "61 -9 0 D♭4", "72 0 1 C5", "-3 0 1 -1"}) {
            const QStringList f = QString(row).split(' ');
            QCOMPARE(KorvaneHandWidget::noteLabel(f[0].toInt(), f[1].toInt(), f[2] == "1"), f[3]);
        }
        // Each kind of sensor: {type, the note, controller or action it carries (0: as it was)}.
        const int kinds[][2] = {{0, 66}, {1, 74}, {2, 13}, {2, 14}, {3, 5}, {4, 0},
                                {5, 3},  {5, 9},  {6, 0},  {7, 0},  {8, 0}};
        const QStringList expected = {"G♭4",     "CC74", "REC", "",     "GC5", "GBND",
                                      "G-SRTCH", "G-",   "-",   "ACCL", ""};
        KorvaneHandWidget w;
        KorvaneSensorsState s = KorvaneSensorsState::fresh();
        s.key = 7;
        for (int i = 0; i < 11; ++i) {
            KorvaneSensorNode &n = s.nodes[size_t(i)];
            n.type = kinds[i][0];
            if (kinds[i][1])
                (n.type == 0 ? n.note : n.type == 2 ? n.action : n.cc) = kinds[i][1];
        }
        w.UpdateFromState(s);
        for (int i = 0; i < expected.size(); ++i)
            QCOMPARE(w.nodeLabel(i), expected[i]);

        // The scale's kind reaches the spelling (in D major this note is F♯); the temporal
        // offset moves the shown note.
        w.setMajorScale(false);
        s.key = 2;
        w.UpdateFromState(s);
        QCOMPARE(w.nodeLabel(0), QString::fromUtf8("G♭4"));
        w.setTemporalOffset(12);
        s.nodes[0].note = 60;
        w.UpdateFromState(s);
        QCOMPARE(w.nodeLabel(0), QString::fromUtf8("C5"));
    }
    void triggers()
    {
        KorvaneHandWidget w;
        KorvaneSensorsState s = KorvaneSensorsState::fresh();
        for (auto &n : s.nodes)
            n.note = 40;
        s.nodes[3].note = s.nodes[9].note = s.nodes[5].note = 60;
        s.nodes[5].type = 1; // a controller with the same note field is not a note
        w.UpdateFromState(s);

        w.Trigger(60, true, 90);
        QVERIFY(w.node(3).triggered && w.node(9).triggered);
        QCOMPARE(w.node(9).velocity, 90);
        QVERIFY(!w.node(5).triggered && !w.node(4).triggered);
        w.Trigger(60, false, 0);
        QVERIFY(!w.node(3).triggered && !w.node(9).triggered);

        // With an offset of an octave, the node of note 60 answers to 72.
        w.Trigger(60, true, 100);
        w.setTemporalOffset(12);
        QVERIFY(!w.node(3).triggered); // changing the offset clears every lit node
        w.Trigger(60, true, 100);
        QVERIFY(!w.node(3).triggered);
        w.Trigger(72, true, 100);
        QVERIFY(w.node(3).triggered && w.node(9).triggered);
        w.ResetTriggers();
        QVERIFY(!w.node(3).triggered && !w.node(9).triggered);

        // A shorter state updates the nodes it carries and keeps the rest as they were.
        for (auto &n : s.nodes) {
            n.type = 1;
            n.cc = 7;
        }
        w.UpdateFromState(s);
        KorvaneSensorsState few;
        few.nodes.resize(4, KorvaneSensorNode(0, 6));
        w.UpdateFromState(few);
        QCOMPARE(w.node(3).type, 6);
        QCOMPARE(w.node(4).type, 1);
        QCOMPARE(w.node(17).controller, 7);
        w.UpdateFromState(KorvaneSensorsState());
        QCOMPARE(w.node(0).type, 6);
    }
    void pressMoveRelease()
    {
        KorvaneHandWidget w;
        w.resize(600, 900);
        paint(w);
        QSignalSpy opened(&w, &KorvaneHandWidget::OpenNode);
        const QPoint empty(5, 5);

        // A click on a node opens it; pressing on a node and dragging off it cancels.
        mouse(&w, QEvent::MouseButtonPress, centreOf(w, 9));
        QCOMPARE(w.pressedNode(), 9);
        mouse(&w, QEvent::MouseButtonRelease, centreOf(w, 9));
        QCOMPARE(w.pressedNode(), -1);
        mouse(&w, QEvent::MouseButtonPress, centreOf(w, 9));
        mouse(&w, QEvent::MouseMove, empty);
        QCOMPARE(w.pressedNode(), -1);
        mouse(&w, QEvent::MouseButtonRelease, empty);
        QCOMPARE(opened.count(), 1);

        // Pressing on empty space and dragging onto a node opens that node.
        mouse(&w, QEvent::MouseButtonPress, empty);
        QCOMPARE(w.pressedNode(), -1);
        mouse(&w, QEvent::MouseMove, centreOf(w, 16));
        mouse(&w, QEvent::MouseButtonRelease, centreOf(w, 16));

        // A double click counts as a press.
        mouse(&w, QEvent::MouseButtonDblClick, centreOf(w, 0));
        QCOMPARE(w.pressedNode(), 0);
        mouse(&w, QEvent::MouseButtonRelease, centreOf(w, 0));
        QCOMPARE(opened.count(), 3);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(opened.at(i).at(0).toInt(), QList<int>({9, 16, 0}).at(i));
    }
    void layouts()
    {
        KorvaneHandWidget w;
        w.resize(600, 900);
        const QPoint at17 = centreOf(w, 17); // clear of every node of layout 2
        w.setDeviceType(2);
        // Nodes 16 and 17 are neither drawn (no picture in this layout: white) nor clickable.
        QCOMPARE(paint(w).pixelColor(at17 + QPoint(0, 20)), QColor(Qt::white));
        QSignalSpy opened(&w, &KorvaneHandWidget::OpenNode);
        click(&w, at17);
        QCOMPARE(opened.count(), 0);
        w.Trigger(w.node(17).note, true, 100);
        QVERIFY(!w.node(17).triggered);

        // Each layout has sensors of its own; a number of no known layout keeps the last one.
        const int counts[][2] = {{0, 18}, {4, 12}, {9, 12}, {-1, 12}};
        for (const auto &[type, count] : counts) {
            w.setDeviceType(type);
            QCOMPARE(w.nodeCount(), count);
        }
        QCOMPARE(QPoint(w.node(0).x, w.node(0).y), QPoint(295, 300)); // layout 4's
    }
    void wideWidgetKeepsRelativePositions()
    {
        KorvaneHandWidget w;
        w.resize(1200, 600);
        const QImage image = paint(w);
        for (int i = 0; i < w.nodeCount(); ++i) {
            const QPoint c = centreOf(w, i);
            // Relative position: the same fraction of the width and the height as on the canvas.
            QVERIFY(qAbs(c.x() / 1200.0 - w.node(i).x / 750.0) < 0.002);
            QVERIFY(qAbs(c.y() / 600.0 - w.node(i).y / 1334.0) < 0.002);
            // The circle is drawn there: black fill just below the label.
            QCOMPARE(image.pixelColor(c + QPoint(0, 9)), QColor(Qt::black));
        }
        // The hit radius follows the horizontal scale only: a point as far below node 16 as the
        // horizontal radius still opens it, though the squeezed ellipse ends long before.
        QSignalSpy opened(&w, &KorvaneHandWidget::OpenNode);
        const int r = int(55 * 1200 * 0.0013333333f);
        click(&w, centreOf(w, 16) + QPoint(r - 1, 0));
        click(&w, centreOf(w, 16) + QPoint(0, r - 1));
        QCOMPARE(opened.count(), 2);
        QCOMPARE(opened.at(0).at(0).toInt(), 16);
        QCOMPARE(opened.at(1).at(0).toInt(), 16);
        mouse(&w, QEvent::MouseButtonPress, centreOf(w, 16) + QPoint(r + 2, 0));
        QCOMPARE(w.pressedNode(), -1);
    }
    void paintedNodes()
    {
        KorvaneHandWidget w;
        w.resize(578, 800);
        KorvaneSensorsState s = KorvaneSensorsState::fresh();
        s.nodes[5].type = 0;
        s.nodes[5].note = 64;
        w.UpdateFromState(s);
        QCOMPARE(fillOf(w, 5), QColor(Qt::black));
        w.Trigger(64, true, 255);
        QCOMPARE(fillOf(w, 5), QColor(0, 255, 0));
        // The velocity is the green's opacity: half velocity over the white field is pale green.
        w.setDeviceType(2);
        s.nodes[3].type = 0;
        s.nodes[3].note = 50;
        w.UpdateFromState(s);
        w.Trigger(50, true, 128);
        const QColor pale = fillOf(w, 3);
        QCOMPARE(pale.green(), 255);
        QVERIFY(pale.red() > 100 && pale.red() < 150);
        w.Trigger(50, false, 0);
        QCOMPARE(fillOf(w, 3), QColor(Qt::black));
        // The pressed node is dark grey until release.
        mouse(&w, QEvent::MouseButtonPress, centreOf(w, 3));
        QCOMPARE(fillOf(w, 3), QColor(Qt::darkGray));

        // The device picture fills layout 0 and the outline drawing layout 1.
        w.setDeviceType(0);
        QVERIFY(paint(w).pixelColor(2, 2) != QColor(Qt::white));
        w.setDeviceType(1);
        const QImage outline = paint(w);
        QVERIFY(outline.pixelColor(2, 2) == QColor(Qt::white));
        int inked = 0;
        for (int y = 0; y < outline.height(); y += 4)
            for (int x = 0; x < outline.width(); x += 4)
                inked += outline.pixelColor(x, y).lightness() < 100 ? 1 : 0;
        QVERIFY(inked > 100); // the outline and the node circles
    }
    // The small dialogs.
    void nameDialog()
    {
        NameDialog d;
        QCOMPARE(d.windowTitle(), QString("Enter name"));
        QSignalSpy sent(&d, &NameDialog::Send);
        d.setMode(4);
        // OK sends the name; OK with an empty name closes and sends nothing; Cancel never sends.
        for (const char *row : {"Live OK", " OK", "Other Cancel"}) {
            d.setText(QString(row).section(' ', 0, 0));
            d.show();
            button(&d,
                   QString(row).endsWith("OK") ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)
                ->click();
            QVERIFY(!d.isVisible());
        }
        QCOMPARE(sent.count(), 1);
        QCOMPARE(sent.at(0).at(0).toInt(), 4);
        QCOMPARE(sent.at(0).at(1).toString(), QString("Live"));
    }
    void numberEdit()
    {
        NumberEdit d;
        QCOMPARE(d.windowTitle(), QString("Sample Frequency"));
        QSignalSpy sent(&d, &NumberEdit::SendNumber);
        auto *box = d.findChild<QDoubleSpinBox *>("numberBox");

        // Filling the dialog sends nothing; the first change does.
        d.setNumber(3, 440.5);
        QCOMPARE(box->value(), 440.5);
        QCOMPARE(sent.count(), 0);
        box->setValue(220.25);
        QCOMPARE(sent.count(), 1);
        QCOMPARE(sent.at(0).at(0).toInt(), 3);
        QCOMPARE(sent.at(0).at(1).toDouble(), 220.25);
        QCOMPARE(d.getNumber(), 220.25);

        // Values above the top are clamped; typing cannot go past it either.
        box->setValue(25000.0);
        QCOMPARE(sent.last().at(1).toDouble(), 20000.99);
        box->selectAll();
        QTest::keyClicks(box, "30000");
        box->interpretText();
        QVERIFY(box->value() <= 20000.99);
        // A frequency that cannot play (0 Hz) is never sent.
        box->setValue(0.0);
        QVERIFY(sent.last().at(1).toDouble() >= 8.0);
    }
    void aboutDialog()
    {
        AboutDialog d;
        QCOMPARE(d.windowTitle(), QString("About VARNO Control"));
        QCOMPARE(d.findChild<QLabel *>("versionLabel")->text(), QString(" 1.5.0"));
        QVERIFY(d.findChild<QLabel *>("licenceLabel")->text().contains("GPL-3.0-or-later"));
    }
    void fixedSpinBoxStepsOnce()
    {
        // A plain spin box repeats while the arrow is held; ours steps once.
        QSpinBox plain;
        FixedSpinBox fixed;
        for (QSpinBox *box : {&plain, static_cast<QSpinBox *>(&fixed)}) {
            box->setRange(1, 99);
            box->setValue(10);
            box->resize(120, 30);
            box->show();
            QVERIFY(QTest::qWaitForWindowExposed(box));
            QStyleOptionSpinBox opt;
            opt.initFrom(box);
            opt.subControls = QStyle::SC_SpinBoxUp;
            opt.stepEnabled = QAbstractSpinBox::StepUpEnabled | QAbstractSpinBox::StepDownEnabled;
            const QPoint up =
                box->style()
                    ->subControlRect(QStyle::CC_SpinBox, &opt, QStyle::SC_SpinBoxUp, box)
                    .center();
            QTest::mousePress(box, Qt::LeftButton, Qt::NoModifier, up);
            QTest::qWait(1500);
            QTest::mouseRelease(box, Qt::LeftButton, Qt::NoModifier, up);
        }
        QVERIFY(plain.value() > 11);
        QCOMPARE(fixed.value(), 11);
    }
};

QTEST_MAIN(TestWidgets)
#include "tst_widgets.moc"
