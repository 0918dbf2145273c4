#include "korvanerecordingview.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {
const QColor kRecordingBackground(220, 220, 230);
const QColor kPlot(245, 245, 250);
const QColor kCurve(60, 60, 80);
const QColor kText(30, 30, 40);
const QColor kOnset(40, 160, 60);
const QColor kEnd(200, 60, 40);
const QColor kPeak(30, 110, 200);
constexpr double kTitleHeight = 18.0;
constexpr double kGap = 8.0;
// The spectrum shows at least up to this frequency, and at least four times the peak.
constexpr double kMinShownHz = 2000.0;

// The largest value of each of up to kMaxPoints stretches of data[0 .. n), divided by top.
QVector<float> thinOut(const double *data, int n, double top)
{
    QVector<float> points;
    if (!data || n <= 0)
        return points;
    const int count = std::min(n, int(KorvaneRecordingView::kMaxPoints));
    points.resize(count);
    const double scale = top > 0.0 ? 1.0 / top : 0.0;
    for (int p = 0; p < count; ++p) {
        const int first = int(qint64(p) * n / count);
        const int last = std::max(first + 1, int(qint64(p + 1) * n / count));
        double m = 0.0;
        for (int i = first; i < last; ++i)
            m = std::max(m, std::fabs(data[i]));
        points[p] = float(std::min(1.0, m * scale));
    }
    return points;
}

void drawCurve(QPainter &p, const QRectF &plot, const QVector<float> &points)
{
    if (points.isEmpty())
        return;
    QPainterPath path;
    const int n = int(points.size());
    path.moveTo(plot.left(), plot.bottom());
    for (int i = 0; i < n; ++i) {
        const double x = plot.left() + plot.width() * (i + 0.5) / n;
        path.lineTo(x, plot.bottom() - plot.height() * double(points[i]));
    }
    path.lineTo(plot.right(), plot.bottom());
    p.setPen(QPen(kCurve, 1.0));
    p.setBrush(QColor(kCurve.red(), kCurve.green(), kCurve.blue(), 90));
    p.drawPath(path);
}

void drawMarker(QPainter &p, const QRectF &plot, double x, const QColor &colour,
                const QString &label, bool labelLeft)
{
    p.setPen(QPen(colour, 2.0));
    p.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
    const QRectF box = labelLeft ? QRectF(x - 124, plot.top() + 2, 120, 16)
                                 : QRectF(x + 4, plot.top() + 2, 120, 16);
    p.drawText(box, (labelLeft ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter, label);
}

QRectF panel(const QRectF &area, int index)
{
    const double w = (area.width() - kGap) / 2.0;
    return QRectF(area.left() + index * (w + kGap), area.top(), w, area.height());
}

QRectF plotOf(const QRectF &panelRect)
{
    return panelRect.adjusted(2, kTitleHeight, -2, -2);
}
} // namespace

KorvaneRecordingView::KorvaneRecordingView(QWidget *parent) : QWidget(parent)
{
    setMinimumSize(300, 120);
    registerSamplerMetaTypes();
}

QRectF KorvaneRecordingView::levelPlot(const QRectF &area)
{
    return plotOf(panel(area, 0));
}

QRectF KorvaneRecordingView::spectrumPlot(const QRectF &area)
{
    return plotOf(panel(area, 1));
}

double KorvaneRecordingView::onsetX(const QRectF &area) const
{
    const QRectF plot = levelPlot(area);
    return recFrames > 0 ? plot.left() + plot.width() * onset / recFrames : plot.left();
}

double KorvaneRecordingView::endX(const QRectF &area) const
{
    const QRectF plot = levelPlot(area);
    return recFrames > 0 ? plot.left() + plot.width() * end / recFrames : plot.left();
}

double KorvaneRecordingView::peakX(const QRectF &area) const
{
    const QRectF plot = spectrumPlot(area);
    return shown > 0 ? plot.left() + plot.width() * (peak + 0.5) / shown : plot.left();
}

double KorvaneRecordingView::peakFrequency() const
{
    return binCount > 0 ? peak * sampleRate / (2.0 * binCount) : 0.0;
}

void KorvaneRecordingView::setRecData(RecordView rec)
{
    if (!rec.data || rec.size <= 0) {
        levels.clear();
        recFrames = 0;
        update();
        return;
    }
    double top = 0.0;
    for (int i = 0; i < rec.size; ++i)
        top = std::max(top, std::fabs(rec.data[i]));
    levels = thinOut(rec.data, rec.size, top);
    recFrames = rec.size;
    onset = std::clamp(rec.start, 0, rec.size - 1);
    end = std::clamp(rec.end, 0, rec.size - 1);
    update();
}

void KorvaneRecordingView::setAnalyzeData(AnalyzeDataView data)
{
    if (!data.data || data.size <= 0) {
        spectrum.clear();
        binCount = 0;
        shown = 0;
        update();
        return;
    }
    binCount = data.size;
    peak = std::clamp(data.peakIndex, 0, data.size - 1);
    const double binHz = sampleRate / (2.0 * binCount);
    const int wanted = std::max(4 * (peak + 1), int(std::ceil(kMinShownHz / binHz)));
    shown = std::clamp(wanted, std::min(16, binCount), binCount);
    spectrum = thinOut(data.data, shown, data.maxValue);
    update();
}

void KorvaneRecordingView::clear()
{
    levels.clear();
    spectrum.clear();
    recFrames = binCount = shown = 0;
    update();
}

void KorvaneRecordingView::paintTo(QPainter &p, const QRectF &area) const
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    p.fillRect(area, kRecordingBackground);
    const double seconds = 1.0 / sampleRate;

    // Level curve with onset and end.
    const QRectF lp = levelPlot(area);
    p.fillRect(lp, kPlot);
    p.setPen(kText);
    const QRectF levelTitle(lp.left(), area.top(), lp.width(), kTitleHeight);
    if (recFrames > 0) {
        p.drawText(levelTitle, Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("Last recording: %1 s, onset %2 s, end %3 s")
                       .arg(recFrames * seconds, 0, 'f', 2)
                       .arg(onset * seconds, 0, 'f', 2)
                       .arg(end * seconds, 0, 'f', 2));
        drawCurve(p, lp, levels);
        drawMarker(p, lp, onsetX(area), kOnset, QStringLiteral("onset"), false);
        drawMarker(p, lp, endX(area), kEnd, QStringLiteral("end"), true);
    } else {
        p.drawText(levelTitle, Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("No recording yet"));
    }

    // Spectrum with the chosen peak.
    const QRectF sp = spectrumPlot(area);
    p.fillRect(sp, kPlot);
    p.setPen(kText);
    const QRectF spectrumTitle(sp.left(), area.top(), sp.width(), kTitleHeight);
    if (binCount > 0) {
        const QString hz = QString::number(peakFrequency(), 'g', 6) + QStringLiteral(" Hz");
        p.drawText(spectrumTitle, Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("Pitch estimate: %1, up to %2 Hz shown")
                       .arg(hz)
                       .arg(int(std::lround(shown * sampleRate / (2.0 * binCount)))));
        drawCurve(p, sp, spectrum);
        const double x = peakX(area);
        drawMarker(p, sp, x, kPeak, hz, x > sp.center().x());
    } else {
        p.drawText(spectrumTitle, Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("No pitch estimate yet"));
    }
    p.restore();
}

void KorvaneRecordingView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    paintTo(p, QRectF(rect()));
}
