// The main window's measurement run: start and stop, the noise out, the
// recorded buffers in, and what happens when the disk or a device fails.
#include "axes/axis.h"
#include "core/base/numtext.h"
#include "core/measure/run_input.h"
#include "core/measure/run_progress.h"
#include "measure/main_window.h"
#include "platform/appexception.h"
#include "platform/messagebox.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include <algorithm>

using namespace ravlon;

void TForm1::SetSampFreq(int32_t v) {
    store_.SetSampFreq(v);
    if (Running) {
        ShowMessageBox("Silly me!", "cant set sampfreq now!", 0);
        return;
    }
    MPCPlay1.setsfTot(v * MPCPlay1.nChans());
    MPCRecord1.setsfTot(v * MPCRecord1.nChans());
}

void TForm1::RunActionExecute() {
    SetRunning(RunAction->isChecked());
}

void TForm1::SetRunning(bool on) {
    if (on == Running) return;
    std::string problem;
    if (on) {
        bool started = false;
        try {
            started = StartRun();
        } catch (...) {
            // A refused start leaves the window idle, ready for the next click.
            RunAction->setChecked(false);
            throw;
        }
        if (!started) {
            RunAction->setChecked(false);
            return;
        }
    } else {
        progress_->clear();
        problem = StopDevices();
        const std::string finish = recording_.Finish();
        if (problem.empty()) problem = finish;
        unsaved_ = recording_.Delivered() > 0;
        model_.Recording().File = TmpFileName;
        // The buffers since the last cycle's repaint: the views show all that was recorded.
        model_.Changed(ChangeStore);
    }
    taxis->SetMarkerVisible(on);
    Running = on;
    openfileaction->setEnabled(!on);
    RunAction->setChecked(on);
    emit RunningChanged(on);
    // Reported once the window is idle, so the recording can be saved at once.
    if (!problem.empty()) throw Exception(problem);
}

// Stops and closes both sound components, whatever fails on the way; the
// first failure's text, or "".
std::string TForm1::StopDevices() noexcept {
    std::string problem;
    auto stop = [&problem](auto& component) {
        try {
            component.Stop();
        } catch (const std::exception& e) {
            if (problem.empty()) problem = e.what();
        }
    };
    stop(MPCPlay1);
    stop(MPCRecord1);
    return problem;
}

bool TForm1::StartRun() {
    if (!ConfirmDiscard()) return false;
    if (WarnBeforeRun) WarnBeforeRun();
    if (BeforeRun && !BeforeRun()) return false;
    // Every setting is read and checked before anything is applied, so a
    // refused start changes neither the sound components nor the store; a
    // refusal names the edit and says what works.
    TSpectrogram::RunSettings s;
    const TSpectrogram::RunPlan plan =
        ReadRunSettings({sfedit->text().toStdString(), bwedit->text().toStdString(),
                         prenoiseedit->text().toStdString(), noiseedit->text().toStdString(),
                         postnoiseedit->text().toStdString(), windowcombo->currentIndex()},
                        s);

    // The run's own temporary recording and both devices are ready before the
    // last run's recording and spectrogram are given up.
    const std::string previous = TmpFileName;
    const std::string name = TTemporaryRecording::Reserve();
    const int playRate = MPCPlay1.sfTot(), recordRate = MPCRecord1.sfTot();
    try {
        recording_.Create(name, s.SampFreq * MPCPlay1.nChans(), plan.Pos1, plan.Pos2, plan.Pos3);
        MPCPlay1.setsfTot(s.SampFreq * MPCPlay1.nChans());
        MPCRecord1.setsfTot(s.SampFreq * MPCRecord1.nChans());
        MPCPlay1.Open();
        MPCRecord1.Open();
    } catch (...) {
        StopDevices();
        tmpfile.close_file();
        TTemporaryRecording::Remove(name);
        MPCPlay1.setsfTot(playRate);
        MPCRecord1.setsfTot(recordRate);
        throw;
    }
    store_.SetSampFreq(s.SampFreq);
    store_.SetupWindow(s.Window);
    store_.SetupFFTSize();
    store_.SetupWindowSize(s.Bandwidth);
    store_.SetupPositions(s.PreNoise, s.Noise, s.PostNoise);
    store_.ClearStore();
    store_.ResetCounters();
    FitTimeAxes();
    store_.RequestRepaint();
    TmpFileName = name;
    RunRecording = true;
    model_.Recording() = {"", "", s.Bandwidth};
    rescueCheck_ = store_.RepaintRequests();
    runStartRepaints_ = rescueCheck_;
    progress_->setMinimumWidth(0);
    unsaved_ = false;
    dropped_ = 0;
    status_->clear();
    recordStarted_ = false;
    stopPending_ = false;
    try {
        MPCPlay1.Start();
    } catch (...) {
        StopDevices();
        tmpfile.close_file();
        throw;
    }
    TTemporaryRecording::Remove(previous);
    return true;
}

