#include "hand/korvanehandwidget.h"
#include "resources/resources.h"

#include <QImage>
#include <QMouseEvent>
#include <QSignalSpy>
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

KorvaneSensorsState stateWith(int key)
{
    KorvaneSensorsState s = KorvaneSensorsState::fresh();
    s.key = key;
    return s;
}

} // namespace

class TestHandWidget : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { varnoInitResources(); }
    void labels();
    void triggers();
    void pressMoveRelease();
    void layouts();
    void wideWidgetKeepsRelativePositions();
    void paintedNodes();
    void shortStateIsReadSafely();
};

void TestHandWidget::labels()
{
    // Spelling follows the key and whether the scale is major.
    QCOMPARE(KorvaneHandWidget::noteLabel(66, 7, true), QString::fromUtf8("G♭4"));
    QCOMPARE(KorvaneHandWidget::noteLabel(66, -5, true), QString::fromUtf8("F♯4"));
    QCOMPARE(KorvaneHandWidget::noteLabel(61, 0, true), QString::fromUtf8("C♯4"));
    QCOMPARE(KorvaneHandWidget::noteLabel(61, 0, false), QString::fromUtf8("D♭4"));
    QCOMPARE(KorvaneHandWidget::noteLabel(61, 9, false), QString::fromUtf8("C♯4"));
    QCOMPARE(KorvaneHandWidget::noteLabel(61, -9, false), QString::fromUtf8("D♭4"));
    QCOMPARE(KorvaneHandWidget::noteLabel(72, 0, true), QString::fromUtf8("C5"));
    // A negative note has no name, only the truncated octave.
    QCOMPARE(KorvaneHandWidget::noteLabel(-3, 0, true), QString::fromUtf8("-1"));

    KorvaneHandWidget w;
    KorvaneSensorsState s = stateWith(7);
    s.nodes[0] = KorvaneSensorNode(0, 0);
    s.nodes[0].note = 66;
    s.nodes[1].type = 1;
    s.nodes[1].cc = 74;
    s.nodes[2].type = 2;
    s.nodes[2].action = 13;
    s.nodes[3].type = 2;
    s.nodes[3].action = 14;
    s.nodes[4].type = 3;
    s.nodes[4].cc = 5;
    s.nodes[5].type = 4;
    s.nodes[6].type = 5;
    s.nodes[6].cc = 3;
    s.nodes[7].type = 5;
    s.nodes[7].cc = 9;
    s.nodes[8].type = 6;
    s.nodes[9].type = 7;
    s.nodes[10].type = 8;
    w.UpdateFromState(s);
    const QStringList expected = {"G♭4",     "CC74", "REC", "",     "GC5", "GBND",
                                  "G-SRTCH", "G-",   "-",   "ACCL", ""};
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(w.nodeLabel(i), expected[i]);

    // A minor scale respells the same key.
    w.setMajorScale(false);
    QCOMPARE(w.nodeLabel(0), QString::fromUtf8("G♭4"));
    KorvaneSensorsState d = stateWith(2);
    d.nodes[0] = KorvaneSensorNode(0, 0);
    d.nodes[0].note = 66;
    w.UpdateFromState(d);
    QCOMPARE(w.nodeLabel(0), QString::fromUtf8("G♭4"));
    w.setMajorScale(true);
    QCOMPARE(w.nodeLabel(0), QString::fromUtf8("F♯4"));

    // The temporal offset moves the shown note.
    w.setTemporalOffset(12);
    d.nodes[0].note = 60;
    w.UpdateFromState(d);
    QCOMPARE(w.nodeLabel(0), QString::fromUtf8("C5"));
}

void TestHandWidget::triggers()
{
    KorvaneHandWidget w;
    KorvaneSensorsState s = KorvaneSensorsState::fresh();
    for (auto &n : s.nodes)
        n.note = 40;
    s.nodes[3].note = 60;
    s.nodes[9].note = 60;
    s.nodes[5].note = 60;
    s.nodes[5].type = 1; // a controller with the same note field is not a note
    w.UpdateFromState(s);

    w.Trigger(60, true, 90);
    QVERIFY(w.node(3).triggered && w.node(9).triggered);
    QCOMPARE(w.node(9).velocity, 90);
    QVERIFY(!w.node(5).triggered);
    QVERIFY(!w.node(4).triggered);
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
}

