// Starts the main window as the program does and saves PNG pictures of both tabs and of the
// dialogs into a folder. Meant to run under xvfb-run (see scripts/screenshot).
// Usage: varno-screenshot OUTDIR
#include "app/mainwindow.h"
#include "core/datapaths.h"
#include "core/korvanecore.h"
#include "dialogs/aboutdialog.h"
#include "dialogs/namedialog.h"
#include "dialogs/numberedit.h"
#include "hand/korvanehandwidget.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QScreen>
#include <QSurfaceFormat>
#include <QTabWidget>
#include <QTimer>
#include <QWindow>

#include <cstdio>

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

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    DataPaths::setApplicationNames();
    QApplication::setApplicationDisplayName(QStringLiteral("VARNO Control"));
    if (argc != 2) {
        std::fprintf(stderr, "usage: varno-screenshot OUTDIR\n");
        return 2;
    }
    outDir = QString::fromLocal8Bit(argv[1]);
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

        tabs->setCurrentIndex(0);
        ok &= save(&window, QStringLiteral("mapping"));

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
