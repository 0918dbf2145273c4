#include "dialogs/korvanerecordindicator.h"
#include "dialogs/korvanesamplerwidget.h"
#include "dialogs/korvanesoundeditview.h"
#include "tests/support/editortestkit.h"

namespace {
constexpr int kFrames = 10000;

KorvaneLayerView makeView(int n, int mode = 0)
{
    KorvaneLayerView v;
    v.valid = true;
    v.samplerMode = mode;
    KorvaneLayerOverview o;
    o.frameCount = kFrames;
    for (int k = 0; k < 300; ++k)
        o.points.append(float(k % 30) / 30.0f);
    for (int i = 0; i < n; ++i) {
        // id, loop, loop start and end, base frequency, key, start
        v.triggers.append(SampleTrigger{100 + i, 0, 2000, 8000, 220.0 + i, 60 + i, 0});
        v.overviews.append(o);
        v.names.append(QStringLiteral("%1 sample").arg(100 + i));
        v.sampleIds.append(100 + i);
    }
    return v;
}

void mouse(QWidget *w, QEvent::Type type, const QPointF &pos,
           Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent e(type, pos, w->mapToGlobal(pos.toPoint()), Qt::LeftButton, held, mods);
    QApplication::sendEvent(w, &e);
}

// Presses at from, moves to to and lets go there; returns what the press began to drag.
KorvaneSamplerWidget::Drag drag(KorvaneSamplerWidget *w, const QPointF &from, const QPointF &to)
{
    mouse(w, QEvent::MouseButtonPress, from);
    const KorvaneSamplerWidget::Drag began = w->activeDrag();
    mouse(w, QEvent::MouseMove, to);
    mouse(w, QEvent::MouseButtonRelease, to);
    return began;
}

void click(QWidget *w, const QPointF &pos)
{
    mouse(w, QEvent::MouseButtonPress, pos);
    mouse(w, QEvent::MouseButtonRelease, pos);
}

void wheel(QWidget *w, int delta)
{
    const QPointF pos(10, 10);
    QWheelEvent e(pos, w->mapToGlobal(pos.toPoint()), QPoint(), QPoint(0, delta), Qt::NoButton,
                  Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(w, &e);
}

// The sampler widget, 600 pixels wide, showing n samples.
struct Sampler : KorvaneSamplerWidget
{
    explicit Sampler(int n, int mode = 0, int height = 400)
    {
        resize(600, height);
        setFromLayerView(makeView(n, mode));
    }
};

KorvaneLayerView lastView(const QSignalSpy &spy)
{
    return spy.last().at(0).value<KorvaneLayerView>();
}
} // namespace

class TestSoundEdit : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { registerSamplerMetaTypes(); }
    void rowsAndWheel()
    {
        Sampler w(3);
        wheel(&w, -120);
        QCOMPARE(w.scrollIndex(), 0); // three samples fit
        w.setFromLayerView(makeView(5));
        wheel(&w, -120);
        wheel(&w, -120);
        QCOMPARE(w.scrollIndex(), 1); // five samples, four rows: one step at most
        int trigger = -1;
        w.zoneAt(at(w, 0, 0.5, 0.5), &trigger);
        QCOMPARE(trigger, 1);
        wheel(&w, 120);
        wheel(&w, 120);
        QCOMPARE(w.scrollIndex(), 0);

        // A press at the bottom of the scroll bar shows the last three samples.
        mouse(&w, QEvent::MouseButtonPress, QPointF(595, 399));
        QCOMPARE(w.scrollIndex(), 2);
        mouse(&w, QEvent::MouseMove, QPointF(595, 0));
        QCOMPARE(w.scrollIndex(), 0);
        mouse(&w, QEvent::MouseButtonRelease, QPointF(595, 0));

        // An empty sampler has no rows and takes presses without harm.
        w.setFromLayerView(KorvaneLayerView());
        click(&w, QPointF(100, 100));
        QCOMPARE(w.selectedRow(), -1);
    }
    void loopMarkerDrags()
    {
        Sampler w(2);
        QSignalSpy update(&w, SIGNAL(SendLayerUpdate(KorvaneLayerView)));
        QSignalSpy edited(&w, SIGNAL(Edited()));

        // The first press only selects the row; nothing is dragged.
        const QPointF nearA = atFrame(w, 1, 2100);
        QCOMPARE(drag(&w, nearA, nearA + QPointF(30, 0)), KorvaneSamplerWidget::Drag::None);
        QCOMPARE(w.selectedRow(), 1);
        QCOMPARE(update.count(), 0);

        // The loop start moves 1000 frames per 30 pixels, sent once on release, and stops short
        // of the loop end; the other sample keeps its loop.
        mouse(&w, QEvent::MouseButtonPress, nearA);
        QCOMPARE(w.activeDrag(), KorvaneSamplerWidget::Drag::LoopStart);
        mouse(&w, QEvent::MouseMove, nearA + QPointF(30, 0));
        QCOMPARE(w.layerView().triggers.at(1).loopStart, 3000);
        mouse(&w, QEvent::MouseMove, nearA + QPointF(400, 0));
        mouse(&w, QEvent::MouseButtonRelease, nearA + QPointF(400, 0));
        QCOMPARE(QList<int>({update.count(), edited.count()}), QList<int>({1, 1}));
        const KorvaneLayerView sent = lastView(update);
        QCOMPARE(QList<int>({sent.triggers.at(1).loopStart, sent.triggers.at(1).loopEnd,
                             sent.triggers.at(0).loopStart}),
                 QList<int>({8000 - 100, 8000, 2000}));

        // Dragged back, it stops at frame 0.
        const QPointF nearA2 = atFrame(w, 1, 7900);
        drag(&w, nearA2, nearA2 - QPointF(500, 0));
        QCOMPARE(lastView(update).triggers.at(1).loopStart, 0);

        // The other row, once selected: loop end with Shift, 4000 frames per 15 pixels, held
        // above the loop start, then capped at the last frame.
        click(&w, at(w, 0, 0.5, 0.5));
        update.clear();
        const QPointF nearB = atFrame(w, 0, 7950);
        mouse(&w, QEvent::MouseButtonPress, nearB);
        QCOMPARE(w.activeDrag(), KorvaneSamplerWidget::Drag::LoopEnd);
        mouse(&w, QEvent::MouseMove, nearB - QPointF(15, 0), Qt::ShiftModifier);
        QCOMPARE(w.layerView().triggers.at(0).loopEnd, 4000);
        mouse(&w, QEvent::MouseMove, nearB - QPointF(60, 0), Qt::ShiftModifier);
        QCOMPARE(w.layerView().triggers.at(0).loopEnd, 2000 + 100);
        mouse(&w, QEvent::MouseMove, nearB + QPointF(200, 0));
        mouse(&w, QEvent::MouseButtonRelease, nearB + QPointF(200, 0));
        QCOMPARE(lastView(update).triggers.at(0).loopEnd, kFrames - 1);

        // Start marker near frame 0.
        const QPointF nearStart = atFrame(w, 0, 50);
        QCOMPARE(drag(&w, nearStart, nearStart + QPointF(15, 0)),
                 KorvaneSamplerWidget::Drag::Start);
        QCOMPARE(lastView(update).triggers.at(0).start, 500);
    }
    void keyZoneFollowsMapping()
    {
        Sampler w(3);
        QSignalSpy editor(&w, SIGNAL(OpenBaseNumberEditor(int, double)));
        QSignalSpy update(&w, SIGNAL(SendLayerUpdate(KorvaneLayerView)));
        const QPointF keyZone = at(w, 2, 0.8, 0.25);

        click(&w, keyZone); // selects
        QCOMPARE(editor.count(), 0);
        click(&w, keyZone); // Automatic: frequency editor for that sample
        QCOMPARE(editor.count(), 1);
        QCOMPARE(editor.last().at(0).toInt(), 2);
        QCOMPARE(editor.last().at(1).toDouble(), 222.0);
        QCOMPARE(update.count(), 0);

        // The editor's answer commits the new frequency; an unknown sample is ignored.
        w.setBaseNumber(2, 440.5);
        QCOMPARE(update.count(), 1);
        QCOMPARE(lastView(update).triggers.at(2).baseFrequency, 440.5);
        w.setBaseNumber(3, 100.0);
        w.setBaseNumber(-1, 100.0);
        QCOMPARE(update.count(), 1);

        // Manual: the same press drags the key, one step per 15 pixels upward.
        w.setFromLayerView(makeView(3, 1));
        QCOMPARE(drag(&w, keyZone, keyZone - QPointF(0, 45)), KorvaneSamplerWidget::Drag::Key);
        QCOMPARE(editor.count(), 1);
        QCOMPARE(lastView(update).triggers.at(2).key, 62 + 3);

        // Dragged far down, the key stops at 0.
        drag(&w, keyZone, keyZone + QPointF(0, 5000));
        QCOMPARE(lastView(update).triggers.at(2).key, 0);
    }
    void loopCycleNeedsSelection()
    {
        Sampler w(2);
        QSignalSpy update(&w, SIGNAL(SendLayerUpdate(KorvaneLayerView)));
        const QPointF loopZone = at(w, 0, 0.8, 0.75);
        click(&w, loopZone);
        QCOMPARE(update.count(), 0);
        for (int expected : {1, 2, 3, 0}) {
            click(&w, loopZone);
            QCOMPARE(lastView(update).triggers.at(0).loop, expected);
        }
        // A double-click is two presses: two steps.
        mouse(&w, QEvent::MouseButtonPress, loopZone);
        mouse(&w, QEvent::MouseButtonRelease, loopZone);
        mouse(&w, QEvent::MouseButtonDblClick, loopZone);
        mouse(&w, QEvent::MouseButtonRelease, loopZone);
        QCOMPARE(lastView(update).triggers.at(0).loop, 2);
    }
    void previewDeleteAndVolume()
    {
        Sampler w(6);
        QSignalSpy play(&w, SIGNAL(PreviewPlay(int)));
        QSignalSpy stop(&w, SIGNAL(PreviewStop()));
        QSignalSpy del(&w, SIGNAL(DeleteSample(int)));
        QSignalSpy update(&w, SIGNAL(SendLayerUpdate(KorvaneLayerView)));
        wheel(&w, -120); // rows now show samples 1..4

        mouse(&w, QEvent::MouseButtonPress, at(w, 1, 0.95, 0.25));
        QCOMPARE(play.count(), 1);
        QCOMPARE(play.last().at(0).toInt(), 102); // the sample id of trigger 2
        QCOMPARE(stop.count(), 0);
        mouse(&w, QEvent::MouseButtonRelease, at(w, 1, 0.95, 0.25));
        QCOMPARE(stop.count(), 1);

        click(&w, at(w, 3, 0.95, 0.75));
        QCOMPARE(del.count(), 1);
        QCOMPARE(del.last().at(0).toInt(), 4); // the trigger index, not the sample id
        QCOMPARE(update.count(), 0);

        // Volume: 0.2 of a step per pixel upward, from volume x 127.
        const QPointF vol = at(w, 0, 0.05, 0.5);
        click(&w, vol);
        QCOMPARE(drag(&w, vol, vol + QPointF(0, 127 * 5 / 2)), KorvaneSamplerWidget::Drag::Volume);
        QVERIFY(qAbs(lastView(update).triggers.at(1).volume - 0.5f) < 0.01f);
        drag(&w, vol, vol + QPointF(0, 5000));
        QCOMPARE(lastView(update).triggers.at(1).volume, 0.0f);
    }
    void paintsRowsOnImage()
    {
        Sampler w(3, 0, 300);
        click(&w, at(w, 1, 0.5, 0.1));
        QImage image(w.size(), QImage::Format_ARGB32);
        image.fill(Qt::black);
        w.paintTo(&image);
        // Unselected rows keep the background, the selected one is highlighted, and the
        // waveform is drawn in the middle of each row.
        const QColor background(220, 220, 230);
        QCOMPARE(image.pixelColor(at(w, 0, 0.66, 0.03).toPoint()), background);
        QVERIFY(image.pixelColor(at(w, 1, 0.66, 0.03).toPoint()) != background);
        int dark = 0;
        for (int x = int(0.2 * w.sampleAreaWidth()); x < int(0.6 * w.sampleAreaWidth()); ++x)
            dark += image.pixelColor(x, 150).lightness() < 120 ? 1 : 0;
        QVERIFY(dark > 50);
    }
    void editorSignals()
    {
        KorvaneSoundEditView edit;
        QSignalSpy reverb(&edit, SIGNAL(SendReverbAmount(float)));
        QSignalSpy attack(&edit, SIGNAL(SendEnvelopeAttack(int)));
        QSignalSpy release(&edit, SIGNAL(SendEnvelopeRelease(int)));
        QSignalSpy mode(&edit, SIGNAL(SendSamplerMode(int)));
        QSignalSpy saveAs(&edit, SIGNAL(saveAsSound()));
        QSignalSpy freq(&edit, SIGNAL(OpenFreqNumberEditor(int, double)));
        QSignalSpy layer(&edit, SIGNAL(SendLayerUpdate(KorvaneLayerView)));
        QStringList order;
        connect(&edit, &KorvaneSoundEditView::flushMemory, [&] { order << "flush"; });
        connect(&edit, &KorvaneSoundEditView::NewSound, [&] { order << "new"; });
        connect(&edit, &KorvaneSoundEditView::startRecord, [&] { order << "record"; });
        connect(&edit, &KorvaneSoundEditView::stopRecord, [&] { order << "stop"; });
        auto slider = [&](const char *name) { return edit.findChild<QSlider *>(name); };

        // The reverb slider's -100..100 is sent as -1..1.
        slider("reverbSlider")->setValue(-100);
        QCOMPARE(reverb.last().at(0).toFloat(), -1.0f);
        slider("reverbSlider")->setValue(35);
        QCOMPARE(reverb.last().at(0).toFloat(), 0.35f);
        // The controls connected by name reach their signals.
        slider("attackSlider")->setValue(300);
        edit.findChild<QComboBox *>("samplerModeBox")->setCurrentIndex(1);
        press(&edit, "soundSaveAsButton");
        QCOMPARE(
            QList<int>({attack.last().at(0).toInt(), mode.last().at(0).toInt(), saveAs.count()}),
            QList<int>({300, 1, 1}));

        // Flush also starts a new instrument and scrolls back to the top.
        edit.samplerWidget()->setFromLayerView(makeView(5));
        edit.samplerWidget()->resetScroll();
        wheel(edit.samplerWidget(), -120);
        press(&edit, "flushMemButton");
        QCOMPARE(order, (QStringList{"flush", "new"}));
        QCOMPARE(edit.samplerWidget()->scrollIndex(), 0);

        // The record button blinks while recording; a click between the buttons does nothing.
        edit.resize(760, 700);
        KorvaneRecordIndicator *r = edit.recordIndicator();
        auto clickAt = [&](QPointF p) {
            QTest::mouseClick(r, Qt::LeftButton, Qt::NoModifier, p.toPoint());
        };
        clickAt(r->recordRect().center());
        QVERIFY(r->isRecording() && r->isBlinking());
        QImage lit(r->size(), QImage::Format_ARGB32), dim(r->size(), QImage::Format_ARGB32);
        r->paintTo(&lit);
        r->animate();
        r->paintTo(&dim);
        QVERIFY(lit != dim);
        clickAt(r->stopRect().center());
        QVERIFY(!r->isRecording() && !r->isBlinking());
        clickAt(QPointF(r->recordRect().right() + r->stopRect().left(), r->height()) / 2);
        QCOMPARE(order.mid(2), (QStringList{"record", "stop"}));
        r->toggle(true);
        edit.RecordEnded();
        QVERIFY(!r->isRecording());

        // The sampler widget speaks through the dialog.
        edit.setSampleBaseFreq(1, 330.0);
        QCOMPARE(lastView(layer).triggers.at(1).baseFrequency, 330.0);
        edit.getLayerView(makeView(2, 0));
        KorvaneSamplerWidget *w = edit.samplerWidget();
        const QRectF key = w->zoneRect(0, KorvaneSamplerWidget::Zone::KeyFrequency);
        click(w, key.center());
        click(w, key.center());
        QCOMPARE(freq.count(), 1);

        // What the hub reports is shown, and showing it sends nothing back.
        attack.clear(), reverb.clear();
        edit.setEnvelope(KorvaneEnvelope{100, 20, 0.9f, 900});
        edit.setReverb(-0.57f);
        QCOMPARE(QList<int>({slider("attackSlider")->value(), slider("releaseSlider")->value(),
                             slider("reverbSlider")->value()}),
                 QList<int>({100, 900, -57}));
        QCOMPARE(attack.count() + release.count() + reverb.count(), 0);

        // A new mode from the hub moves the combo and is reported back; the same mode is not.
        mode.clear();
        edit.getLayerView(makeView(2, 1));
        edit.getLayerView(makeView(2, 1));
        QCOMPARE(mode.count(), 1);
        QCOMPARE(edit.samplerWidget()->triggerCount(), 2);
    }

private:
    // The point inside visible row r at fractions fx of the sample area and fy of the row.
    static QPointF at(const KorvaneSamplerWidget &w, int r, double fx, double fy)
    {
        const QRectF row = w.rowRect(r);
        return QPointF(w.sampleAreaWidth() * fx, row.top() + row.height() * fy);
    }
    static QPointF atFrame(const KorvaneSamplerWidget &w, int r, double frame)
    {
        const QRectF wave = w.zoneRect(r, KorvaneSamplerWidget::Zone::Waveform);
        return QPointF(wave.left() + wave.width() * frame / kFrames, wave.center().y());
    }
};

QTEST_MAIN(TestSoundEdit)
#include "tst_soundedit.moc"
