#include "app/mainwindow.h"

#include "app/dialogtooltips.h"
#include "app/edithistory.h"
#include "app/filerequests.h"
#include "app/importexport.h"
#include "app/instrumentguard.h"
#include "app/mainmenus.h"
#include "app/mainwindowform.h"
#include "app/mappingtabcontroller.h"
#include "app/quitguard.h"
#include "app/settingstabcontroller.h"
#include "app/syxrequests.h"
#include "app/windowframe.h"
#include "audio/korvaneaudioengine.h"
#include "core/datapaths.h"
#include "core/korvanecore.h"
#include "device/midiportbackend.h"
#include "dialogs/aboutdialog.h"
#include "dialogs/korvanenodeview.h"
#include "dialogs/korvanepatchview.h"
#include "dialogs/korvanesoundeditview.h"
#include "dialogs/korvanesoundview.h"
#include "dialogs/namedialog.h"
#include "dialogs/numberedit.h"
#include "hand/korvanehandwidget.h"

#include <QCloseEvent>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QTextStream>

namespace {
const char *const kStyleSheet = ":/orangestyle/darkorange-apple9.qss";
}

MainWindow::MainWindow(QWidget *parent) : MainWindow(nullptr, parent) {}

MainWindow::MainWindow(std::unique_ptr<MidiPortBackend> midiBackend, QWidget *parent)
    : QMainWindow(parent), ui(new MainWindowForm)
{
    ui->setupUi(this);
    setWindowTitle(tr("VARNO Control"));
    setWindowIcon(QIcon(QStringLiteral(":/images/varno-control.svg")));

    dataPath = DataPaths::dataPath();
    qDebug().noquote() << "actual datapath: " << dataPath;
    QDir().mkpath(dataPath);

    ui->widget->setFocusPolicy(Qt::StrongFocus);
    setStyleSheet(QString());

    // The hub builds the device link, the audio engine, the settings and the first map.
    hub = new KorvaneCore(std::move(midiBackend), this);
    frame = new WindowFrame(this, ui, hub, dataPath);
    connect(frame->menus(), &MainMenus::importSamplesRequested, this, &MainWindow::ImportSamples);
    nodeDialog = new KorvaneNodeView(this);
    soundBrowser = new KorvaneSoundView(this);
    patchBrowser = new KorvanePatchView(this);
    soundEditor = new KorvaneSoundEditView(this);
    mapping = new MappingTabController(ui, hub, dataPath, this);
    settings = new SettingsTabController(ui, hub, this);
    connect(mapping, &MappingTabController::statusMessage, this, &MainWindow::setMainMessage);
    connect(mapping, &MappingTabController::mapBrowserRequested, patchBrowser, &QWidget::show);
    connect(mapping, &MappingTabController::mapSaveRequested, patchBrowser,
            &KorvanePatchView::Save);
    connect(mapping, &MappingTabController::soundBrowserRequested, soundBrowser, [this] {
        soundBrowser->show();
        soundBrowser->raise();
    });
    connect(mapping, &MappingTabController::soundEditorRequested, this, &MainWindow::OpenSoundEdit);
    connect(settings, &SettingsTabController::versionRequested, this, &MainWindow::showAbout);

    QObject *const hand = ui->widget;
    QObject *const node = nodeDialog;
    QObject *const sound = soundBrowser;
    QObject *const patch = patchBrowser;
    QObject *const edit = soundEditor;

    connect(hand, SIGNAL(OpenNode(int)), this, SLOT(OpenNodeView(int)));
    connect(node, SIGNAL(SendConfiguration(KorvaneSensorNode, int)), this,
            SLOT(UpdateNode(KorvaneSensorNode, int)));
    connect(node, SIGNAL(SendBendSettings(KorvaneBendSettings)), hub,
            SLOT(SendBendSettings(KorvaneBendSettings)));
    connect(node, SIGNAL(SendGyroSettings(KorvaneGyroSettings)), hub,
            SLOT(SendGyroSettings(KorvaneGyroSettings)));
    connect(node, SIGNAL(ReadyRecSampler()), this, SLOT(ReadyRecSampler()));
    connect(node, SIGNAL(removeGlobalBend()), this, SLOT(removeGlobalBend()));
    connect(hub, SIGNAL(SendNoteTrigger(int, bool, int)), hand, SLOT(Trigger(int, bool, int)));
    connect(hub, SIGNAL(SendEnvelopeParameters(KorvaneEnvelope)), this,
            SLOT(setEnvelopeParameters(KorvaneEnvelope)));
    connect(hub, SIGNAL(SendReverbParameters(KorvaneSamplerReverb)), this,
            SLOT(setReverbParameters(KorvaneSamplerReverb)));
    connect(hub, SIGNAL(SendLayerView(KorvaneLayerView)), this,
            SLOT(ProcessLayerUpdate(KorvaneLayerView)));
    connect(edit, SIGNAL(SendLayerUpdate(KorvaneLayerView)), hub,
            SLOT(setLayerView(KorvaneLayerView)));
    connect(edit, SIGNAL(PreviewPlay(int)), this, SLOT(ProcessPreviewPlay(int)));
    connect(edit, SIGNAL(PreviewStop()), this, SLOT(ProcessPreviewStop()));
    connect(edit, SIGNAL(startRecord()), hub, SLOT(StartRecord()));
    connect(edit, SIGNAL(stopRecord()), hub, SLOT(EndRecord()));
    connect(edit, SIGNAL(flushMemory()), this, SLOT(FlushMemoryAsk()));
    connect(edit, SIGNAL(flushPrevious()), this, SLOT(FlushPreviousAsk()));
    connect(edit, SIGNAL(NewSound()), this, SLOT(setAsNewSound()));
    connect(edit, SIGNAL(SendEnvelopeAttack(int)), this, SLOT(PassEnvelopeAttack(int)));
    connect(edit, SIGNAL(SendEnvelopeRelease(int)), this, SLOT(PassEnvelopeRelease(int)));
    connect(edit, SIGNAL(SendReverbAmount(float)), this, SLOT(setReverbAmount(float)));
    connect(edit, SIGNAL(SendSamplerMode(int)), this, SLOT(ProcessSamplerMode(int)));
    connect(edit, SIGNAL(saveSound()), this, SLOT(ProcessSoundSave()));
    connect(edit, SIGNAL(saveAsSound()), this, SLOT(ProcessSoundSaveAs()));
    connect(edit, SIGNAL(DeleteSample(int)), this, SLOT(FlushMemorySelected(int)));
    connect(hub, SIGNAL(EnableMIDIConnect()), this, SLOT(EnableMIDIConnect()));
    connect(hub, SIGNAL(EnableMIDIDisconnect()), this, SLOT(EnableMIDIDisconnect()));
    connect(hub, SIGNAL(ResetScroll()), edit, SLOT(resetScrollIndex()));
    connect(hub, SIGNAL(SendLoadedSoundName(QString)), edit, SLOT(setLoadSoundName(QString)));

    about = new AboutDialog(this);
    name = new NameDialog(this);
    numedit = new NumberEdit(this);
    requests = new FileRequests(hub, name, patchBrowser, soundBrowser, dataPath, this);
    connect(requests, &FileRequests::statusMessage, this, &MainWindow::setMainMessage);
    connect(requests, &FileRequests::mapNameChanged, this, &MainWindow::setPatchName);
    // Nothing unsaved is lost to a load or a quit.
    instrumentGuard = new InstrumentGuard(hub, requests, this);
    connect(instrumentGuard, &InstrumentGuard::statusMessage, this, &MainWindow::setMainMessage);
    mapping->setSoundLoader([this](const QString &file) { return instrumentGuard->load(file); });
    quitGuard = new QuitGuard(hub, instrumentGuard, this);

    connect(hub, SIGNAL(sendStatusMessage(QString)), this, SLOT(setMainMessage(QString)));
    connect(hub, SIGNAL(SendStateUI(KorvaneSensorsState)), hand,
            SLOT(UpdateFromState(KorvaneSensorsState)));
    connect(hub, SIGNAL(sendSamplerMessage(QString)), edit, SLOT(setSamplerMessage(QString)));
    connect(hub, SIGNAL(RecEnded()), edit, SLOT(RecordEnded()));
    connect(hub, SIGNAL(setUnsaved()), this, SLOT(setUnsaved()));
    connect(patch, SIGNAL(SaveState(QString)), this, SLOT(SaveState(QString)));
    connect(patch, SIGNAL(NewState(QString)), this, SLOT(NewState(QString)));
    connect(patch, SIGNAL(LoadState(QString)), hub, SLOT(LoadState(QString)));
    connect(patch, SIGNAL(DeleteState(QString)), this, SLOT(DeleteState(QString)));
    connect(patch, SIGNAL(RenameState(QString)), this, SLOT(RenameState(QString)));
    connect(patch, SIGNAL(giveFolderName(QString)), this, SLOT(GetMapFolder(QString)));
    connect(patch, SIGNAL(Close()), this, SLOT(CloseFileView()));
    connect(sound, SIGNAL(SaveSound(QString)), this, SLOT(SaveSound(QString)));
    connect(sound, SIGNAL(LoadSound(QString)), this, SLOT(LoadSound(QString)));
    connect(sound, SIGNAL(NewSound(QString)), this, SLOT(NewSound(QString)));
    connect(sound, SIGNAL(DeleteSound(QString)), this, SLOT(DeleteSound(QString)));
    connect(sound, SIGNAL(RenameSound(QString)), this, SLOT(RenameSound(QString)));
    connect(sound, SIGNAL(giveFolderName(QString)), this, SLOT(GetSoundFolder(QString)));
    connect(sound, SIGNAL(NewFolder(QString)), this, SLOT(NewFolder(QString)));
    connect(sound, SIGNAL(DeleteFolder(QString)), this, SLOT(DeleteFolder(QString)));
    connect(sound, SIGNAL(NameFolder(QString)), this, SLOT(RenameFolder(QString)));
    connect(sound, SIGNAL(EditSound()), this, SLOT(OpenSoundEdit()));
    connect(patch, SIGNAL(NewFolder(QString)), this, SLOT(NewFolder(QString)));
    connect(patch, SIGNAL(DeleteFolder(QString)), this, SLOT(DeleteFolder(QString)));
    connect(patch, SIGNAL(NameFolder(QString)), this, SLOT(RenameFolder(QString)));
    connect(patch, SIGNAL(scaleGeneration(int)), this, SLOT(scaleGeneration(int)));
    connect(name, SIGNAL(Send(int, QString)), this, SLOT(ReceiveName(int, QString)));
    connect(hub, SIGNAL(SendVersionError()), this, SLOT(ShowVersionError()));
    connect(hub, SIGNAL(LoadCompleted()), this, SLOT(LoadComplete()));
    connect(hub, SIGNAL(SaveCompleted()), this, SLOT(LoadComplete()));
    connect(hub, SIGNAL(SysExLoadCompleted()), this, SLOT(SysExLoadComplete()));
    connect(hub, SIGNAL(SoundLoadComplete()), this, SLOT(SoundLoadComplete()));
    connect(hub, SIGNAL(SoundSaveComplete()), this, SLOT(SoundLoadComplete()));
    connect(hub, SIGNAL(NextSound()), this, SLOT(NextSound()));
    connect(hub, SIGNAL(PrevSound()), this, SLOT(PrevSound()));
    connect(hub, SIGNAL(SendSoundName(QString)), this, SLOT(setCurrentSoundName(QString)));
    connect(hub, SIGNAL(UpdateSettingsUI(KorvaneCalibration)), this,
            SLOT(UpdateSettingsUI(KorvaneCalibration)));
    connect(hub, SIGNAL(UpdateBendUI(KorvaneBendSettings)), this,
            SLOT(UpdateBendUI(KorvaneBendSettings)));
    connect(hub, SIGNAL(SendRemoteDevice(int)), this, SLOT(setRemoteMapping(int)));
    connect(hub, SIGNAL(SendTemporalOffset(int)), hand, SLOT(setTemporalOffset(int)));
    connect(hub, SIGNAL(SendMute(bool)), this, SLOT(setMute(bool)));
    connect(hub, SIGNAL(PassDeviceVersionNumber(int)), this, SLOT(ShowDeviceVersionNumber(int)));
    connect(hub, SIGNAL(SendWriteCount(int)), this, SLOT(setWriteCountAmount(int)));
    connect(hub, SIGNAL(IOSResendMapping()), this, SLOT(reSendMapping()));

    connect(edit, SIGNAL(OpenFreqNumberEditor(int, double)), this,
            SLOT(OpenNumberEditor(int, double)));
    connect(numedit, SIGNAL(SendNumber(int, double)), edit, SLOT(setSampleBaseFreq(int, double)));

    // Import, export, the recording's pictures and the nearest map's sensors.
    connect(edit, SIGNAL(ImportSamples()), this, SLOT(ImportSamples()));
    connect(edit, SIGNAL(ExportSound()), this, SLOT(ExportSound()));
    transfer = new ImportExport(hub, soundEditor, this);
    connect(transfer, &ImportExport::imported, requests, &FileRequests::markUnsaved);
    syx = new SyxRequests(hub, patchBrowser, this);
    connect(syx, &SyxRequests::statusMessage, this, &MainWindow::setMainMessage);
    connect(frame->menus(), &MainMenus::backupRequested, syx, &SyxRequests::backUpToSyx);
    connect(frame->menus(), &MainMenus::restoreRequested, syx, &SyxRequests::restoreFromSyx);
    // The views point into the engine's buffers only while delivered: direct on purpose.
    connect(hub, SIGNAL(SendRecData(RecordView)), edit, SLOT(ShowRecData(RecordView)),
            Qt::DirectConnection);
    connect(hub, SIGNAL(SendAnalyzeData(AnalyzeDataView)), edit,
            SLOT(ShowAnalyzeData(AnalyzeDataView)), Qt::DirectConnection);
    connect(hub, SIGNAL(SendDifferingSensors(QList<int>)), hand,
            SLOT(setOutlinedSensors(QList<int>)));

    // The sound browser moves files itself; what goes wrong there reaches the status line.
    connect(sound, SIGNAL(sendStatusMessage(QString)), this, SLOT(setMainMessage(QString)));

    UpdateDirectory();
    hub->StartEngines();

    ui->widget->setDeviceType(hub->GetRemoteMap());
    hub->LoadSettings();
    UpdateSettingsUI(hub->getCalibration());
    ui->widget->UpdateFromState(hub->GetState(0));

    QFile style(QString::fromLatin1(kStyleSheet));
    if (style.open(QFile::ReadOnly | QFile::Text)) {
        styleText = QTextStream(&style).readAll();
        setStyleSheet(styleText);
        patchBrowser->setStyleSheet(styleText);
        soundBrowser->setStyleSheet(styleText);
        nodeDialog->setStyleSheet(styleText);
        numedit->setStyleSheet(styleText);
        about->setStyleSheet(styleText);
        name->setStyleSheet(styleText);
    } else {
        qDebug() << "could not load stylesheet";
    }

    hub->LoadWriteCount();
    applyDialogToolTips(this);
    setUpEditHistory();
    qDebug() << "All ready!";
}

