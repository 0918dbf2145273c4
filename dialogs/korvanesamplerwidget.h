// The sound editor's sample list: up to four rows of samples with their waveform, loop and
// start markers, volume, base frequency, key and loop mode, and a scroll bar on the right.
// Edits are made by dragging and committed to the sampler as a whole layer view.
#pragma once

#include "base/samplertypes.h"

#include <QEvent>
#include <QPointF>
#include <QSet>
#include <QWidget>

class QPainter;
class QPaintDevice;

class KorvaneSamplerWidget : public QWidget
{
    Q_OBJECT
public:
    explicit KorvaneSamplerWidget(QWidget *parent = nullptr);

    // Hit zones inside one row.
    enum class Zone
    {
        None,
        Volume,
        Waveform,
        KeyFrequency,
        Loop,
        Preview,
        Delete,
        ScrollBar
    };

    // What a mouse drag currently changes.
    enum class Drag
    {
        None,
        LoopStart,
        LoopEnd,
        Start,
        Key,
        Volume,
        Scroll
    };

    static constexpr int kVisibleRows = 4;
    static constexpr int kMinLoopLength = 100;

    KorvaneLayerView layerView() const { return view; }
    int selectedRow() const { return selected; }
    int scrollIndex() const { return scroll; }
    Drag activeDrag() const { return drag; }
    int triggerCount() const { return int(view.triggers.size()); }

    // Geometry, in widget pixels.
    double sampleAreaWidth() const;
    double rowHeight() const;
    QRectF rowRect(int visibleRow) const;
    QRectF zoneRect(int visibleRow, Zone zone) const;
    Zone zoneAt(const QPointF &pos, int *trigger = nullptr) const;

    // Paints the whole widget onto any device of the widget's size.
    void paintTo(QPaintDevice *device);

    // Every mouse event ends here: press, double-click, move and release.
    void handleMouse(const QPointF &pos, Qt::MouseButton button, QEvent::Type kind,
                     Qt::KeyboardModifiers modifiers = Qt::NoModifier);

signals:
    void OpenBaseNumberEditor(int target_sample, double freq);
    void SendLayerUpdate(KorvaneLayerView view);
    void PreviewPlay(int sample_id);
    void PreviewStop();
    void DeleteSample(int sample_id);
    void Edited();
    void passMouseWheelEvent(QWheelEvent *event);

public slots:
    void setFromLayerView(KorvaneLayerView view);
    void resetScroll();
    void setTrigger(int sample, bool on);
    void setBaseNumber(int target_sample, double freq);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;

private:
    void press(const QPointF &pos, Qt::KeyboardModifiers modifiers);
    void move(const QPointF &pos, Qt::KeyboardModifiers modifiers);
    void release();
    void scrollTo(double y);
    void commit();
    int frameCount(int trigger) const;
    double frameAt(int trigger, double x) const;
    double xOfFrame(int trigger, double frame, const QRectF &wave) const;
    void paintRow(QPainter &p, int visibleRow, int trigger);

    KorvaneLayerView view;
    int selected = -1;
    int scroll = 0;
    Drag drag = Drag::None;
    int dragTrigger = -1;
    double dragStartValue = 0.0;
    QPointF dragStartPos;
    bool shiftHeld = false;
    bool leftHeld = false;
    bool rightHeld = false;
    QSet<int> lit; // triggers sounding right now
};
