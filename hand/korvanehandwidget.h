// The picture of the controller: one circle per sensor, placed where the sensor sits, labelled
// with its assignment and lit while its note sounds. A click on a circle asks for its editor.
// GUI thread only.
#pragma once

#include "base/korvanerecords.h"

#include <QImage>
#include <QList>
#include <QOpenGLWidget>
#include <QPainter>

#include <array>
#include <future>

class KorvaneHandWidget : public QOpenGLWidget
{
    Q_OBJECT
public:
    // Positions are in design units on a 750 x 1334 canvas stretched over the widget.
    static constexpr int kCanvasWidth = 750;
    static constexpr int kCanvasHeight = 1334;
    static constexpr int kNodeSlots = 18;
    static constexpr int kNodeDiameter = 110;

    struct HandNode
    {
        int x = 0;
        int y = 0;
        int type = 0;
        int action = 0;
        int controller = 0;
        int note = 0;
        int velocity = 0;
        bool triggered = false;
    };

    explicit KorvaneHandWidget(QWidget *parent = nullptr);

    // Draws the whole picture on any paint device (the widget itself, or an image in tests),
    // stretched over the device's size.
    void paintTo(QPaintDevice *device);

    const HandNode &node(int i) const { return nodes[i]; }
    int nodeCount() const { return usedNodes; }
    int deviceType() const { return layout; }
    int pressedNode() const { return pressed; }
    int temporalOffset() const { return offset; }
    bool majorScale() const { return major; }
    // Sensors drawn with a ring: those that differ from the nearest stored map.
    QList<int> outlinedSensors() const { return outlined; }
    static QColor outlineColour() { return QColor(0, 200, 255); }
    // The text drawn in node i's circle.
    QString nodeLabel(int i) const;
    // Note name with octave for MIDI note n ("G♭4"); spelled with sharps or flats after the key.
    static QString noteLabel(int n, int keyTransposition, bool major);
    static bool usesSharps(int keyTransposition, bool major);

signals:
    void OpenNode(int node_i);

public slots:
    void setTemporalOffset(int offset);
    void UpdateFromState(KorvaneSensorsState state);
    void Trigger(int note, bool on, int vol);
    void ResetTriggers();
    void setDeviceType(int type);
    void setMajorScale(bool major);
    void setOutlinedSensors(QList<int> sensors);

protected:
    void paintGL() override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;

private:
    enum PointerKind
    {
        PointerPress = 0,
        PointerMove = 1,
        PointerRelease = 2
    };
    void pointer(PointerKind kind, const QPointF &pos);
    void applyLayout(int type);
    const QImage &picture(const QSize &size);
    void updateScale(const QSize &size);

    std::array<HandNode, kNodeSlots> nodes{};
    int usedNodes = kNodeSlots;
    int layout = 0;
    int pressed = -1;
    bool major = true;
    int keyTransposition = 0;
    int offset = 0;
    QList<int> outlined;
    // Scale from design units to pixels, as of the last paint or resize.
    float sx = 1.0f;
    float sy = 1.0f;
    // The device picture is decoded on a worker thread from construction on (about 6 MB of
    // pixels); the first paint that needs it waits for it. The outline drawing is rendered
    // at the first paint of each size that shows it.
    std::future<QImage> devicePictureLoad;
    QImage devicePicture;
    QImage outlinePicture;
    QPainter painter;
};