MainWindow::~MainWindow()
{
    frame->saveGeometry();
    hub->ShutDown();
    delete ui;
}

// Made last: the history takes what the window's own connections did as undo steps.
void MainWindow::setUpEditHistory()
{
    history = new EditHistory(hub, mapping, settings, nodeDialog, this);
    addEditMenu();
}

void MainWindow::addEditMenu()
{
    // The history's Undo and Redo go into the menu bar's Edit menu, between File and Device.
    QMenu *edit = frame->menus()->addEditMenu();
    history->fillEditMenu(edit);
    // The keys work in the sensor dialog too, a window of its own.
    nodeDialog->addActions(edit->actions());
}

KorvaneHandWidget *MainWindow::handWidget() const
{
    return ui->widget;
}

QString MainWindow::testSoundFile(const QString &dataPath, int index)
{
    return MappingTabController::testSoundFile(dataPath, index);
}

bool MainWindow::isNewSoundPending() const
{
    return requests->isNewSoundPending();
}

QString MainWindow::currentSoundName() const
{
    return requests->currentSound();
}

int MainWindow::getKeyOffset() const
{
    return mapping->keyOffset();
}

int MainWindow::getOctaveCounter() const
{
    return mapping->octaveCounter();
}

bool MainWindow::isUnsaved() const
{
    return requests->isUnsaved();
}

