// The last recording made visible: its level curve with the onset and end markers, and the
// spectrum of the last pitch estimate with the chosen peak and its frequency. The audio
// engine's views point into buffers that live only while their signal is delivered, so the
// slots copy (and thin out) what they are given at once.
#pragma once

#include "base/samplertypes.h"

#include <QVector>
#include <QWidget>

class KorvaneRecordingView : public QWidget
{
    Q_OBJECT
public:
    // At most this many points are kept for each curve.
    static constexpr int kMaxPoints = 1024;

    explicit KorvaneRecordingView(QWidget *parent = nullptr);

    // Draws both panels into area (the widget itself, or an image in tests).
    void paintTo(QPainter &painter, const QRectF &area) const;

    // Where the curves are drawn inside area, and where the markers fall.
    static QRectF levelPlot(const QRectF &area);
    static QRectF spectrumPlot(const QRectF &area);
    double onsetX(const QRectF &area) const;
    double endX(const QRectF &area) const;
    double peakX(const QRectF &area) const;

    bool hasRecording() const { return recFrames > 0; }
    bool hasSpectrum() const { return binCount > 0; }
    const QVector<float> &levelPoints() const { return levels; }
    const QVector<float> &spectrumPoints() const { return spectrum; }
    int recordingFrames() const { return recFrames; }
    int onsetFrame() const { return onset; }
    int endFrame() const { return end; }
    int peakBin() const { return peak; }
    int shownBins() const { return shown; }
    // Frequency of the chosen peak: bin × rate / transform size (twice the bin count).
    double peakFrequency() const;
    void setSampleRate(double rate) { sampleRate = rate; }

public slots:
    void setRecData(RecordView rec);
    void setAnalyzeData(AnalyzeDataView data);
    void clear();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    double sampleRate = 44100.0;
    // Level curve: the largest level of each stretch of frames, relative to the largest.
    QVector<float> levels;
    int recFrames = 0;
    int onset = 0;
    int end = 0;
    // Spectrum: bins 0 .. shown - 1 of binCount, thinned the same way, relative to maxValue.
    QVector<float> spectrum;
    int binCount = 0;
    int shown = 0;
    int peak = 0;
};
