#include "korvanesamplerwidget.h"

#include <QDebug>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {
const QColor kBackground(220, 220, 230);
const QColor kSelected(250, 214, 160);
const QColor kRowLine(150, 150, 165);
const QColor kWave(60, 60, 80);
const QColor kLoopMarker(30, 110, 200);
const QColor kStartMarker(200, 60, 40);
const QColor kButton(245, 245, 250);
const QColor kLit(120, 200, 120);

// Frames moved per 15 pixels of drag, normal and with Shift held.
constexpr double kFramesPer15 = 500.0;
constexpr double kFramesPer15Fast = 4000.0;

const char *const kLoopNames[] = {"None", "Forward", "Backward", "BackForth"};
} // namespace

KorvaneSamplerWidget::KorvaneSamplerWidget(QWidget *parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(300, 200);
}

double KorvaneSamplerWidget::sampleAreaWidth() const
{
    return 0.9 * (width() + 1);
}

double KorvaneSamplerWidget::rowHeight() const
{
    const int n = triggerCount();
    if (n <= 0)
        return height();
    return n > kVisibleRows ? height() / double(kVisibleRows) : height() / double(n);
}

QRectF KorvaneSamplerWidget::rowRect(int visibleRow) const
{
    const double h = rowHeight();
    return QRectF(0.0, visibleRow * h, sampleAreaWidth(), h);
}

QRectF KorvaneSamplerWidget::zoneRect(int visibleRow, Zone zone) const
{
    const QRectF row = rowRect(visibleRow);
    const double w = sampleAreaWidth();
    const double h = row.height();
    const double top = row.top();
    switch (zone) {
    case Zone::Volume:
        return QRectF(0.0, top, 0.1 * w, h);
    case Zone::Waveform:
        return QRectF(0.1 * w, top, 0.6 * w, h);
    case Zone::KeyFrequency:
        return QRectF(0.7 * w, top, 0.2 * w, h / 2);
    case Zone::Loop:
        return QRectF(0.7 * w, top + h / 2, 0.2 * w, h / 2);
    case Zone::Preview:
        return QRectF(0.9 * w, top, 0.1 * w, h / 2);
    case Zone::Delete:
        return QRectF(0.9 * w, top + h / 2, 0.1 * w, h / 2);
    case Zone::ScrollBar:
        return QRectF(w, 0.0, width() - w, height());
    case Zone::None:
        break;
    }
    return QRectF();
}

KorvaneSamplerWidget::Zone KorvaneSamplerWidget::zoneAt(const QPointF &pos, int *trigger) const
{
    if (trigger)
        *trigger = -1;
    const double w = sampleAreaWidth();
    if (pos.x() >= w)
        return Zone::ScrollBar;
    const int n = triggerCount();
    if (n <= 0 || pos.x() < 0 || pos.y() < 0)
        return Zone::None;
    const double h = rowHeight();
    const int visibleRow = int(pos.y() / h);
    const int t = scroll + visibleRow;
    if (visibleRow >= kVisibleRows || t >= n)
        return Zone::None;
    if (trigger)
        *trigger = t;
    const double x = pos.x();
    const bool upper = pos.y() - visibleRow * h < h / 2;
    if (x < 0.1 * w)
        return Zone::Volume;
    if (x < 0.7 * w)
        return Zone::Waveform;
    if (x < 0.9 * w)
        return upper ? Zone::KeyFrequency : Zone::Loop;
    return upper ? Zone::Preview : Zone::Delete;
}

int KorvaneSamplerWidget::frameCount(int trigger) const
{
    if (trigger < 0 || trigger >= view.overviews.size())
        return 0;
    return view.overviews.at(trigger).frameCount;
}

double KorvaneSamplerWidget::frameAt(int trigger, double x) const
{
    const double w = sampleAreaWidth();
    return (x - 0.1 * w) / (0.6 * w) * frameCount(trigger);
}

double KorvaneSamplerWidget::xOfFrame(int trigger, double frame, const QRectF &wave) const
{
    const int frames = frameCount(trigger);
    if (frames <= 0)
        return wave.left();
    return wave.left() + frame / frames * wave.width();
}

// ---- slots ----

void KorvaneSamplerWidget::setFromLayerView(KorvaneLayerView v)
{
    view = v;
    const int n = triggerCount();
    if (selected >= n)
        selected = -1;
    scroll = std::clamp(scroll, 0, std::max(0, n - 3));
    if (dragTrigger >= n) {
        drag = Drag::None;
        dragTrigger = -1;
    }
    update();
}

void KorvaneSamplerWidget::resetScroll()
{
    scroll = 0;
    update();
}