QProgressDialog *MainWindow::importProgressDialog() const
{
    return transfer->progressDialog();
}

QMessageBox *MainWindow::importMessage() const
{
    return transfer->errorBox();
}

MainMenus *MainWindow::menus() const
{
    return frame->menus();
}

DeviceStatusPart *MainWindow::deviceStatus() const
{
    return frame->deviceStatus();
}

bool MainWindow::confirmQuit()
{
    return quitGuard->confirmQuit();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    event->setAccepted(confirmQuit());
}

void MainWindow::LoadSound(QString filename)
{
    if (!instrumentGuard->load(filename))
        soundBrowser->refuseLoad();
}

void MainWindow::showAbout()
{
    about->setVersionLabel(QStringLiteral("No device connected"));
    hub->RequestVersionNumber();
    about->show();
}

void MainWindow::on_actionAbout_Korvane_Control_triggered()
{
    showAbout();
}

// ---- slots reached by the hub and the other windows ----

void MainWindow::GenerateScale(int nro)
{
    mapping->generateScale(nro);
}

void MainWindow::scaleGeneration(int nro)
{
    mapping->generateScaleFromBrowser(nro);
}

void MainWindow::ProcessSamplerMode(int mode)
{
    hub->setSamplerMode(mode);
    hub->getLayerView();
}

