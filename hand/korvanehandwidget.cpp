#include "hand/korvanehandwidget.h"

#include <QDebug>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainterPath>
#include <QResizeEvent>
#include <QSvgRenderer>

#include <algorithm>
#include <cmath>

namespace {

struct Layout
{
    int count;
    std::array<QPoint, KorvaneHandWidget::kNodeSlots> positions;
};

// Node positions of each device layout, node 0 first.
const Layout kLayouts[5] = {
    {18,
     {{{155, 261},
       {341, 986},
       {223, 843},
       {136, 660},
       {309, 247},
       {433, 229},
       {566, 245},
       {676, 281},
       {329, 479},
       {449, 466},
       {577, 474},
       {686, 512},
       {329, 719},
       {457, 708},
       {575, 722},
       {674, 784},
       {618, 1037},
       {470, 1067}}}},
    {18,
     {{{135, 299},
       {119, 1119},
       {70, 665},
       {70, 465},
       {296, 86},
       {475, 110},
       {614, 243},
       {699, 480},
       {269, 260},
       {433, 289},
       {559, 400},
       {656, 583},
       {246, 443},
       {391, 460},
       {509, 545},
       {609, 694},
       {351, 1198},
       {553, 844}}}},
    {16,
     {{{650, 1100},
       {375, 1000},
       {550, 900},
       {475, 775},
       {650, 675},
       {475, 575},
       {550, 450},
       {650, 250},
       {375, 350},
       {100, 250},
       {200, 450},
       {275, 575},
       {100, 675},
       {275, 775},
       {200, 900},
       {100, 1100}}}},
    {12,
     {{{120, 400},
       {295, 400},
       {470, 400},
       {645, 400},
       {120, 575},
       {295, 575},
       {470, 575},
       {645, 575},
       {120, 750},
       {295, 750},
       {470, 750},
       {645, 750}}}},
    {12,
     {{{295, 300},
       {470, 300},
       {120, 475},
       {295, 475},
       {470, 475},
       {645, 475},
       {120, 650},
       {295, 650},
       {470, 650},
       {645, 650},
       {295, 825},
       {470, 825}}}},
};

const char *const kActionLabels[] = {"TR-U", "TR-D", "OC-UT", "OC-DT", "OC-U", "OC-D", "CB-U",
                                     "CB-D", "PSND", "NSND",  "RVRS",  "SPDU", "SPDD", "REC"};
const char *const kGyroActionLabels[] = {"TR", "OCT", "SND", "SRTCH"};

const char *const kSharpNames[12] = {"C",  "C♯", "D",  "D♯", "E",  "F",
                                     "F♯", "G",  "G♯", "A",  "A♯", "B"};
const char *const kFlatNames[12] = {"C",  "D♭", "D",  "E♭", "E",  "F",
                                    "G♭", "G",  "A♭", "A",  "B♭", "B"};

const char *const kDevicePicture = ":/images/kynsikas4.png";
const char *const kOutlinePicture = ":/images/hand3.svg";

} // namespace

KorvaneHandWidget::KorvaneHandWidget(QWidget *parent) : QOpenGLWidget(parent)
{
    setAutoFillBackground(true);
    for (int i = 0; i < kNodeSlots; ++i)
        nodes[i].note = 68 + i;
    applyLayout(0);
    devicePictureLoad =
        std::async(std::launch::async, [] { return QImage(QString::fromLatin1(kDevicePicture)); });
    updateScale(size());
    qDebug() << "handwidget ready";
}

bool KorvaneHandWidget::usesSharps(int keyTransposition, bool major)
{
    const int k = keyTransposition % 12; // keeps the sign: -11 .. 11
    static const int majorSharps[] = {-7, -5, -3, -1, 0, 2, 4, 6, 8, 10};
    static const int minorSharps[] = {-11, -8, -6, -4, -3, -1, 1, 3, 4, 6, 8, 9, 10};
    if (major)
        return std::find(std::begin(majorSharps), std::end(majorSharps), k) !=
               std::end(majorSharps);
    return std::find(std::begin(minorSharps), std::end(minorSharps), k) != std::end(minorSharps);
}

