// The main window: two tabs ("Mapping" and "Settings") whose controls turn into hub calls,
// and the views of what the hub reports. Owns the hub and the secondary windows and answers
// their requests. GUI thread only.
#pragma once

#include "base/samplertypes.h"
#include "base/korvanerecords.h"

#include <QItemSelection>
#include <QMainWindow>
#include <QString>

class AboutDialog;
class KorvaneCore;
class KorvaneHandWidget;
class KorvaneNodeView;
class KorvanePatchView;
class KorvaneSoundEditView;
class KorvaneSoundView;
class NameDialog;
class NumberEdit;
class QMessageBox;
class QProgressDialog;
struct MainWindowForm;

class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
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
    bool isNewSoundPending() const { return isNewSound; }
    QString currentSoundName() const { return currentSound; }
    int getKeyOffset() const { return keyOffset; }
    int getOctaveCounter() const { return octaveCounter; }
    bool isUnsaved() const { return unsaved; }
    QString styleSheetText() const { return styleText; }
    QProgressDialog *importProgressDialog() const { return importDialog; }
    QMessageBox *importMessage() const { return importError; }

    // The preset instrument that the test-sound choice index plays.
    static QString testSoundFile(const QString &dataPath, int index);

public slots:
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
    void UpdateBendUI(KorvaneBendSettings bend);
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

    // Kept for the connections that reach them; they have nothing to do.
    void UpdateView();
    void selectionChanged(QItemSelection selection);
    void setCurrentSoundName(QString name);
    void setSamplerMessage(QString message);
    void GetSoundFolder(QString path);
    void getMessage(QString message);
    void EnableMIDIConnect();
    void EnableMIDIDisconnect();
    void setWriteCountAmount(int count);
    void setAsNewSound();
    void UpdateLayerView();

private slots:
    void importProgress(int permille, QString text);
    void importFinished(bool ok, QString message);

    // Bound to the form's controls by name.
    void on_onThresholdSlider_valueChanged(int value);
    void on_onThresholdSlider_sliderMoved(int value);
    void on_offThresholdSlider_valueChanged(int value);
    void on_offThresholdSlider_sliderMoved(int value);
    void on_velocitySlider_sliderMoved(int value);
    void on_controlSlider_sliderMoved(int value);
    void on_onThresholdSlider_sliderReleased();
    void on_offThresholdSlider_sliderReleased();
    void on_velocitySlider_sliderReleased();
    void on_controlSlider_sliderReleased();
    void on_velocityCurveBox_currentIndexChanged(int index);
    void on_controlCurveBox_currentIndexChanged(int index);
    void on_aftertouchSpinbox_valueChanged(int value);
    void on_defaultControlBox_currentIndexChanged(int index);
    void on_ccNumberspinBox_valueChanged(int value);
    void on_midiChannelBox_currentIndexChanged(int index);
    void on_syncButton_clicked();
    void on_ROMButton_clicked();
    void on_reConButton_clicked();
    void on_disconButton_clicked();
    void on_versionButton_clicked();
    void on_actionAbout_Korvane_Control_triggered();
    void on_transposeUp_clicked();
    void on_transPoseDown_clicked();
    void on_oupButton_clicked();
    void on_odownButton_clicked();
    void on_comboBox_currentIndexChanged(int index);
    void on_patchPushButton_clicked();
    void on_soundsButton_clicked();
    void on_mapSaveButton_clicked();
    void on_testSoundBox_currentIndexChanged(int index);
    void on_muteBox_toggled(bool checked);
    void on_volSlider_valueChanged(int v);
    void on_bleButton_clicked();
    void on_muteBox_clicked();

private:
    void refreshHand();
    void showMapLoaded(bool fromFile);
    bool confirm(const QString &text);
    void askName(int mode, const QString &label, const QString &proposal);
    bool isBrowserRoot(const QString &folder) const;
    QString soundsFolder() const;
    // The name dialog's answers, one per mode.
    void saveMapAs(const QString &text);
    void renameMap(const QString &text);
    void saveSoundAs(const QString &text);
    void renameSound(const QString &text);
    void createFolder(const QString &text);
    void renameFolder(const QString &text);

    MainWindowForm *ui = nullptr;
    KorvaneCore *hub = nullptr;
    NameDialog *name = nullptr;
    NumberEdit *numedit = nullptr;
    AboutDialog *about = nullptr;
    KorvaneNodeView *nodeDialog = nullptr;
    KorvaneSoundView *soundBrowser = nullptr;
    KorvanePatchView *patchBrowser = nullptr;
    KorvaneSoundEditView *soundEditor = nullptr;

    bool unsaved = false;
    bool soundEdited = false;
    bool memoryFlushed = false;
    bool isNewSound = false;
    int keyOffset = 0;
    int octaveCounter = 4;
    QString dataPath;
    QString styleText;
    QString currentSound;
    QString currentFolder;
    QString mapToRename;
    QString soundToRename;
    QString soundSaveFolder; // where a save-as writes: the browser's folder or the sounds folder
    QProgressDialog *importDialog = nullptr;
    QMessageBox *importError = nullptr;
};
