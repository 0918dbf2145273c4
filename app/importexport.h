// Sample import and SFZ export for the sound editor: the file and folder choosers, the
// import's progress dialog with its cancel, the box that tells a failed import, and the
// question before an export replaces files. Dialogs open over the sound editor while it is
// shown, else over the main window. GUI thread only.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class KorvaneCore;
class KorvaneSoundEditView;
class QMessageBox;
class QProgressDialog;
class QWidget;

class ImportExport : public QObject
{
    Q_OBJECT
public:
    // None of the objects is owned; all must outlive this one.
    ImportExport(KorvaneCore *hub, KorvaneSoundEditView *editor, QWidget *window);

    QProgressDialog *progressDialog() const { return progress; }
    QMessageBox *errorBox() const { return error; }

    void chooseFilesToImport();                        // asks for audio files, then importFiles
    void importFiles(const QStringList &files);        // reads them with progress and cancel
    void chooseExportFolder(const QString &soundName); // asks for a folder, then exportTo
    // Writes the instrument into a folder named after it inside parentFolder.
    bool exportTo(const QString &parentFolder, const QString &soundName);

signals:
    void imported(); // samples were added to the instrument

private:
    QWidget *dialogOwner() const;
    void showProgress(int permille, const QString &text);
    void finish(bool ok, const QString &message);

    KorvaneCore *hub;
    KorvaneSoundEditView *editor;
    QWidget *window;
    QProgressDialog *progress = nullptr;
    QMessageBox *error = nullptr;
};