QString KorvaneHandWidget::noteLabel(int n, int keyTransposition, bool major)
{
    const int pc = n % 12;
    QString name;
    if (pc >= 0)
        name = QString::fromUtf8(usesSharps(keyTransposition, major) ? kSharpNames[pc]
                                                                     : kFlatNames[pc]);
    return name + QString::number(n / 12 - 1);
}

QString KorvaneHandWidget::nodeLabel(int i) const
{
    const HandNode &n = nodes[i];
    switch (n.type) {
    case 0:
        return noteLabel(offset + n.note, keyTransposition, major);
    case 1:
        return QStringLiteral("CC") + QString::number(n.controller);
    case 2:
        if (n.action >= 0 && n.action < int(std::size(kActionLabels)))
            return QString::fromLatin1(kActionLabels[n.action]);
        return QString();
    case 3:
        return QStringLiteral("GC") + QString::number(n.controller);
    case 4:
        return QStringLiteral("GBND");
    case 5:
        if (n.controller >= 0 && n.controller < int(std::size(kGyroActionLabels)))
            return QStringLiteral("G-") + QString::fromLatin1(kGyroActionLabels[n.controller]);
        return QStringLiteral("G-");
    case 6:
        return QStringLiteral("-");
    case 7:
        return QStringLiteral("ACCL");
    default:
        return QString();
    }
}

void KorvaneHandWidget::setTemporalOffset(int newOffset)
{
    offset = newOffset;
    ResetTriggers();
}

void KorvaneHandWidget::UpdateFromState(KorvaneSensorsState state)
{
    // A state read from a device may carry fewer records than there are circles; the
    // remaining circles keep what they showed.
    const int n = std::min(usedNodes, int(state.nodes.size()));
    for (int i = 0; i < n; ++i) {
        const KorvaneSensorNode &s = state.nodes[i];
        nodes[i].type = s.type;
        nodes[i].action = s.action;
        nodes[i].controller = s.cc;
        nodes[i].note = s.note;
    }
    update();
    keyTransposition = state.key;
    qDebug() << "key transposition: " << keyTransposition;
}

void KorvaneHandWidget::Trigger(int note, bool on, int vol)
{
    for (int i = 0; i < usedNodes; ++i) {
        HandNode &n = nodes[i];
        if (n.type == 0 && offset + n.note == note) {
            n.velocity = vol;
            n.triggered = on;
            qDebug() << "trigger vol: " << vol;
            update();
        }
    }
}

void KorvaneHandWidget::ResetTriggers()
{
    for (HandNode &n : nodes)
        n.triggered = false;
    update();
}

void KorvaneHandWidget::setDeviceType(int type)
{
    layout = type;
    if (type >= 0 && type <= 4)
        applyLayout(type);
    update();
}

void KorvaneHandWidget::setMajorScale(bool isMajor)
{
    major = isMajor;
}

void KorvaneHandWidget::setOutlinedSensors(QList<int> sensors)
{
    outlined = sensors;
    update();
}

void KorvaneHandWidget::applyLayout(int type)
{
    const Layout &l = kLayouts[type];
    usedNodes = l.count;
    for (int i = 0; i < l.count; ++i) {
        nodes[i].x = l.positions[i].x();
        nodes[i].y = l.positions[i].y();
    }
}

const QImage &KorvaneHandWidget::picture(const QSize &size)
{
    if (layout == 0) {
        if (devicePictureLoad.valid())
            devicePicture = devicePictureLoad.get();
        return devicePicture;
    }
    if (layout == 1 && outlinePicture.size() != size && !size.isEmpty()) {
        outlinePicture = QImage(size, QImage::Format_ARGB32);
        outlinePicture.fill(Qt::transparent);
        QSvgRenderer svg(QString::fromLatin1(kOutlinePicture));
        if (svg.isValid()) {
            QPainter p(&outlinePicture);
            p.setRenderHint(QPainter::SmoothPixmapTransform, true);
            svg.render(&p);
        }
    }
    return layout == 1 ? outlinePicture : devicePicture;
}

