// Starts the main window as the program does and saves PNG pictures of both tabs and of the
// dialogs into a folder. Meant to run under xvfb-run (see scripts/screenshot).
// Usage: varno-screenshot OUTDIR
#include "app/devicestatuspart.h"
#include "app/mainmenus.h"
#include "app/mainwindow.h"
#include "audio/korvaneaudioengine.h"
#include "core/datapaths.h"
#include "core/korvanecore.h"
#include "core/mapfile.h"
#include "dialogs/aboutdialog.h"
#include "dialogs/korvanenodeview.h"
#include "dialogs/korvanepatchview.h"
#include "dialogs/korvanesamplerwidget.h"
#include "dialogs/korvanesoundeditview.h"
#include "dialogs/korvanesoundview.h"
#include "dialogs/korvanetreeview.h"
#include "dialogs/namedialog.h"
#include "dialogs/numberedit.h"
#include "hand/korvanehandwidget.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileSystemModel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QStatusBar>
#include <QSurfaceFormat>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QWheelEvent>
#include <QWindow>

#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

QString outDir;

void settle(int ms = 400)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// What the X server shows for the widget's window, so GL content is included as drawn.
bool save(QWidget *w, const QString &name)
{
    w->raise();
    w->activateWindow();
    settle();
    QScreen *screen = w->window()->windowHandle() ? w->window()->windowHandle()->screen()
                                                  : QGuiApplication::primaryScreen();
    const QPixmap shot = screen->grabWindow(w->window()->winId());
    const QString path = outDir + QLatin1Char('/') + name + QStringLiteral(".png");
    const bool ok = shot.save(path, "PNG");
    std::printf("%s %s\n", ok ? "saved" : "FAILED", qPrintable(path));
    return ok;
}

// A part of the screen, for what spans several windows (a menu open over the window).
bool saveRegion(const QRect &region, const QString &name)
{
    settle();
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(
        0, region.x(), region.y(), region.width(), region.height());
    const QString path = outDir + QLatin1Char('/') + name + QStringLiteral(".png");
    const bool ok = shot.save(path, "PNG");
    std::printf("%s %s\n", ok ? "saved" : "FAILED", qPrintable(path));
    return ok;
}

// Opens a menu of the menu bar and saves the window's top with the menu over it.
bool saveMenu(MainWindow &window, QMenu *menu, const QString &name)
{
    window.raise();
    window.activateWindow();
    settle();
    window.menuBar()->setActiveAction(menu->menuAction());
    settle();
    const QRect frame = window.frameGeometry();
    const QRect area = QRect(frame.topLeft(), QSize(frame.width(), 0)).united(menu->geometry());
    const bool ok = saveRegion(area.adjusted(0, 0, 40, 20).intersected(frame.united(area)), name);
    menu->hide();
    window.menuBar()->setActiveAction(nullptr);
    return ok;
}

// A test tone file written through libsndfile: a decaying tone with a few harmonics.
bool writeTone(const QString &path, double frequency, int rate, double seconds)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE *f = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!f)
        return false;
    const long frames = long(rate * seconds);
    std::vector<float> data(size_t(frames) * 2);
    for (long i = 0; i < frames; ++i) {
        const double t = double(i) / rate;
        double v = 0.0;
        for (int k = 1; k <= 4; ++k)
            v += std::sin(2.0 * M_PI * frequency * k * t) / k;
        data[size_t(2 * i)] = data[size_t(2 * i + 1)] = float(0.4 * v * std::exp(-2.0 * t));
    }
    const bool ok = sf_writef_float(f, data.data(), frames) == frames;
    sf_close(f);
    return ok;
}

