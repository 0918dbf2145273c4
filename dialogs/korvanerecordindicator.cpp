#include "korvanerecordindicator.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

#include <algorithm>

KorvaneRecordIndicator::KorvaneRecordIndicator(QWidget *parent)
    : QWidget(parent), timer(new QTimer(this))
{
    timer->setInterval(kBlinkMs);
    connect(timer, &QTimer::timeout, this, &KorvaneRecordIndicator::animate);
    setMinimumSize(160, 50);
}

bool KorvaneRecordIndicator::isBlinking() const
{
    return timer->isActive();
}

QRectF KorvaneRecordIndicator::recordRect() const
{
    return QRectF(0.1 * width(), 0.1 * height(), 0.3 * width(), 0.8 * height());
}

QRectF KorvaneRecordIndicator::stopRect() const
{
    return QRectF(0.6 * width(), 0.1 * height(), 0.3 * width(), 0.8 * height());
}

void KorvaneRecordIndicator::toggle(bool on)
{
    recording = on;
    if (!on) {
        timer->stop();
        phase = 0;
    }
    update();
}

void KorvaneRecordIndicator::animate()
{
    phase = (phase + 1) % 2;
    update();
}

void KorvaneRecordIndicator::mousePressEvent(QMouseEvent *event)
{
    const QPointF pos = event->localPos();
    if (recordRect().contains(pos)) {
        recording = true;
        timer->start();
        update();
        emit RecPressed();
    } else if (stopRect().contains(pos)) {
        recording = false;
        timer->stop();
        phase = 0;
        update();
        emit StopPressed();
    }
}

void KorvaneRecordIndicator::paintEvent(QPaintEvent *)
{
    paintTo(this);
}

void KorvaneRecordIndicator::paintTo(QPaintDevice *device)
{
    QPainter p(device);
    p.setRenderHint(QPainter::Antialiasing, true);

    const QRectF rec = recordRect();
    const QRectF stop = stopRect();
    const bool lit = recording && phase == 0;
    p.setPen(QPen(QColor(90, 90, 100), 1.5));
    p.setBrush(lit ? QColor(255, 190, 190) : QColor(235, 235, 240));
    p.drawRoundedRect(rec, 8, 8);
    p.setBrush(QColor(235, 235, 240));
    p.drawRoundedRect(stop, 8, 8);

    QFont font(QStringLiteral("Arial"));
    font.setPointSize(30);
    const QString recGlyph = QString::fromUtf8("⏺️");
    const QString stopGlyph = QString::fromUtf8("⏹️");
    QFontMetricsF metrics(font);
    const double side = 0.5 * std::min(rec.width(), rec.height());
    if (metrics.inFont(recGlyph.at(0)) && metrics.inFont(stopGlyph.at(0))) {
        p.setFont(font);
        p.setPen(lit || !recording ? QColor(200, 30, 30) : QColor(120, 60, 60));
        p.drawText(rec, Qt::AlignCenter, recGlyph);
        p.setPen(QColor(40, 40, 50));
        p.drawText(stop, Qt::AlignCenter, stopGlyph);
    } else {
        // Without a font that holds the glyphs, draw them as shapes.
        p.setPen(Qt::NoPen);
        p.setBrush(lit || !recording ? QColor(200, 30, 30) : QColor(120, 60, 60));
        p.drawEllipse(rec.center(), side / 2, side / 2);
        p.setBrush(QColor(40, 40, 50));
        p.drawRect(QRectF(stop.center().x() - side / 2, stop.center().y() - side / 2, side, side));
    }
}
