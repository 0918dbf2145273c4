// From the window: importing files into the sound editor (with progress, cancel and refusal),
// exporting the instrument, the last recording's pictures, and the nearest map.
#include "app/importexport.h"
#include "audio/recordinganalysis.h"
#include "core/mapfile.h"
#include "dialogs/korvanerecordingview.h"
#include "dialogs/korvanesamplerwidget.h"
#include "dialogs/korvanesoundeditview.h"
#include "tests/support/audiofiles.h"
#include "tests/support/editortestkit.h"
#include "tests/support/filedialoganswer.h"
#include "tests/support/windowtestenv.h"

namespace {

bool near(double a, double b, double tolerance)
{
    return std::fabs(a - b) <= tolerance;
}

// Changes sensor i so that it no longer matches.
void alter(KorvaneSensorsState &s, int i)
{
    KorvaneSensorNode &n = s.nodes[size_t(i)];
    n.type = n.type == NodeControlChange ? NodeNote : NodeControlChange;
}

} // namespace

class TestBeyondWindow : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        env.renew();
        files = std::make_unique<QTemporaryDir>();
        window = env.window.get();
        hub = env.hub;
        editor = window->soundEditView();
    }
    void cleanup()
    {
        env.reset();
        files.reset();
    }
    void importFromTheEditor()
    {
        const QString marimba = files->filePath("Marimba C3.wav");
        const QString bell = files->filePath("Bell.flac");
        QVERIFY(audiofiles::write(marimba, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 1,
                                  audiofiles::sines({130.81}, {0.7}, 44100, 44100)));
        // Stereo at 48 kHz with different sides.
        QVERIFY(audiofiles::write(bell, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 48000, 2,
                                  audiofiles::sines({523.25, 523.25}, {0.6, 0.2}, 48000, 24000)));
        window->OpenSoundEdit();

        // A file that cannot be read changes nothing; a box over the editor names the file and
        // says that nothing changed.
        const QString junk = files->filePath("junk.wav");
        QVERIFY(testfiles::write(junk, "RIFF....WAVEnot really"));
        const QStringList before = sampleNames();
        const int nextId = hub->audio()->nextSampleId();
        QSignalSpy finished(hub, &KorvaneCore::ImportFinished);
        window->ImportFiles({marimba, junk});
        QVERIFY(finished.wait(20000));
        QCOMPARE(finished.first().at(0).toBool(), false);
        QCOMPARE(sampleNames(), before);
        QCOMPARE(hub->audio()->nextSampleId(), nextId);
        QVERIFY(!window->isUnsaved());
        QMessageBox *box = window->importMessage();
        QVERIFY(box);
        QCOMPARE(box->parentWidget(), editor);
        QCOMPARE(box->text(), QString("The samples were not imported."));
        QVERIFY(box->informativeText().startsWith("junk.wav cannot be imported"));
        QVERIFY(box->informativeText().endsWith("Nothing was imported."));
        QTRY_VERIFY(box->isVisible());
        box->accept();

        // Both files are read: samples named after the files.
        hub->FlushMemory(); // a new instrument: ids start from 0
        finished.clear();
        answerFileDialog(files->path(), "\"Marimba C3.wav\" \"Bell.flac\"");
        QTest::mouseClick(editor->findChild<QPushButton *>("importButton"), Qt::LeftButton);
        QVERIFY(finished.wait(20000) || finished.size() == 1);
        QCOMPARE(finished.first().at(0).toBool(), true);
        KorvaneLayerView view = hub->audio()->getLayerView();
        QCOMPARE(view.names, QStringList({"0 Marimba C3.wav", "1 Bell.flac"}));
        QCOMPARE(editor->samplerWidget()->triggerCount(), 2);
        QVERIFY(window->isUnsaved());
        QCOMPARE(status(), QString("Imported 2 samples"));
        QVERIFY(!window->importMessage()); // the old box went with the next import
        // The spectrum of the last estimate is on show, with its peak at the estimate's bin,
        // which became the sample's base frequency.
        QVERIFY(near(editor->recordingView()->peakFrequency(), view.triggers[1].baseFrequency,
                     0.5 * 44100.0 / 32768.0));

        // Per-key mode keys imports like recordings: the next sensors' notes. Mixed to mono.
        hub->setSamplerMode(1);
        editor->findChild<QCheckBox *>("importMonoBox")->setChecked(true);
        finished.clear();
        window->ImportFiles({bell, marimba});
        QVERIFY(finished.wait(20000));
        view = hub->audio()->getLayerView();
        const KorvaneSensorsState map = hub->GetState(0);
        QCOMPARE(QList<int>({view.triggers[2].key, view.triggers[3].key}),
                 QList<int>({map.nodes[1].note, map.nodes[2].note}));
        for (const StereoFrame &f : hub->audio()->sampleAt(2).frames)
            QCOMPARE(f[0], f[1]);
    }
    void longImportShowsProgressAndCancels()
    {
        // Four times a 50-second stereo file at 48 kHz: a few seconds of resampling.
        const QString longFile = files->filePath("Long.wav");
        QVERIFY(
            audiofiles::write(longFile, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 2,
                              audiofiles::sines({220.0, 330.0}, {0.5, 0.5}, 48000, 48000 * 50)));
        window->ImportFiles({});
        QVERIFY(!window->importProgressDialog());
        QSignalSpy finished(hub, &KorvaneCore::ImportFinished);
        // The progress dialog's Cancel button, over the window (no editor open).
        window->ImportFiles({longFile, longFile, longFile, longFile});
        QPointer<QProgressDialog> progress = window->importProgressDialog();
        QVERIFY(progress);
        QCOMPARE(progress->parentWidget(), window);
        QTRY_VERIFY_WITH_TIMEOUT(progress && progress->isVisible(), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(!progress || progress->labelText().contains(" of 4)"), 20000);
        QVERIFY2(finished.isEmpty(), "the import ended before it could be cancelled");
        QTest::mouseClick(progress->findChild<QPushButton *>(), Qt::LeftButton);
        QVERIFY(finished.wait(30000));
        QCOMPARE(finished.first().at(0).toBool(), false);
        QCOMPARE(status(), QString("Import cancelled. Nothing was imported."));
        QVERIFY(!window->importMessage()); // the user's own cancel needs no box
        QTRY_VERIFY(!progress);
    }
    void exportFromTheEditor()
    {
        hub->LoadSound(MainWindow::testSoundFile(hub->GetDataPath(), 2)); // Flute, 7 samples
        window->OpenSoundEdit();
        answerFileDialog(files->path(), files->path());
        QTest::mouseClick(editor->findChild<QPushButton *>("exportButton"), Qt::LeftButton);
        const QString folder = files->filePath("Flute");
        QTRY_VERIFY(QFileInfo::exists(folder + "/Flute.sfz"));
        QVERIFY(editor->findChild<QLabel *>("sampletMSG")
                    ->text()
                    .startsWith("Exported 7 samples and Flute.sfz"));
        // A second export into the same folder asks first: No writes nothing, Yes replaces.
        QFile::remove(folder + "/Flute.sfz");
        for (auto answer : {QMessageBox::No, QMessageBox::Yes}) {
            BoxAnswerer box(answer);
            QCOMPARE(window->ExportSoundTo(files->path()), answer == QMessageBox::Yes);
            QCOMPARE(box.texts.size(), 1);
            QVERIFY(
                box.texts[0].endsWith(" exists; its files of the same names will be replaced."));
            QCOMPARE(QFileInfo::exists(folder + "/Flute.sfz"), answer == QMessageBox::Yes);
        }
        // An unnamed instrument is exported as "User instrument".
        QVERIFY(ImportExport(hub, editor, window).exportTo(files->path(), "  "));
        QVERIFY(QFileInfo::exists(files->filePath("User instrument/User instrument.sfz")));
    }
    void recordingShownInTheEditor()
    {
        // Half a second of quiet noise, a second of 440 Hz, half a second of quiet again.
        std::vector<double> input(88200);
        for (int i = 0; i < 88200; ++i)
            input[size_t(i)] = i >= 22050 && i < 66150
                                   ? 0.6 * std::sin(2.0 * M_PI * 440.0 * (i - 22050) / 44100.0)
                                   : 0.001 * ((i * 7919) % 13 - 6);
        const RecordingCut cut = cutRecording(input);
        std::vector<StereoFrame> taken;
        for (double v : cut.taken)
            taken.push_back({float(v), float(v)});
        const FrequencyEstimate expected = estimateFrequency(taken, 44100.0);

        window->OpenSoundEdit();
        KorvaneRecordingView *view = editor->recordingView();
        hub->StartRecord();
        hub->audio()->appendInput(input.data(), int(input.size()));
        hub->EndRecord();

        // What the engine published is kept after its buffers are gone: quiet before the onset,
        // loud inside.
        QVERIFY(view->hasRecording() && view->hasSpectrum());
        QCOMPARE(QList<int>({view->recordingFrames(), view->onsetFrame(), view->endFrame(),
                             view->peakBin()}),
                 QList<int>({int(input.size()), cut.start, cut.end, expected.peakIndex}));
        QVERIFY(view->levelPoints().at(100) < 0.05f);
        QVERIFY(view->levelPoints().at(512) > 0.9f);

        // The markers are drawn where they belong.
        QImage image(800, 160, QImage::Format_ARGB32);
        QPainter p(&image);
        const QRectF area(0, 0, 800, 160);
        view->paintTo(p, area);
        p.end();
        const int y = int(KorvaneRecordingView::levelPlot(area).center().y());
        const QRgb onset = image.pixel(int(std::floor(view->onsetX(area))), y);
        const QRgb end = image.pixel(int(std::floor(view->endX(area))), y);
        const QRgb peak = image.pixel(int(std::floor(view->peakX(area))),
                                      int(KorvaneRecordingView::spectrumPlot(area).bottom()) - 3);
        QVERIFY2(qGreen(onset) > 120 && qRed(onset) < 100, qPrintable(QString::number(onset, 16)));
        QVERIFY2(qRed(end) > 160 && qGreen(end) < 110, qPrintable(QString::number(end, 16)));
        QVERIFY2(qBlue(peak) > 160 && qRed(peak) < 100, qPrintable(QString::number(peak, 16)));
    }
    void nearestMapOutlinesSensors()
    {
        // The device runs the start-up map with four sensors changed; Stage differs from that
        // in two more. (Which map is nearest is the map library's to choose.)
        const QString stageFile = hub->GetDataPath() + "/maps/Stage.kvs";
        KorvaneSensorsState device = hub->GetState(0);
        for (int i : {10, 11, 12, 13})
            alter(device, i);
        KorvaneSensorsState stage = device;
        alter(stage, 3);
        alter(stage, 7);
        QVERIFY(testfiles::write(stageFile, MapFile::serialize(stage, 0.2f, 1)));

        // Rings around sensors 3 and 7 only.
        KorvaneHandWidget *hand = window->handWidget();
        hub->LoadStateFromSysEx(device);
        QCOMPARE(status(), QString("Nearest map: Stage, 2 sensors differ"));
        QCOMPARE(hand->outlinedSensors(), QList<int>({3, 7}));
        QImage image(KorvaneHandWidget::kCanvasWidth, KorvaneHandWidget::kCanvasHeight,
                     QImage::Format_ARGB32);
        hand->paintTo(&image);
        for (int i : {3, 4, 7, 8}) {
            const KorvaneHandWidget::HandNode &n = hand->node(i);
            const QRgb c = image.pixel(n.x + 65, n.y);
            const bool ring = qRed(c) < 60 && qGreen(c) > 160 && qBlue(c) > 210;
            QVERIFY2(ring == (i == 3 || i == 7), qPrintable(QString::number(i)));
        }

        // A match draws no rings; loading a map clears them too.
        hub->LoadStateFromSysEx(stage);
        QVERIFY(hand->outlinedSensors().isEmpty());
        hub->LoadStateFromSysEx(device);
        QVERIFY(!hand->outlinedSensors().isEmpty());
        QVERIFY(hub->LoadState(stageFile));
        QVERIFY(hand->outlinedSensors().isEmpty());
    }

private:
    QString status() const { return env.text("statuslabel"); }
    QStringList sampleNames() const { return hub->audio()->getLayerView().names; }

    WindowTestEnv env;
    std::unique_ptr<QTemporaryDir> files;
    MainWindow *window = nullptr;
    KorvaneCore *hub = nullptr;
    KorvaneSoundEditView *editor = nullptr;
};

QTEST_MAIN(TestBeyondWindow)
#include "tst_beyondwindow.moc"