void TestHandWidget::pressMoveRelease()
{
    KorvaneHandWidget w;
    w.resize(600, 900);
    paint(w);
    QSignalSpy opened(&w, &KorvaneHandWidget::OpenNode);
    const QPoint empty(5, 5);

    // A click on a node opens it.
    mouse(&w, QEvent::MouseButtonPress, centreOf(w, 9));
    QCOMPARE(w.pressedNode(), 9);
    mouse(&w, QEvent::MouseButtonRelease, centreOf(w, 9));
    QCOMPARE(opened.count(), 1);
    QCOMPARE(opened.takeFirst().at(0).toInt(), 9);
    QCOMPARE(w.pressedNode(), -1);

    // Pressing on a node and dragging off it cancels.
    mouse(&w, QEvent::MouseButtonPress, centreOf(w, 9));
    mouse(&w, QEvent::MouseMove, empty);
    QCOMPARE(w.pressedNode(), -1);
    mouse(&w, QEvent::MouseButtonRelease, empty);
    QCOMPARE(opened.count(), 0);

    // Pressing on empty space and dragging onto a node opens that node.
    mouse(&w, QEvent::MouseButtonPress, empty);
    QCOMPARE(w.pressedNode(), -1);
    mouse(&w, QEvent::MouseMove, centreOf(w, 16));
    mouse(&w, QEvent::MouseButtonRelease, centreOf(w, 16));
    QCOMPARE(opened.count(), 1);
    QCOMPARE(opened.takeFirst().at(0).toInt(), 16);

    // A double click counts as a press.
    mouse(&w, QEvent::MouseButtonDblClick, centreOf(w, 0));
    QCOMPARE(w.pressedNode(), 0);
    mouse(&w, QEvent::MouseButtonRelease, centreOf(w, 0));
    QCOMPARE(opened.count(), 1);
}

void TestHandWidget::layouts()
{
    KorvaneHandWidget w;
    w.resize(600, 900);
    const QPoint at17 = centreOf(w, 17); // clear of every node of layout 2
    w.setDeviceType(2);
    QCOMPARE(w.deviceType(), 2);
    QCOMPARE(w.nodeCount(), 16);
    QCOMPARE(QPoint(w.node(0).x, w.node(0).y), QPoint(650, 1100));
    const QImage image = paint(w);
    // Nodes 16 and 17 are neither drawn (no picture in this layout: white) nor clickable.
    QCOMPARE(image.pixelColor(at17 + QPoint(0, 20)), QColor(Qt::white));
    QSignalSpy opened(&w, &KorvaneHandWidget::OpenNode);
    mouse(&w, QEvent::MouseButtonPress, at17);
    mouse(&w, QEvent::MouseButtonRelease, at17);
    QCOMPARE(opened.count(), 0);
    w.Trigger(w.node(17).note, true, 100);
    QVERIFY(!w.node(17).triggered);

    w.setDeviceType(0);
    QCOMPARE(w.nodeCount(), 18);
    QCOMPARE(QPoint(w.node(0).x, w.node(0).y), QPoint(155, 261));
    QCOMPARE(QPoint(w.node(16).x, w.node(16).y), QPoint(618, 1037));

    w.setDeviceType(3);
    QCOMPARE(w.nodeCount(), 12);
    QCOMPARE(QPoint(w.node(11).x, w.node(11).y), QPoint(645, 750));
    // An unknown layout number keeps the nodes as they were.
    w.setDeviceType(9);
    QCOMPARE(w.deviceType(), 9);
    QCOMPARE(w.nodeCount(), 12);
    QCOMPARE(QPoint(w.node(11).x, w.node(11).y), QPoint(645, 750));
    w.setDeviceType(4);
    QCOMPARE(QPoint(w.node(0).x, w.node(0).y), QPoint(295, 300));
}