void KorvaneSamplerWidget::setTrigger(int sample, bool on)
{
    if (on)
        lit.insert(sample);
    else
        lit.remove(sample);
    update();
}

void KorvaneSamplerWidget::setBaseNumber(int target_sample, double freq)
{
    if (target_sample < 0 || target_sample >= triggerCount())
        return;
    view.triggers[target_sample].baseFrequency = freq;
    commit();
    update();
}

void KorvaneSamplerWidget::commit()
{
    KorvaneLayerView out = view;
    emit SendLayerUpdate(out);
    emit Edited();
}

// ---- mouse ----

void KorvaneSamplerWidget::handleMouse(const QPointF &pos, Qt::MouseButton button,
                                       QEvent::Type kind, Qt::KeyboardModifiers modifiers)
{
    Q_UNUSED(button)
    switch (kind) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: // a quick second click is a press like the first
        press(pos, modifiers);
        break;
    case QEvent::MouseMove:
        move(pos, modifiers);
        break;
    case QEvent::MouseButtonRelease:
        release();
        break;
    default:
        break;
    }
}

void KorvaneSamplerWidget::scrollTo(double y)
{
    const int n = triggerCount();
    const int top = std::max(0, n - 3);
    const double h = std::max(1, height());
    scroll = std::clamp(int(std::lround((n - 3) * y / h)), 0, top);
}

void KorvaneSamplerWidget::press(const QPointF &pos, Qt::KeyboardModifiers modifiers)
{
    Q_UNUSED(modifiers)
    int t = -1;
    const Zone zone = zoneAt(pos, &t);
    if (zone == Zone::ScrollBar) {
        scrollTo(pos.y());
        drag = Drag::Scroll;
        dragStartPos = pos;
        update();
        return;
    }
    if (zone == Zone::None || t < 0)
        return;

    SampleTrigger &trig = view.triggers[t];
    const bool isSelected = t == selected;
    dragStartPos = pos;
    dragTrigger = t;

    switch (zone) {
    case Zone::Loop:
        if (isSelected) {
            trig.loop = (trig.loop + 1) % 4;
            commit();
        }
        break;
    case Zone::Preview:
        emit PreviewPlay(trig.sampleId);
        break;
    case Zone::Delete:
        emit DeleteSample(t);
        break;
    case Zone::KeyFrequency:
        if (isSelected) {
            if (view.samplerMode == 0) {
                emit OpenBaseNumberEditor(t, trig.baseFrequency);
            } else {
                drag = Drag::Key;
                dragStartValue = trig.key;
            }
        }
        break;
    case Zone::Volume:
        if (isSelected) {
            drag = Drag::Volume;
            dragStartValue = trig.volume * 127.0;
        }
        break;
    case Zone::Waveform:
        if (isSelected) {
            const double frame = frameAt(t, pos.x());
            const double dA = std::abs(frame - trig.loopStart);
            const double dB = std::abs(frame - trig.loopEnd);
            const double dS = std::abs(frame - trig.start);
            if (dA < dB && dA <= dS) {
                qDebug() << "setting loopA";
                drag = Drag::LoopStart;
                dragStartValue = trig.loopStart;
            } else if (dB < dA && dB <= dS) {
                qDebug() << "setting loopB";
                drag = Drag::LoopEnd;
                dragStartValue = trig.loopEnd;
            } else if (dS < dA && dS <= dB) {
                qDebug() << "setting start";
                drag = Drag::Start;
                dragStartValue = trig.start;
            }
        }
        break;
    default:
        break;
    }

    // A delete request may already have replaced the view; select only a row that exists.
    if (t < triggerCount())
        selected = t;
    update();
}

void KorvaneSamplerWidget::move(const QPointF &pos, Qt::KeyboardModifiers modifiers)
{
    if (drag == Drag::None)
        return;
    if (drag == Drag::Scroll) {
        scrollTo(pos.y());
        update();
        return;
    }
    if (dragTrigger < 0 || dragTrigger >= triggerCount())
        return;
    SampleTrigger &trig = view.triggers[dragTrigger];
    const double dx = pos.x() - dragStartPos.x();
    const double dy = pos.y() - dragStartPos.y();
    const bool fast = shiftHeld || modifiers.testFlag(Qt::ShiftModifier);
    const double k = fast ? kFramesPer15Fast : kFramesPer15;
    const int moved = int(std::lround(dragStartValue + dx / 15.0 * k));
    const int frames = frameCount(dragTrigger);

    switch (drag) {
    case Drag::LoopStart: {
        const int upper = trig.loopEnd - kMinLoopLength;
        if (upper >= 0)
            trig.loopStart = std::clamp(moved, 0, upper);
        break;
    }
    case Drag::LoopEnd: {
        const int lower = trig.loopStart + kMinLoopLength;
        const int upper = frames - 1;
        if (lower <= upper)
            trig.loopEnd = std::clamp(moved, lower, upper);
        break;
    }
    case Drag::Start:
        if (frames > 0)
            trig.start = std::clamp(moved, 0, frames - 1);
        break;
    case Drag::Key:
        trig.key = std::clamp(int(std::lround(dragStartValue - dy / 15.0)), 0, 127);
        break;
    case Drag::Volume: {
        // Full level is the ceiling, unless the sample was already louder.
        const double ceiling = std::max(127.0, dragStartValue);
        trig.volume = float(std::clamp(dragStartValue - 0.2 * dy, 0.0, ceiling) / 127.0);
        break;
    }
    default:
        break;
    }
    update();
}