void MainWindow::ProcessPreviewPlay(int sample_id)
{
    hub->PreviewPlay(sample_id);
}

void MainWindow::ProcessPreviewStop()
{
    hub->PreviewStop();
}

void MainWindow::ProcessLayerUpdate(KorvaneLayerView view)
{
    soundEditor->getLayerView(view);
}

void MainWindow::EndRecord()
{
    hub->EndRecord();
}

void MainWindow::ReadyRecSampler()
{
    hub->ReadyRecSampler();
}

void MainWindow::SoundLoadComplete()
{
    // An instrument was loaded or saved: the sampler now holds exactly what its file holds.
    requests->soundLoaded();
    soundEditor->setLoadSoundName(requests->currentSound());
}

void MainWindow::LoadComplete()
{
    qDebug() << "load complete";
    mapping->showMapLoaded(true);
}

void MainWindow::SysExLoadComplete()
{
    qDebug() << "Updating view from sysex load";
    mapping->showMapLoaded(false);
}

void MainWindow::UpdateSettingsUI(KorvaneCalibration calib)
{
    settings->showCalibration(calib);
}

void MainWindow::OpenNodeView(int node_i)
{
    if (node_i < 0 || node_i >= kSensorCount)
        return;
    // The dialog's bend and gyro fields start from what was last sent, so an edit of one field
    // sends the user's other values, not built-in defaults.
    nodeDialog->setBendSettings(hub->getBendSettings());
    nodeDialog->setGyroSettings(hub->getGyroSettings());
    nodeDialog->setConfiguration(hub->GetNode(node_i), node_i);
    nodeDialog->show();
}

