// Record and stop buttons of the sound editor; the record button blinks while recording.
#pragma once

#include <QWidget>

class QPaintDevice;
class QTimer;

class KorvaneRecordIndicator : public QWidget
{
    Q_OBJECT
public:
    explicit KorvaneRecordIndicator(QWidget *parent = nullptr);

    static constexpr int kBlinkMs = 400;

    bool isRecording() const { return recording; }
    int blinkPhase() const { return phase; }
    bool isBlinking() const;
    QRectF recordRect() const;
    QRectF stopRect() const;

    // Paints the indicator onto any device of the widget's size.
    void paintTo(QPaintDevice *device);

signals:
    void RecPressed();
    void StopPressed();

public slots:
    void toggle(bool on);
    void animate();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    bool recording = false;
    int phase = 0;
    QTimer *timer;
};
