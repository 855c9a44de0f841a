// The main window's measurement run: start and stop, the noise out, the
// recorded buffers in, and what happens when the disk or a device fails.
#include "axes/axis.h"
#include "core/base/numtext.h"
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
    spec_.SetSampFreq(v);
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
    // Every setting is read and checked before anything is applied, so a
    // refused start changes neither the sound components nor the store.
    TSpectrogram::RunSettings s;
    s.SampFreq = StrToInt(sfedit->text().toStdString());
    s.Window = windowcombo->currentIndex();
    s.Bandwidth = StrToFloat(bwedit->text().toStdString());
    s.PreNoise = StrToFloat(prenoiseedit->text().toStdString());
    s.Noise = StrToFloat(noiseedit->text().toStdString());
    s.PostNoise = StrToFloat(postnoiseedit->text().toStdString());
    const TSpectrogram::RunPlan plan = TSpectrogram::CheckRun(s);

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
    spec_.SetSampFreq(s.SampFreq);
    spec_.SetupWindow(s.Window);
    spec_.SetupFFTSize();
    spec_.SetupWindowSize(s.Bandwidth);
    spec_.SetupPositions(s.PreNoise, s.Noise, s.PostNoise);
    FitTimeAxes();
    spec_.ClearStore();
    spec_.ResetCounters();
    spec_.RequestRepaint();
    TmpFileName = name;
    model_.Recording() = {"", "", s.Bandwidth};
    rescueCheck_ = spec_.RepaintRequests();
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
    taxis->SetMaxHiValue(FDiv(spec_.Pos3(), spec_.SampFreq()));
    taxis->SetHiValue(taxis->MaxHiValue());
    taxis->SetLoValue(0);
    taxis->SetMinLoValue(0);
    // The views fit their own time axes to the new set-up.
    model_.Changed(ChangeSetup);
}

void TForm1::MPCPlay1Stash(TWaveChunk& arr, int& used, bool&) {
    used = std::clamp(used, 0, static_cast<int>(arr.size()));
    spec_.FillNoise(random_, arr.data(), used);
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
    if (analyse) spec_.AddSamples(samples, used);
    model_.SamplesTaken(samples, used, analyse);
    taxis->SetMarkerValue(FDiv(2.0 * spec_.Bins() * spec_.FrameIndex(), spec_.SampFreq()));
    if (!recording_.Append(samples, used, *block_)) {
        RecordingFailed();
        return;
    }
    // Once a cycle: is the temporary recording still where Save will look for it?
    if (spec_.RepaintRequests() != rescueCheck_) {
        rescueCheck_ = spec_.RepaintRequests();
        RescueTemporaryRecording();
    }
}

// A write to the temporary recording failed: the run stops at once, keeps what
// reached the disk and says how much that is.
void TForm1::RecordingFailed() {
    const double rate = std::max(1, spec_.SampFreq());
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
