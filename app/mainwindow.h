// The main window: two tabs ("Mapping" and "Settings") whose controls turn into hub calls,
// and the views of what the hub reports. Owns the hub and the secondary windows and wires
// them together; the tabs, the file requests and import/export are handled by one class
// each, which these slots hand over to. GUI thread only.
#pragma once

#include "base/korvanerecords.h"
#include "base/samplertypes.h"

#include <QItemSelection>
#include <QMainWindow>
#include <QString>

#include <memory>

class AboutDialog;
class DeviceStatusPart;
class EditHistory;
class FileRequests;
class ImportExport;
class InstrumentGuard;
class MidiPortBackend;
class QuitGuard;
class KorvaneCore;
class KorvaneHandWidget;
class KorvaneNodeView;
class KorvanePatchView;
class KorvaneSoundEditView;
class KorvaneSoundView;
class MainMenus;
class MappingTabController;
class MidiPortBackend;
class NameDialog;
class NumberEdit;
class QMessageBox;
class QProgressDialog;
class SettingsTabController;
class WindowFrame;
class SyxRequests;
struct MainWindowForm;

class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
    // Talks to the device through the given MIDI port backend (tests, emulation).
    explicit MainWindow(std::unique_ptr<MidiPortBackend> midiBackend, QWidget *parent = nullptr);
    ~MainWindow() override;

    KorvaneCore *core() const { return hub; }
    KorvaneHandWidget *handWidget() const;
    NameDialog *nameDialog() const { return name; }
    NumberEdit *numberEditor() const { return numedit; }
    AboutDialog *aboutDialog() const { return about; }
    KorvaneNodeView *nodeView() const { return nodeDialog; }
    KorvaneSoundView *soundView() const { return soundBrowser; }
    KorvanePatchView *patchView() const { return patchBrowser; }
    KorvaneSoundEditView *soundEditView() const { return soundEditor; }
    EditHistory *editHistory() const { return history; }
    bool isNewSoundPending() const;
    QString currentSoundName() const;
    int getKeyOffset() const;
    int getOctaveCounter() const;
    bool isUnsaved() const;
    QString styleSheetText() const { return styleText; }
    QProgressDialog *importProgressDialog() const;
    QMessageBox *importMessage() const;
    // The menu bar (its Edit menu and .syx requests are for the undo and backup work) and
    // the status bar's device part.
    MainMenus *menus() const;
    DeviceStatusPart *deviceStatus() const;
    SyxRequests *syxRequests() const { return syx; }

    // The preset instrument that the test-sound choice index plays.
    static QString testSoundFile(const QString &dataPath, int index);

public slots:
    // Every way of quitting asks here first: unsaved instrument changes, then the uploads
    // still queued. True when the program may end now.
    bool confirmQuit();
    // An instrument load asked for in the sound browser (or by the device, through it).
    void LoadSound(QString filename);

    // Reached by the hub and the other windows.
    void GenerateScale(int nro);
    void scaleGeneration(int nro);
    void ProcessSamplerMode(int mode);
    void ProcessPreviewPlay(int sample_id);
    void ProcessPreviewStop();
    void ProcessLayerUpdate(KorvaneLayerView view);
    void EndRecord();
    void ReadyRecSampler();
    void SoundLoadComplete();
    void LoadComplete();
    void SysExLoadComplete();
    void UpdateSettingsUI(KorvaneCalibration calib);
    void UpdateBendUI(KorvaneBendSettings) {}
    void OpenNodeView(int node_i);
    void UpdateNode(KorvaneSensorNode node, int node_i);
    void removeGlobalBend();
    void reSendMapping();
    void setMainMessage(QString msg);
    void setMute(bool on);
    void setRemoteMapping(int mapping);
    void ShowDeviceVersionNumber(int nro);
    void ShowVersionError();
    void setReverbParameters(KorvaneSamplerReverb reverb);
    void setEnvelopeParameters(KorvaneEnvelope envelope);
    void setReverbAmount(float amount);
    void PassEnvelopeAttack(int value);
    void PassEnvelopeRelease(int value);
    void setUnsaved();
    void setPatchName(QString filename);
    void GetMapFolder(QString name);
    void OpenNumberEditor(int target_sample, double freq);
    void UpdateDirectory();
    void CloseFileView();

    // File, instrument and folder requests.
    void FlushMemorySelected(int i);
    void FlushMemoryAsk();
    void FlushPreviousAsk();
    void SaveState(QString filename);
    void DeleteState(QString filename);
    void NewState(QString path);
    void RenameState(QString filename);
    void ReceiveName(int mode, QString text);
    void OpenSoundSaveAs(bool isnew);
    void SaveSound(QString soundName);
    void NewSound(QString path);
    void RenameSound(QString filename);
    void NewFolder(QString path);
    void DeleteFolder(QString path);
    void RenameFolder(QString path);
    void ProcessSoundSave();
    void ProcessSoundSaveAs();
    void DeleteSound(QString filename);
    void OpenSoundEdit();
    void NextSound();
    void PrevSound();

    // Sample import and SFZ export, asked for by the sound editor.
    void ImportSamples();                // asks for audio files, then ImportFiles
    void ImportFiles(QStringList files); // reads them with progress and cancel
    void ExportSound();                  // asks for a folder, then ExportSoundTo
    bool ExportSoundTo(QString parentFolder);

    // Backups of the device's configuration as .syx files.
    void backUpToSyx();    // asks where, then writes the backup
    void restoreFromSyx(); // asks which file, then checks, confirms and sends it

    // Kept for the connections that reach them; they have nothing to do.
    void UpdateView();
    void selectionChanged(QItemSelection) {}
    void setCurrentSoundName(QString) {}
    void setSamplerMessage(QString) {}
    void GetSoundFolder(QString) {}
    void getMessage(QString) {}
    void EnableMIDIConnect() {}
    void EnableMIDIDisconnect() {}
    void setWriteCountAmount(int) {}
    void setAsNewSound() {}
    void UpdateLayerView() {}

protected:
    void closeEvent(QCloseEvent *event) override;

private slots:
    // The menu's "About Korvane Control", bound by name.
    void on_actionAbout_Korvane_Control_triggered();

private:
    void showAbout();
    void setUpEditHistory();
    void addEditMenu();

    MainWindowForm *ui = nullptr;
    KorvaneCore *hub = nullptr;
    NameDialog *name = nullptr;
    NumberEdit *numedit = nullptr;
    AboutDialog *about = nullptr;
    KorvaneNodeView *nodeDialog = nullptr;
    KorvaneSoundView *soundBrowser = nullptr;
    KorvanePatchView *patchBrowser = nullptr;
    KorvaneSoundEditView *soundEditor = nullptr;
    MappingTabController *mapping = nullptr;
    SettingsTabController *settings = nullptr;
    FileRequests *requests = nullptr;
    ImportExport *transfer = nullptr;
    WindowFrame *frame = nullptr;
    EditHistory *history = nullptr;
    SyxRequests *syx = nullptr;
    InstrumentGuard *instrumentGuard = nullptr;
    QuitGuard *quitGuard = nullptr;

    QString dataPath;
    QString styleText;
};
