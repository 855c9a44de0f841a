// TForm1, the main window: the measurement settings, the measurement run
// (noise out, recording in, analysis into the spectrogram store, temporary
// recording), opening and saving recordings, the spectrogram image with its
// gray-scale legend, and the actions that show the four result views (the
// application connects them to the views).
//
// The window fills the measurement model's store (the model owns the FFT and
// the store and tells the views what changed) and owns the sound components
// and the two recording files. Everything runs on the UI thread: the sound
// components deliver their buffers as events, so the noise generator, the
// analysis, the repaints and the user's commands never overlap.
#pragma once

#include "core/measure/fft.h"
#include "core/measure/noise_generator.h"
#include "core/measure/spectrogram.h"
#include "core/model/measurement_model.h"
#include "core/recording/recording_file.h"
#include "measure/temporary_recording.h"
#include "measure/wave_play_record.h"

#include <QImage>
#include <QMainWindow>

#include <functional>
#include <memory>
#include <string>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QToolBar;
class TAxis;
class TPaintBox;
class TPanel;
namespace ravlon {
class TProgId;
class TOstrelAbout;
class TErrorLog;
class TRecentFiles;
class THelpMenu;
} // namespace ravlon

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    // model: the measurement the window fills (it must outlive the window);
    // backend: the audio back end for both sound components (tests pass a
    // simulated room or a scripted device); default: RAVLON_AUDIO or the sound card.
    explicit TForm1(
        ravlon::MeasurementModel& model,
        std::shared_ptr<ravlon::audio::WaveBackend> backend = ravlon::audio::DefaultWaveBackend());
    ~TForm1() override;

    // End of loading: the owned components finish their set-up.
    void Loaded();

    // --- Components ------------------------------------------------------------------
    ravlon::TFFT& FFT1; // the model's
    ravlon::TMPCPlay MPCPlay1;
    ravlon::TMPCRecord MPCRecord1;
    ravlon::TSMPfile tmpfile;  // the recording being made
    ravlon::TSMPfile SMPfile1; // a recording being opened
    ravlon::TProgId* ProgId1;
    ravlon::TOstrelAbout* OstrelAbout1;
    ravlon::TErrorLog* ErrorLog1;
    ravlon::TRecentFiles* RecentFiles1;
    ravlon::THelpMenu* HelpMenu1;
    // The spectrogram store (SampFreq, Pos1..Pos3, SpecSum, SpecCount, noise reference).
    const ravlon::TSpectrogram& Store() const { return store_; }
    ravlon::MeasurementModel& Model() const { return model_; }
    // Shown before a run starts (the loudspeaker warning, unless the user
    // ticked it away); set by the application.
    std::function<void()> WarnBeforeRun;
    // Asked after the warning, before anything starts: false cancels the
    // start (the check before every run); set by the application.
    std::function<bool()> BeforeRun;

    // --- Controls -------------------------------------------------------------------
    QWidget* Panel1; // settings
    TPanel* Panel2;  // spectrogram
    QWidget* Panel3; // gray-scale legend
    QToolBar* ToolBar1;
    QLineEdit* sfedit;
    QLineEdit* bwedit;
    QComboBox* windowcombo;
    QLineEdit* prenoiseedit;
    QLineEdit* noiseedit;
    QLineEdit* postnoiseedit;
    TAxis* faxis;
    TAxis* taxis;
    TAxis* laxis;
    TPaintBox* PaintBox1; // the spectrogram image
    TPaintBox* PaintBox2; // the legend strip
    QMenu* file1;
    QAction* RunAction;
    QAction* Showdecayaction;
    QAction* showresponseaction;
    QAction* ShowT60Action;
    QAction* Showrraction;
    QAction* openfileaction;
    QAction* savefileaction;
    QAction* Exit1;

    // --- Fields -----------------------------------------------------------------------
    bool Running = false;
    // The temporary recording of the last run or opened recording; "" before
    // the first one. Every run and every opened recording makes a new one.
    std::string TmpFileName;
    // The temporary recording holds a run of this program, not an opened recording.
    bool RunRecording = false;
    QImage SpecBitmap;

    // --- Operations ---------------------------------------------------------------------
    void FormActivate();
    void SetSampFreq(int32_t v);
    void RunActionExecute();
    void SetRunning(bool on);
    void MPCPlay1Stash(ravlon::TWaveChunk& arr, int& used, bool& last);
    void MPCRecord1Fetch(ravlon::TWaveChunk& arr, int used, bool& last);
    void OpenRecording(const std::string& name);
    // The part of "Save recording..." after the dialog: copies the temporary
    // recording to name; tells the user when the copy fails or when nothing
    // has been recorded yet. True when the recording was saved.
    bool SaveRecording(const std::string& name);
    void file1Click();
    void openfileactionExecute();
    // Asks for a name and saves; true when the recording was saved.
    bool savefileactionExecute();
    // True when the temporary recording holds samples to save.
    bool HasRecording() const;
    // True when a run's recording has not been saved since it was made.
    bool Unsaved() const { return unsaved_; }
    // Before something discards an unsaved recording: asks whether to save
    // it. False when the user cancels (or the save failed): keep everything.
    bool ConfirmDiscard();
    void RecentFiles1Click(QObject* sender, int itemNo, const std::string& fileName);
    // The top-level menu of that title ("&Edit", "&View", "&Options"), made
    // on first use in the menu bar's order (File, Edit, View, Options, Help).
    QMenu* Menu(const QString& title);
    void Panel2Resize();
    void PaintBox1Paint(QPainter& canvas);
    void PaintBox2Paint(QPainter& canvas);
    void PaintBox1MouseMove(Qt::MouseButtons buttons, int x, int y);

    // Audio dropped by the sound components during this run (buffers); shown
    // in the status bar, because every later block of the cycle is shifted.
    uint64_t DroppedBuffers() const { return dropped_; }
    std::string StatusText() const;
    // During a run: the cycle being recorded and the time to the next update
    // of the spectrogram; empty otherwise.
    std::string ProgressText() const;

signals:
    // A run started or stopped (Running changed).
    void RunningChanged(bool running);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildControls();
    void BuildServices();
    void BuildActions();
    bool StartRun();
    std::string StopDevices() noexcept;
    void SwitchTemporaryRecording();
    void FitTimeAxes();
    void RecordChunk(const int16_t* samples, int32_t used, bool analyse);
    void RecordingFailed();
    void RescueTemporaryRecording();
    void DeviceFailed(unsigned msg);
    void ReportDropout();
    void FitStatusBar();
    void ShowProgress();

    ravlon::MeasurementModel& model_;
    ravlon::TSpectrogram& store_;
    ravlon::MeasurementModel::Subscription subscription_;
    ravlon::TNoiseRandom random_; // seed 0 at program start, never reseeded
    std::unique_ptr<ravlon::TSMPBlock> block_;
    ravlon::TTemporaryRecording recording_{tmpfile};
    bool recordStarted_ = false; // the input was started by this run's first output buffer
    bool unsaved_ = false;
    bool stopPending_ = false;
    uint64_t rescueCheck_ = 0; // repaint request count of the last check
    bool activated_ = false;
    uint64_t dropped_ = 0;
    QLabel* status_ = nullptr;
    QLabel* progress_ = nullptr;
    uint64_t runStartRepaints_ = 0; // repaint requests when the run started
};