void MainWindow::UpdateNode(KorvaneSensorNode node, int node_i)
{
    mapping->setNode(node, node_i);
}

void MainWindow::removeGlobalBend()
{
    // A step undone or redone puts back the records as they were, bend assignments included.
    if (history && history->isApplying())
        return;
    settings->removeGlobalBend();
}

void MainWindow::reSendMapping()
{
    qDebug() << "Active again: Re-sending mapping";
    hub->SendState();
}

void MainWindow::setMainMessage(QString msg)
{
    if (!frame->acceptMessage(msg))
        return; // a result still in view outweighs the device search's routine lines
    ui->mainmessages->setText(msg);
    ui->statuslabel->setText(msg);
}

void MainWindow::setMute(bool on)
{
    mapping->showMute(on);
}

void MainWindow::setRemoteMapping(int deviceType)
{
    mapping->setRemoteMapping(deviceType);
}

void MainWindow::ShowDeviceVersionNumber(int nro)
{
    qDebug() << "showing version number";
    about->setVersionLabel(QStringLiteral("Version: ") + QString::number(nro));
}

void MainWindow::ShowVersionError()
{
    QMessageBox box(this);
    box.setText(QStringLiteral("Version error"));
    box.setInformativeText(QStringLiteral("Version mismatch"));
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

void MainWindow::setReverbParameters(KorvaneSamplerReverb reverb)
{
    soundEditor->setReverb(reverb.amount);
}

void MainWindow::setEnvelopeParameters(KorvaneEnvelope envelope)
{
    soundEditor->setEnvelope(envelope);
}

void MainWindow::setReverbAmount(float amount)
{
    hub->audio()->setReverbAmount(amount);
    requests->markUnsaved();
}

void MainWindow::PassEnvelopeAttack(int value)
{
    hub->audio()->setAttack(value);
    requests->markUnsaved();
}

void MainWindow::PassEnvelopeRelease(int value)
{
    hub->audio()->setRelease(value);
    requests->markUnsaved();
}

void MainWindow::setUnsaved()
{
    requests->markUnsaved();
}

void MainWindow::setPatchName(QString filename)
{
    mapping->setPatchName(filename);
    if (history)
        history->keepMapName();
}

void MainWindow::GetMapFolder(QString folder)
{
    setPatchName(folder);
}

void MainWindow::OpenNumberEditor(int target_sample, double freq)
{
    numedit->setNumber(target_sample, freq);
    numedit->show();
}

void MainWindow::UpdateDirectory()
{
    requests->updateDirectories();
}

void MainWindow::CloseFileView()
{
    patchBrowser->hide();
}

void MainWindow::UpdateView()
{
    hub->GetInputLevel();
}
