#include "app/mainwindow.h"
#include "core/datapaths.h"

#include <QApplication>
#include <QSurfaceFormat>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    DataPaths::setApplicationNames();
    QApplication::setApplicationDisplayName(QStringLiteral("VARNO Control"));

    // Multisampling for every GL view; must be set before the first GL widget exists.
    QSurfaceFormat format;
    format.setSamples(4);
    QSurfaceFormat::setDefaultFormat(format);

    auto *window = new MainWindow();
    window->show();
    const int result = app.exec();
    delete window; // shuts the engines down
    return result;
}