void KorvaneSamplerWidget::release()
{
    emit PreviewStop();
    const Drag ended = drag;
    drag = Drag::None;
    dragTrigger = -1;
    if (ended != Drag::None && ended != Drag::Scroll)
        commit();
    update();
}

void KorvaneSamplerWidget::mousePressEvent(QMouseEvent *event)
{
    handleMouse(event->localPos(), event->button(), event->type(), event->modifiers());
}

void KorvaneSamplerWidget::mouseDoubleClickEvent(QMouseEvent *event)
{
    handleMouse(event->localPos(), event->button(), event->type(), event->modifiers());
}

void KorvaneSamplerWidget::mouseMoveEvent(QMouseEvent *event)
{
    handleMouse(event->localPos(), event->button(), event->type(), event->modifiers());
}

void KorvaneSamplerWidget::mouseReleaseEvent(QMouseEvent *event)
{
    handleMouse(event->localPos(), event->button(), event->type(), event->modifiers());
}

void KorvaneSamplerWidget::wheelEvent(QWheelEvent *event)
{
    const int n = triggerCount();
    const int delta = event->angleDelta().y();
    if (delta > 0)
        scroll = std::max(0, scroll - 1);
    else if (delta < 0)
        scroll = std::min(scroll + 1, n > kVisibleRows ? n - kVisibleRows : 0);
    event->accept();
    update();
}

void KorvaneSamplerWidget::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Shift:
        shiftHeld = true;
        break;
    case Qt::Key_Left:
        leftHeld = true;
        break;
    case Qt::Key_Right:
        rightHeld = true;
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
}

void KorvaneSamplerWidget::keyReleaseEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Shift:
        shiftHeld = false;
        break;
    case Qt::Key_Left:
        leftHeld = false;
        break;
    case Qt::Key_Right:
        rightHeld = false;
        break;
    default:
        QWidget::keyReleaseEvent(event);
        return;
    }
}

// ---- painting ----

void KorvaneSamplerWidget::paintEvent(QPaintEvent *)
{
    paintTo(this);
}

void KorvaneSamplerWidget::paintTo(QPaintDevice *device)
{
    QPainter p(device);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.fillRect(QRect(0, 0, width(), height()), kBackground);

    const int n = triggerCount();
    for (int r = 0; r < kVisibleRows && scroll + r < n; ++r) {
        p.save();
        paintRow(p, r, scroll + r);
        p.restore();
    }

    // Scroll bar: the track and the visible range.
    const QRectF bar = zoneRect(0, Zone::ScrollBar);
    p.setPen(kRowLine);
    p.setBrush(QColor(200, 200, 212));
    p.drawRect(bar.adjusted(2, 1, -2, -1));
    if (n > 0) {
        const double top = bar.top() + bar.height() * scroll / n;
        const double span = bar.height() * std::min(kVisibleRows, n - scroll) / n;
        p.setBrush(QColor(120, 120, 140));
        p.drawRoundedRect(QRectF(bar.left() + 4, top + 2, bar.width() - 8, span - 4), 4, 4);
    }
}