void TForm1::FitTimeAxes() {
    taxis->SetMaxHiValue(FDiv(store_.Pos3(), store_.SampFreq()));
    taxis->SetHiValue(taxis->MaxHiValue());
    taxis->SetLoValue(0);
    taxis->SetMinLoValue(0);
    // The new store stands: the views fit their own time axes and read the
    // selection against its bins and frames.
    model_.Changed(ChangeSetup);
}

void TForm1::MPCPlay1Stash(TWaveChunk& arr, int& used, bool&) {
    used = std::clamp(used, 0, static_cast<int>(arr.size()));
    store_.FillNoise(random_, arr.data(), used);
    // The input is opened with the output but starts just before the first
    // noise is played.
    if (!recordStarted_) {
        recordStarted_ = true;
        MPCRecord1.Start();
    }
}

void TForm1::MPCRecord1Fetch(TWaveChunk& arr, int used, bool&) {
    // Buffers still in flight after a failed write are counted as not written,
    // and not analysed: the spectrogram shows what the recording holds.
    RecordChunk(arr.data(), std::clamp(used, 0, static_cast<int>(arr.size())),
                recording_.Error().empty());
}

// The recorded-buffer handler: analysis, time marker, temporary recording.
void TForm1::RecordChunk(const int16_t* samples, int32_t used, bool analyse) {
    if (analyse) store_.AddSamples(samples, used);
    model_.SamplesTaken(samples, used, analyse);
    taxis->SetMarkerValue(FDiv(2.0 * store_.Bins() * store_.FrameIndex(), store_.SampFreq()));
    if (Running) ShowProgress();
    if (!recording_.Append(samples, used, *block_)) {
        RecordingFailed();
        return;
    }
    // Once a cycle: is the temporary recording still where Save will look for it?
    if (store_.RepaintRequests() != rescueCheck_) {
        rescueCheck_ = store_.RepaintRequests();
        RescueTemporaryRecording();
    }
}

// A write to the temporary recording failed: the run stops at once, keeps what
// reached the disk and says how much that is.
void TForm1::RecordingFailed() {
    const double rate = std::max(1, store_.SampFreq());
    const double kept = double(recording_.Samples()) / rate;
    const double lost = double(recording_.Delivered() - recording_.Samples()) / rate;
    const std::string what =
        recording_.DiskFull()
            ? std::string("Disk full")
            : "The temporary recording could not be written (" + recording_.Error() + ")";
    const std::string text = what + ": the recording holds the first " + FormatFloat("0.0", kept) +
                             " s; " + FormatFloat("0.0", lost) + " s were not written.";
    if (!Running) throw Exception(text); // opening a recording
    if (stopPending_) return;
    stopPending_ = true;
    QMetaObject::invokeMethod(
        this,
        [this, text] {
            RunGuarded(this, [&] {
                SetRunning(false);
                ShowMessageBox(text, "Ravlon", MB_OK | MB_ICONERROR);
            });
        },
        Qt::QueuedConnection);
}

void TForm1::RescueTemporaryRecording() {
    const std::string notice = recording_.Rescue();
    if (notice.empty()) return;
    TmpFileName = recording_.Name();
    if (!Running) model_.Recording().File = TmpFileName;
    status_->setText(QString::fromStdString(notice));
}

// A device reports a failure while it streams: the run ends, keeping the
// recording; the component raises the device's message itself.
void TForm1::DeviceFailed(unsigned msg) {
    if (msg != audio::MM_WOM_ERROR && msg != audio::MM_WIM_ERROR) return;
    if (!Running || stopPending_) return;
    stopPending_ = true;
    QMetaObject::invokeMethod(
        this, [this] { RunGuarded(this, [this] { SetRunning(false); }); }, Qt::QueuedConnection);
}

void TForm1::ReportDropout() {
    if (!Running) return;
    ++dropped_;
    status_->setText(QString("Audio was dropped %1 time(s): the cycles after it are shifted; "
                             "repeat the measurement.")
                         .arg(dropped_));
}

std::string TForm1::StatusText() const {
    return status_->text().toStdString();
}

void TForm1::ShowProgress() {
    const QString text = QString::fromStdString(
        RunProgressText(ProgressOfRun(store_, store_.RepaintRequests() - runStartRepaints_)));
    if (text == progress_->text()) return;
    progress_->setText(text);
    // Never narrower during a run, so that the notices beside it keep still.
    progress_->setMinimumWidth(std::max(progress_->minimumWidth(), progress_->sizeHint().width()));
}

std::string TForm1::ProgressText() const {
    return progress_->text().toStdString();
}
