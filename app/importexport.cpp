#include "app/importexport.h"

#include "app/filerequests.h"
#include "audio/sfzexport.h"
#include "core/korvanecore.h"
#include "dialogs/korvanesoundeditview.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressDialog>

#include <algorithm>

ImportExport::ImportExport(KorvaneCore *hub, KorvaneSoundEditView *editor, QWidget *window)
    : QObject(window), hub(hub), editor(editor), window(window)
{
    connect(hub, &KorvaneCore::ImportProgress, this, &ImportExport::showProgress);
    connect(hub, &KorvaneCore::ImportFinished, this, &ImportExport::finish);
}

QWidget *ImportExport::dialogOwner() const
{
    return editor->isVisible() ? static_cast<QWidget *>(editor) : window;
}

void ImportExport::chooseFilesToImport()
{
    QFileDialog dialog(dialogOwner(), QStringLiteral("Import samples"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilters(
        {QStringLiteral("Audio files (*.wav *.wave *.aif *.aiff *.aifc *.flac *.ogg *.oga "
                        "*.opus *.mp3 *.WAV *.AIF *.AIFF *.FLAC *.OGG *.MP3)"),
         QStringLiteral("All files (*)")});
    if (dialog.exec() == QDialog::Accepted)
        importFiles(dialog.selectedFiles());
}

void ImportExport::importFiles(const QStringList &files)
{
    if (files.isEmpty() || hub->IsImporting())
        return;
    if (error) {
        error->deleteLater();
        error = nullptr;
    }
    progress = new QProgressDialog(QStringLiteral("Importing samples..."), QStringLiteral("Cancel"),
                                   0, 1000, dialogOwner());
    progress->setWindowTitle(QStringLiteral("Import"));
    progress->setWindowModality(Qt::WindowModal);
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    // Short imports end before the dialog would show.
    progress->setMinimumDuration(500);
    progress->setValue(0);
    connect(progress, &QProgressDialog::canceled, hub, &KorvaneCore::CancelImport);
    hub->ImportSampleFiles(files, editor->importMixToMono());
}

void ImportExport::showProgress(int permille, const QString &text)
{
    if (!progress)
        return;
    progress->setLabelText(text);
    progress->setValue(std::clamp(permille, 0, 999));
}

void ImportExport::finish(bool ok, const QString &message)
{
    QWidget *owner = window;
    if (progress) {
        owner = progress->parentWidget();
        progress->hide();
        progress->deleteLater();
        progress = nullptr;
    }
    if (ok) {
        emit imported();
        return;
    }
    // A cancel was the user's own doing; a file that could not be read is told in a box.
    if (message.startsWith(QStringLiteral("Import cancelled")))
        return;
    error =
        new QMessageBox(QMessageBox::Warning, QStringLiteral("Import"),
                        QStringLiteral("The samples were not imported."), QMessageBox::Ok, owner);
    error->setInformativeText(message);
    error->open();
}

void ImportExport::chooseExportFolder(const QString &soundName)
{
    const QString folder = QFileDialog::getExistingDirectory(
        dialogOwner(), QStringLiteral("Export instrument into folder"), QDir::homePath(),
        QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    if (!folder.isEmpty())
        exportTo(folder, soundName);
}

bool ImportExport::exportTo(const QString &parentFolder, const QString &soundName)
{
    const QString title =
        soundName.trimmed().isEmpty() ? QStringLiteral("User instrument") : soundName;
    const QString folder = parentFolder + QStringLiteral("/") + SfzExport::safeStem(title);
    if (QFileInfo::exists(folder) &&
        !FileRequests::confirm(window, QStringLiteral("Folder ") + folder +
                                           QStringLiteral(" exists; its files of the same "
                                                          "names will be replaced.")))
        return false;
    return hub->ExportSound(folder, title);
}