void KorvaneHandWidget::updateScale(const QSize &size)
{
    sx = float(size.width()) * 0.0013333333f;
    sy = float(size.height()) * 0.0007496252f;
}

void KorvaneHandWidget::paintTo(QPaintDevice *device)
{
    const int w = device->width();
    const int h = device->height();
    updateScale(QSize(w, h));
    const QImage *image = layout == 0 || layout == 1 ? &picture(QSize(w, h)) : nullptr;
    if (!painter.begin(device))
        return;
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.fillRect(0, 0, w, h, Qt::white);
    painter.setPen(Qt::lightGray);
    if (image && !image->isNull())
        painter.drawImage(QRectF(0, 0, w, h), *image, QRectF(image->rect()));

    for (int i = 0; i < usedNodes; ++i) {
        const HandNode &n = nodes[i];
        painter.setPen(Qt::black);
        const QRect box(int(std::lround((n.x - 55) * sx)), int(std::lround((n.y - 55) * sy)),
                        int(std::lround(kNodeDiameter * sx)), int(std::lround(kNodeDiameter * sy)));
        QPainterPath circle;
        circle.setFillRule(Qt::WindingFill);
        circle.addEllipse(box);
        QColor fill = Qt::black;
        if (i == pressed)
            fill = Qt::darkGray;
        else if (n.triggered)
            fill = QColor(0, 255, 0, std::clamp(n.velocity, 0, 255));
        painter.fillPath(circle, fill);
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(box);
        painter.setPen(Qt::lightGray);
        painter.drawText(box, Qt::AlignCenter, nodeLabel(i));
        if (outlined.contains(i)) {
            // A ring just outside the circle: this sensor differs from the nearest map.
            const qreal width = std::max<qreal>(3.0, 10.0 * sx);
            painter.setPen(QPen(outlineColour(), width));
            painter.drawEllipse(QRectF(box).adjusted(-width, -width, width, width));
        }
    }
    painter.end();
}

void KorvaneHandWidget::paintGL()
{
    paintTo(this);
}

void KorvaneHandWidget::resizeEvent(QResizeEvent *event)
{
    QOpenGLWidget::resizeEvent(event);
    updateScale(event->size());
    update();
}

void KorvaneHandWidget::pointer(PointerKind kind, const QPointF &pos)
{
    const QPoint p = pos.toPoint();
    if (kind == PointerPress)
        qDebug() << "point press: " << p;
    if (kind == PointerPress || kind == PointerMove) {
        pressed = -1;
        const float radius = 55 * sx;
        for (int i = 0; i < usedNodes; ++i) {
            const float dx = p.x() - nodes[i].x * sx;
            const float dy = p.y() - nodes[i].y * sy;
            if (std::sqrt(dx * dx + dy * dy) <= radius)
                pressed = i;
        }
        qDebug() << "sensornode: " << pressed;
    } else if (pressed != -1) {
        const int opened = pressed;
        pressed = -1;
        emit OpenNode(opened);
    }
    update();
}

void KorvaneHandWidget::mousePressEvent(QMouseEvent *event)
{
    pointer(PointerPress, event->localPos());
}

void KorvaneHandWidget::mouseDoubleClickEvent(QMouseEvent *event)
{
    pointer(PointerPress, event->localPos());
}

void KorvaneHandWidget::mouseMoveEvent(QMouseEvent *event)
{
    pointer(PointerMove, event->localPos());
}

void KorvaneHandWidget::mouseReleaseEvent(QMouseEvent *event)
{
    pointer(PointerRelease, event->localPos());
}

void KorvaneHandWidget::keyPressEvent(QKeyEvent *event)
{
    event->accept();
}

void KorvaneHandWidget::keyReleaseEvent(QKeyEvent *event)
{
    event->accept();
}
