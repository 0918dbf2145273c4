// Import and export on their own: where the dialogs open, what a finished, refused or empty
// import leaves behind, and the question before an export replaces files.
#include "app/importexport.h"
#include "audio/korvaneaudioengine.h"
#include "core/korvanecore.h"
#include "dialogs/korvanesoundeditview.h"
#include "tests/support/audiofiles.h"
#include "tests/support/hubtestenv.h"
#include "tests/support/testfiles.h"

#include <QApplication>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

class TestImportExport : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        env = std::make_unique<HubTestEnv>();
        hub = std::make_unique<KorvaneCore>();
        hub->StartEngines();
        window = std::make_unique<QWidget>();
        editor = std::make_unique<KorvaneSoundEditView>();
        transfer = std::make_unique<ImportExport>(hub.get(), editor.get(), window.get());
    }
    void cleanup()
    {
        transfer.reset();
        editor.reset();
        window.reset();
        hub->ShutDown();
        hub.reset();
        env.reset();
    }
    void importAddsOrTellsWhy()
    {
        QSignalSpy imported(transfer.get(), &ImportExport::imported);
        QSignalSpy finished(hub.get(), &KorvaneCore::ImportFinished);
        transfer->importFiles({});
        QVERIFY(!transfer->progressDialog());

        // A readable file: the progress opens over the window (the editor is hidden), the
        // instrument grows and is marked changed, and no box is left.
        const QString good = files.filePath("Good.wav");
        QVERIFY(audiofiles::write(good, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 1,
                                  audiofiles::sines({440.0}, {0.5}, 44100, 8000)));
        const int samples = hub->audio()->sampleCount();
        transfer->importFiles({good});
        QVERIFY(transfer->progressDialog());
        QCOMPARE(transfer->progressDialog()->parentWidget(), window.get());
        QVERIFY(finished.wait(20000));
        QCOMPARE(imported.count(), 1);
        QCOMPARE(hub->audio()->sampleCount(), samples + 1);
        QVERIFY(!transfer->progressDialog());
        QVERIFY(!transfer->errorBox());

        // A file that cannot be read: a box over the editor says why, nothing is marked changed.
        const QString junk = files.filePath("junk.wav");
        QVERIFY(testfiles::write(junk, "RIFF....WAVEnot really"));
        editor->show();
        transfer->importFiles({junk});
        QCOMPARE(transfer->progressDialog()->parentWidget(), editor.get());
        QVERIFY(finished.wait(20000));
        QCOMPARE(imported.count(), 1);
        QMessageBox *box = transfer->errorBox();
        QVERIFY(box);
        QCOMPARE(box->parentWidget(), editor.get());
        QCOMPARE(box->text(), QString("The samples were not imported."));
        QVERIFY(box->informativeText().startsWith("junk.wav cannot be imported"));
        // The next import clears the old box.
        transfer->importFiles({good});
        QVERIFY(finished.wait(20000));
        QVERIFY(!transfer->errorBox());
    }
    void exportNamesTheFolderAndAsksBeforeReplacing()
    {
        // An unnamed instrument is exported as "User instrument".
        QVERIFY(transfer->exportTo(files.path(), "  "));
        QVERIFY(QFileInfo::exists(files.filePath("User instrument/User instrument.sfz")));

        // A second export into the same place asks first; "No" writes nothing, "Yes" replaces.
        QFile::remove(files.filePath("User instrument/User instrument.sfz"));
        for (auto answer : {QMessageBox::No, QMessageBox::Yes}) {
            QStringList asked;
            QTimer::singleShot(50, [&] {
                if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                    asked << box->text();
                    box->button(answer)->click();
                }
            });
            QCOMPARE(transfer->exportTo(files.path(), ""), answer == QMessageBox::Yes);
            QCOMPARE(asked.size(), 1);
            QVERIFY(asked[0].endsWith(" exists; its files of the same names will be replaced."));
            QCOMPARE(QFileInfo::exists(files.filePath("User instrument/User instrument.sfz")),
                     answer == QMessageBox::Yes);
        }
    }

private:
    std::unique_ptr<HubTestEnv> env;
    std::unique_ptr<KorvaneCore> hub;
    std::unique_ptr<QWidget> window;
    std::unique_ptr<KorvaneSoundEditView> editor;
    std::unique_ptr<ImportExport> transfer;
    QTemporaryDir files;
};

QTEST_MAIN(TestImportExport)
#include "tst_importexport.moc"