void KorvaneSamplerWidget::paintRow(QPainter &p, int r, int t)
{
    const SampleTrigger &trig = view.triggers.at(t);
    const QRectF row = rowRect(r);
    if (t == selected)
        p.fillRect(row, kSelected);
    if (lit.contains(t))
        p.fillRect(zoneRect(r, Zone::Volume), kLit);
    p.setPen(kRowLine);
    p.setBrush(Qt::NoBrush);
    p.drawRect(row.adjusted(0.5, 0.5, -0.5, -0.5));

    QFont small = p.font();
    small.setPointSizeF(std::max(6.0, std::min(9.0, row.height() / 9.0)));
    p.setFont(small);

    // Volume: a bar from the bottom and its value.
    const QRectF vol = zoneRect(r, Zone::Volume).adjusted(4, 4, -4, -4);
    const double level = std::clamp(double(trig.volume), 0.0, 1.0);
    p.fillRect(QRectF(vol.left(), vol.bottom() - vol.height() * level, vol.width() * 0.3,
                      vol.height() * level),
               kLoopMarker);
    p.setPen(Qt::black);
    p.drawText(vol.adjusted(vol.width() * 0.35, 0, 0, 0), Qt::AlignVCenter | Qt::TextWordWrap,
               QStringLiteral("Vol ") + QString::number(double(trig.volume)));

    // Waveform overview as lines around the centre.
    const QRectF wave = zoneRect(r, Zone::Waveform).adjusted(0, 4, 0, -4);
    if (t < view.overviews.size()) {
        const QVector<float> &pts = view.overviews.at(t).points;
        float peak = 0.0f;
        for (float v : pts)
            peak = std::max(peak, std::abs(v));
        if (!pts.isEmpty() && peak > 0.0f) {
            p.setPen(kWave);
            const double mid = wave.center().y();
            const double half = wave.height() / 2;
            for (int i = 0; i < pts.size(); ++i) {
                const double x = wave.left() + wave.width() * (i + 0.5) / pts.size();
                const double a = std::abs(pts.at(i)) / peak * half;
                p.drawLine(QPointF(x, mid - a), QPointF(x, mid + a));
            }
        }
    }
    if (t < view.names.size()) {
        p.setPen(Qt::black);
        p.drawText(wave.adjusted(4, 0, 0, 0), Qt::AlignTop | Qt::AlignLeft, view.names.at(t));
    }

    // Markers: loop start, loop end "B", start "Start".
    auto marker = [&](double frame, const QColor &c, const QString &label, bool labelBelow) {
        const double x = xOfFrame(t, frame, wave);
        p.setPen(QPen(c, 2));
        p.drawLine(QPointF(x, wave.top()), QPointF(x, wave.bottom()));
        // Labels sit right of their marker, or left of it in the right half of the waveform.
        const bool leftSide = x > wave.center().x();
        const double top = labelBelow ? wave.bottom() - 14 : wave.top() + 12;
        const QRectF box(leftSide ? x - 42 : x + 2, top, 40, 14);
        p.drawText(box, (leftSide ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter, label);
    };
    marker(trig.loopStart, kLoopMarker, QStringLiteral("A"), false);
    marker(trig.loopEnd, kLoopMarker, QStringLiteral("B"), false);
    marker(trig.start, kStartMarker, QStringLiteral("Start"), true);

    // Key, frequency and loop texts.
    p.setPen(Qt::black);
    const QRectF info = zoneRect(r, Zone::KeyFrequency).adjusted(4, 2, -2, 0);
    const QRectF freqBox(info.left(), info.top(), info.width(), info.height() / 2);
    const QRectF keyBox(info.left(), info.top() + info.height() / 2, info.width(),
                        info.height() / 2);
    p.drawText(freqBox, Qt::AlignVCenter | Qt::TextWordWrap,
               QStringLiteral("Base Frequency: ") + QString::number(trig.baseFrequency, 'g', 6));
    p.drawText(keyBox, Qt::AlignVCenter | Qt::TextWordWrap,
               QStringLiteral("MIDI Note: ") + QString::number(trig.key) + QStringLiteral(" (") +
                   QString::number(trig.key / 12 - 1) + QStringLiteral(")"));
    const int loop = (trig.loop >= 0 && trig.loop < 4) ? trig.loop : 0;
    p.drawText(zoneRect(r, Zone::Loop).adjusted(4, 0, -2, 0), Qt::AlignVCenter,
               QStringLiteral("Loop: ") + QString::fromLatin1(kLoopNames[loop]));

    // Preview and delete buttons.
    QFont big = p.font();
    big.setBold(true);
    big.setPointSizeF(std::max(7.0, std::min(14.0, row.height() / 6.0)));
    p.setFont(big);
    for (Zone z : {Zone::Preview, Zone::Delete}) {
        const QRectF b = zoneRect(r, z).adjusted(4, 4, -4, -4);
        p.setPen(kRowLine);
        p.setBrush(kButton);
        p.drawRoundedRect(b, 6, 6);
        p.setPen(Qt::black);
        p.drawText(b, Qt::AlignCenter,
                   z == Zone::Preview ? QStringLiteral(">") : QStringLiteral("X"));
    }
    p.setBrush(Qt::NoBrush);
}