void TestHandWidget::wideWidgetKeepsRelativePositions()
{
    KorvaneHandWidget w;
    w.resize(1200, 600);
    const QImage image = paint(w);
    const float sx = 1200 * 0.0013333333f;
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
    const int r = int(55 * sx);
    for (QPoint p : {centreOf(w, 16) + QPoint(r - 1, 0), centreOf(w, 16) + QPoint(0, r - 1)}) {
        mouse(&w, QEvent::MouseButtonPress, p);
        mouse(&w, QEvent::MouseButtonRelease, p);
    }
    QCOMPARE(opened.count(), 2);
    QCOMPARE(opened.at(0).at(0).toInt(), 16);
    QCOMPARE(opened.at(1).at(0).toInt(), 16);
    const QPoint outside = centreOf(w, 16) + QPoint(r + 2, 0);
    mouse(&w, QEvent::MouseButtonPress, outside);
    QCOMPARE(w.pressedNode(), -1);
}

void TestHandWidget::paintedNodes()
{
    KorvaneHandWidget w;
    w.resize(578, 800);
    KorvaneSensorsState s = KorvaneSensorsState::fresh();
    s.nodes[5].type = 0;
    s.nodes[5].note = 64;
    w.UpdateFromState(s);
    // Sample inside the circle but clear of the label in its middle.
    const QPoint probe = centreOf(w, 5) + QPoint(0, 20);

    QCOMPARE(paint(w).pixelColor(probe), QColor(Qt::black));
    w.Trigger(64, true, 255);
    QCOMPARE(paint(w).pixelColor(probe), QColor(0, 255, 0));
    // The velocity is the green's opacity: half velocity over the white field is pale green.
    w.setDeviceType(2);
    s.nodes[3].type = 0;
    s.nodes[3].note = 50;
    w.UpdateFromState(s);
    w.Trigger(50, true, 128);
    const QColor pale = paint(w).pixelColor(centreOf(w, 3) + QPoint(0, 20));
    QCOMPARE(pale.green(), 255);
    QVERIFY(pale.red() > 100 && pale.red() < 150);
    w.Trigger(50, false, 0);
    QCOMPARE(paint(w).pixelColor(centreOf(w, 3) + QPoint(0, 20)), QColor(Qt::black));

    // The pressed node is dark grey until release.
    mouse(&w, QEvent::MouseButtonPress, centreOf(w, 3));
    QCOMPARE(paint(w).pixelColor(centreOf(w, 3) + QPoint(0, 20)), QColor(Qt::darkGray));

    // The device picture fills layout 0 and the outline drawing layout 1.
    w.setDeviceType(0);
    const QImage device = paint(w);
    QVERIFY(device.pixelColor(2, 2) != QColor(Qt::white));
    w.setDeviceType(1);
    const QImage outline = paint(w);
    QVERIFY(outline.pixelColor(2, 2) == QColor(Qt::white));
    int inked = 0;
    for (int y = 0; y < outline.height(); y += 4)
        for (int x = 0; x < outline.width(); x += 4)
            inked += outline.pixelColor(x, y).lightness() < 100 ? 1 : 0;
    QVERIFY(inked > 100); // the outline and the node circles
}

void TestHandWidget::shortStateIsReadSafely()
{
    KorvaneHandWidget w;
    KorvaneSensorsState full = KorvaneSensorsState::fresh();
    for (auto &n : full.nodes) {
        n.type = 1;
        n.cc = 7;
    }
    w.UpdateFromState(full);
    KorvaneSensorsState few;
    few.nodes.resize(4, KorvaneSensorNode(0, 6));
    few.key = 3;
    w.UpdateFromState(few);
    QCOMPARE(w.node(3).type, 6);
    QCOMPARE(w.node(4).type, 1); // past the records sent: kept as it was
    QCOMPARE(w.node(17).controller, 7);
    w.UpdateFromState(KorvaneSensorsState());
    QCOMPARE(w.node(0).type, 6);
}

QTEST_MAIN(TestHandWidget)
#include "tst_handwidget.moc"
