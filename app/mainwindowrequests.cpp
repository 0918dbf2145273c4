// The window's slots that pass the browsers', the sound editor's and the menus' file,
// instrument, folder, import, export and .syx requests on to the classes that serve them.
#include "app/mainwindow.h"

#include "app/filerequests.h"
#include "app/importexport.h"
#include "app/instrumentguard.h"
#include "app/syxrequests.h"
#include "core/korvanecore.h"
#include "dialogs/korvanepatchview.h"
#include "dialogs/korvanesoundeditview.h"
#include "dialogs/korvanesoundview.h"

// ---- file, instrument and folder requests ----

void MainWindow::FlushMemorySelected(int i)
{
    requests->flushSelected(i);
}

void MainWindow::FlushMemoryAsk()
{
    requests->flushAll();
}

void MainWindow::FlushPreviousAsk()
{
    requests->flushPrevious();
}

void MainWindow::SaveState(QString filename)
{
    requests->saveMap(filename);
}

void MainWindow::DeleteState(QString filename)
{
    requests->deleteMap(filename);
}

void MainWindow::NewState(QString path)
{
    requests->newMap(path);
}

void MainWindow::RenameState(QString filename)
{
    requests->renameMap(filename);
}

void MainWindow::ReceiveName(int mode, QString text)
{
    requests->receiveName(mode, text);
}

void MainWindow::OpenSoundSaveAs(bool isnew)
{
    requests->openSoundSaveAs(isnew);
}

void MainWindow::SaveSound(QString soundName)
{
    requests->saveSound(soundName);
}

void MainWindow::NewSound(QString path)
{
    requests->newSound(path);
}

void MainWindow::RenameSound(QString filename)
{
    requests->renameSound(filename);
}

void MainWindow::NewFolder(QString path)
{
    requests->newFolder(path);
}

void MainWindow::DeleteFolder(QString path)
{
    requests->deleteFolder(path);
}

void MainWindow::RenameFolder(QString path)
{
    requests->renameFolder(path);
}

void MainWindow::ProcessSoundSave()
{
    requests->saveCurrentSound();
}

void MainWindow::ProcessSoundSaveAs()
{
    requests->openSoundSaveAs(false);
}

void MainWindow::DeleteSound(QString filename)
{
    requests->deleteSound(filename);
}

void MainWindow::OpenSoundEdit()
{
    hub->getLayerView();
    soundEditor->show();
    soundEditor->raise();
}

// Controller actions step through the sound browser's current folder, mid-performance: no
// dialog may open.
void MainWindow::NextSound()
{
    instrumentGuard->fromDevice([this] { soundBrowser->NextSound(); });
}

void MainWindow::PrevSound()
{
    instrumentGuard->fromDevice([this] { soundBrowser->PrevSound(); });
}

// ---- sample import and export ----

void MainWindow::ImportSamples()
{
    transfer->chooseFilesToImport();
}

void MainWindow::ImportFiles(QStringList files)
{
    transfer->importFiles(files);
}

void MainWindow::ExportSound()
{
    transfer->chooseExportFolder(requests->currentSound());
}

bool MainWindow::ExportSoundTo(QString parentFolder)
{
    return transfer->exportTo(parentFolder, requests->currentSound());
}

void MainWindow::backUpToSyx()
{
    syx->backUpToSyx();
}

void MainWindow::restoreFromSyx()
{
    syx->restoreFromSyx();
}
