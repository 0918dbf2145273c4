// The sound editor: the sampler's samples, recording, sample mapping, envelope and reverb
// of the current instrument. It talks to the hub only through signals and slots.
#pragma once

#include "base/samplertypes.h"

#include <QDialog>
#include <QString>

namespace Ui {
class KorvaneSoundEditView;
}
class KorvaneSamplerWidget;
class KorvaneRecordIndicator;
class KorvaneRecordingView;

class KorvaneSoundEditView : public QDialog
{
    Q_OBJECT
public:
    explicit KorvaneSoundEditView(QWidget *parent = nullptr);
    ~KorvaneSoundEditView() override;

    KorvaneSamplerWidget *samplerWidget() const;
    KorvaneRecordIndicator *recordIndicator() const;
    KorvaneRecordingView *recordingView() const;
    // Whether imported files are mixed to mono (the box beside Import).
    bool importMixToMono() const;

signals:
    void SendLayerUpdate(KorvaneLayerView view);
    void PreviewPlay(int nro);
    void PreviewStop();
    void startRecord();
    void stopRecord();
    void saveSound();
    void saveAsSound();
    void SendSamplerMode(int mode);
    void flushMemory();
    void flushPrevious();
    void DeleteSample(int id);
    void LoadSound(QString name);
    void SendEnvelopeAttack(int value);
    void SendEnvelopeRelease(int value);
    void SendReverbAmount(float value);
    void NewSound();
    void ImportSamples();
    void OpenFreqNumberEditor(int target_sample, double freq);
    void ExportSound();

public slots:
    void getLayerView(KorvaneLayerView view);
    void resetScrollIndex();
    void RecordEnded();
    void setSamplerMessage(QString msg);
    void setEnvelope(KorvaneEnvelope env);
    void setReverb(float volume);
    void setEdited();
    void setUnEdited();
    void setScreen();
    void setLoadSoundName(QString name);
    void setSampleBaseFreq(int target_sample, double freq);
    // The engine's views are valid only while delivered: connect these directly.
    void ShowRecData(RecordView rec);
    void ShowAnalyzeData(AnalyzeDataView data);

private slots:
    void on_flushMemButton_clicked();
    void on_attackSlider_valueChanged(int value);
    void on_releaseSlider_valueChanged(int value);
    void on_soundSaveAsButton_clicked();
    void on_reverbSlider_valueChanged(int value);
    void on_importButton_clicked();
    void on_exportButton_clicked();
    void on_samplerModeBox_currentIndexChanged(int index);

private:
    Ui::KorvaneSoundEditView *ui;
};