// The screen around a window, with the menu that is open over it.
bool saveScreenArea(QWidget *w, const QString &name)
{
    settle();
    QScreen *screen = QGuiApplication::primaryScreen();
    const QRect area = w->frameGeometry();
    const QPixmap shot = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    const QString path = outDir + QLatin1Char('/') + name + QStringLiteral(".png");
    const bool ok = shot.save(path, "PNG");
    std::printf("%s %s\n", ok ? "saved" : "FAILED", qPrintable(path));
    return ok;
}

bool waitFor(QSignalSpy &spy, int ms = 60000)
{
    return !spy.isEmpty() || spy.wait(ms);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    DataPaths::setApplicationNames();
    QApplication::setApplicationDisplayName(QStringLiteral("VARNO Control"));
    QCommandLineParser parser;
    const QCommandLineOption dataDir(QStringLiteral("data-dir"),
                                     QStringLiteral("Data folder of the pictured program."),
                                     QStringLiteral("dir"));
    parser.addOption(dataDir);
    parser.addPositionalArgument(QStringLiteral("outdir"),
                                 QStringLiteral("Where the pictures go."));
    if (!parser.parse(app.arguments()) || parser.positionalArguments().size() != 1) {
        std::fprintf(stderr, "usage: varno-screenshot [--data-dir DIR] OUTDIR\n");
        return 2;
    }
    if (parser.isSet(dataDir))
        DataPaths::setDataPath(parser.value(dataDir));
    outDir = parser.positionalArguments().constFirst();
    QDir().mkpath(outDir);

    QSurfaceFormat format;
    format.setSamples(4);
    QSurfaceFormat::setDefaultFormat(format);

    bool ok = true;
    {
        MainWindow window;
        window.show();
        auto *tabs = window.findChild<QTabWidget *>(QStringLiteral("tabWidget"));
        KorvaneHandWidget *hand = window.handWidget();

        // The device emulator, when scripts/screenshot could start it, connects within a few
        // of the window's once-a-second searches and answers the firmware question.
        DeviceStatusPart *status = window.deviceStatus();
        for (int i = 0; i < 100 && !status->text().contains(QStringLiteral("firmware ")); ++i)
            settle(100);
        for (int i = 0; i < 30 && status->text().contains(QStringLiteral("firmware ?")); ++i)
            settle(100);
        std::printf("device: %s\n", qPrintable(status->text()));

        tabs->setCurrentIndex(0);
        ok &= save(&window, QStringLiteral("mapping"));
        ok &= saveRegion(
            QRect(window.statusBar()->mapToGlobal(QPoint(0, 0)), window.statusBar()->size()),
            QStringLiteral("status-bar"));
        ok &= saveMenu(window, window.menus()->fileMenu(), QStringLiteral("menu-file"));
        ok &= saveMenu(window, window.menus()->deviceMenu(), QStringLiteral("menu-device"));

        // A few sensors sounding, as the device would light them.
        const KorvaneSensorsState state = window.core()->GetState(0);
        for (int i : {5, 9, 13})
            hand->Trigger(state.nodes[i].note, true, 80 + 40 * (i % 3));
        ok &= save(&window, QStringLiteral("mapping-playing"));
        hand->ResetTriggers();

        hand->setDeviceType(1);
        ok &= save(&window, QStringLiteral("mapping-outline"));
        hand->setDeviceType(0);

        tabs->setCurrentIndex(1);
        ok &= save(&window, QStringLiteral("settings"));
        tabs->setCurrentIndex(0);

        window.aboutDialog()->setVersionLabel(QStringLiteral("No device connected"));
        window.aboutDialog()->show();
        ok &= save(window.aboutDialog(), QStringLiteral("about"));
        window.aboutDialog()->hide();

        window.nameDialog()->setMode(0);
        window.nameDialog()->setLabel(QStringLiteral("Save mapping as:maps"));
        window.nameDialog()->setText(QStringLiteral("User mapping"));
        window.nameDialog()->show();
        ok &= save(window.nameDialog(), QStringLiteral("name"));
        window.nameDialog()->hide();

        window.numberEditor()->setNumber(0, 261.63);
        window.numberEditor()->show();
        ok &= save(window.numberEditor(), QStringLiteral("number"));
        window.numberEditor()->hide();

        // The sensor edit dialog: a note sensor, an action sensor with "Bend Up", a "Gyro Bend"
        // sensor.
        KorvaneCore *hub = window.core();
        window.OpenNodeView(5);
        ok &= save(window.nodeView(), QStringLiteral("sensor-note"));
        KorvaneSensorNode bend = hub->GetNode(0);
        bend.type = NodeAction;
        bend.action = ActionBendUp;
        hub->SetNode(bend, 0);
        window.OpenNodeView(0);
        ok &= save(window.nodeView(), QStringLiteral("sensor-bend-up"));
        KorvaneSensorNode gyro = hub->GetNode(7);
        gyro.type = NodeGyroBend;
        gyro.action = 1;
        hub->SetNode(gyro, 7);
        window.OpenNodeView(7);
        ok &= save(window.nodeView(), QStringLiteral("sensor-gyro-bend"));
        window.nodeView()->hide();

        // The sound editor holding the Flute preset.
        hub->LoadSound(MainWindow::testSoundFile(hub->GetDataPath(), 2));
        window.OpenSoundEdit();
        ok &= save(window.soundEditView(), QStringLiteral("sound-editor"));
        window.soundEditView()->hide();

        // A recording: quiet, a second of a tone, quiet again; the editor draws its levels
        // with the onset and end, and the spectrum with the chosen peak.
        {
            std::vector<double> input;
            for (int i = 0; i < 22050; ++i)
                input.push_back(0.002 * std::sin(i * 0.37));
            for (int i = 0; i < 44100; ++i)
                input.push_back(0.6 * std::exp(-1.5 * i / 44100.0) *
                                (std::sin(2.0 * M_PI * 220.0 * i / 44100.0) +
                                 0.4 * std::sin(2.0 * M_PI * 440.0 * i / 44100.0)));
            for (int i = 0; i < 22050; ++i)
                input.push_back(0.002 * std::sin(i * 0.37));
            window.OpenSoundEdit();
            hub->StartRecord();
            hub->audio()->appendInput(input.data(), int(input.size()));
            hub->EndRecord();
            ok &= save(window.soundEditView(), QStringLiteral("sound-editor-recording"));
        }

        // Importing files: a long import with its progress, a file that cannot be read, then
        // two files that become samples.
        QTemporaryDir audio;
        const QString longFile = audio.filePath(QStringLiteral("Strings.wav"));
        const QString marimba = audio.filePath(QStringLiteral("Marimba C3.wav"));
        const QString bell = audio.filePath(QStringLiteral("Bell G4.wav"));
        const QString broken = audio.filePath(QStringLiteral("broken.wav"));
        writeTone(longFile, 196.0, 48000, 50.0);
        writeTone(marimba, 130.81, 48000, 1.5);
        writeTone(bell, 392.0, 44100, 1.0);
        {
            QFile f(broken);
            f.open(QIODevice::WriteOnly);
            f.write("not a sound file");
        }
        {
            QSignalSpy done(hub, &KorvaneCore::ImportFinished);
            window.ImportFiles({longFile, longFile, longFile, longFile});
            for (int i = 0; i < 100 && done.isEmpty(); ++i) {
                settle(50);
                QProgressDialog *p = window.importProgressDialog();
                if (p && p->isVisible() && p->value() > 0) {
                    ok &= save(p, QStringLiteral("sound-import-progress"));
                    p->findChild<QPushButton *>()->click();
                    break;
                }
            }
            ok &= waitFor(done);
        }
        {
            QSignalSpy done(hub, &KorvaneCore::ImportFinished);
            window.ImportFiles({marimba, broken});
            ok &= waitFor(done);
            settle();
            if (window.importMessage()) {
                ok &= save(window.importMessage(), QStringLiteral("sound-import-refused"));
                window.importMessage()->accept();
            }
        }
        {
            QSignalSpy done(hub, &KorvaneCore::ImportFinished);
            window.ImportFiles({marimba, bell});
            ok &= waitFor(done);
            // Scroll the sample list to its end, where the imported samples are.
            QWidget *list = window.soundEditView()->samplerWidget();
            for (int i = 0; i < 12; ++i) {
                const QPointF at(list->width() / 2.0, list->height() / 2.0);
                QWheelEvent wheel(at, list->mapToGlobal(at.toPoint()), QPoint(), QPoint(0, -120),
                                  Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
                QApplication::sendEvent(list, &wheel);
            }
            ok &= save(window.soundEditView(), QStringLiteral("sound-editor-imported"));
        }
        // Export of the instrument as WAV files and an SFZ file; the status line tells.
        {
            QTemporaryDir exportDir;
            window.ExportSoundTo(exportDir.path());
            ok &= save(window.soundEditView(), QStringLiteral("sound-exported"));
            window.soundEditView()->hide();
        }

        // The device runs a map that no stored map matches: the nearest one is named and the
        // sensors in which it differs are ringed.
        {
            KorvaneSensorsState device = hub->GetState(0);
            for (int i : {2, 9, 14})
                device.nodes[size_t(i)].note += 1;
            KorvaneSensorsState stage = device;
            stage.nodes[5].note += 2;
            stage.nodes[12].note += 2;
            QFile f(hub->GetDataPath() + QStringLiteral("/maps/Stage.kvs"));
            f.open(QIODevice::WriteOnly);
            f.write(MapFile::serialize(stage, 0.2f, 1));
            f.close();
            hub->LoadStateFromSysEx(device);
            ok &= save(&window, QStringLiteral("mapping-nearest"));
        }

        // Both browsers, with a few maps and a folder of instruments.
        const QString data = hub->GetDataPath();
        hub->SaveState(data + QStringLiteral("/maps/Live.kvs"));
        hub->SaveState(data + QStringLiteral("/maps/Studio.kvs"));
        QDir().mkpath(data + QStringLiteral("/sounds/Pads"));
        window.UpdateDirectory();
        window.patchView()->show();
        ok &= save(window.patchView(), QStringLiteral("map-browser"));
        window.patchView()->hide();
        window.soundView()->resize(420, 560);
        window.soundView()->show();
        settle();
        ok &= save(window.soundView(), QStringLiteral("sound-browser"));
        window.soundView()->hide();

        // The Edit menu open on a step to undo, then on the same step to redo.
        if (auto *edit = window.findChild<QMenu *>(QStringLiteral("menuEdit"))) {
            window.OpenNodeView(5);
            window.nodeView()
                ->findChild<QAbstractButton *>(QStringLiteral("noteUpButton"))
                ->click();
            window.nodeView()->hide();
            auto openEdit = [&] {
                window.raise();
                window.activateWindow();
                settle();
                const QRect at = window.menuBar()->actionGeometry(edit->menuAction());
                edit->popup(window.menuBar()->mapToGlobal(at.bottomLeft()));
            };
            openEdit();
            ok &= saveScreenArea(&window, QStringLiteral("edit-menu-undo"));
            edit->hide();
            window.findChild<QAction *>(QStringLiteral("actionUndo"))->trigger();
            openEdit();
            ok &= saveScreenArea(&window, QStringLiteral("edit-menu-redo"));
            edit->hide();
        } else {
            ok = false;
        }

        QMessageBox box(&window);
        box.setText(QStringLiteral("Version error"));
        box.setInformativeText(QStringLiteral("Version mismatch"));
        box.setStandardButtons(QMessageBox::Ok);
        box.show();
        ok &= save(&box, QStringLiteral("version-error"));
        box.hide();
    }
    return ok ? 0 : 1;
}
