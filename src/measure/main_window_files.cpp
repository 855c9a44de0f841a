// The main window's recordings: opening one for analysis, saving the
// temporary recording, and the question before an unsaved run is discarded.
#include "core/base/fileutil.h"
#include "core/base/numtext.h"
#include "core/measure/open_recording.h"
#include "core/measure/run_input.h"
#include "measure/main_window.h"
#include "platform/filedialog.h"
#include "platform/messagebox.h"
#include "services/recent_files.h"
#include "widgets/paint_box.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>

#include <filesystem>

using namespace ravlon;

namespace {

const char* const kFileFilter = "Ravlon files (*.ravlon);;All files (*.*)";

bool FileExists(const std::string& name) {
    std::error_code ec;
    return !name.empty() && std::filesystem::is_regular_file(name, ec);
}

// Inside a catch: the exception being handled, as wrong input about the file
// name (a recording whose header the set-up refuses is no fault of the program).
[[noreturn]] void RethrowAsInputError(const std::string& name) {
    try {
        throw;
    } catch (const EInputError&) {
        throw;
    } catch (const Exception& e) {
        throw EInputError(std::filesystem::path(name).filename().string() + ": " + e.what());
    }
}

// Closes a recording being read whatever happens on the way.
struct CloseOnExit {
    TSMPfile& file;
    ~CloseOnExit() { file.close_file(); }
};

} // namespace

void TForm1::OpenRecording(const std::string& name) {
    if (Running) {
        // Opening rebuilds the store and the temporary recording the run is writing.
        ShowMessageBox("Stop the measurement before opening a recording.", "Open recording",
                       MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    // A cut path would name another file: refuse what the recording component cannot hold.
    if (name.size() > TSMPfile::MaxShortString)
        throw EInputError("The file name is too long (at most 255 characters): " + name);
    if (!ConfirmDiscard()) return;
    RecentFiles1->Add(name);
    if (!SMPfile1.open_file(name, true)) {
        // A file that cannot be opened does not stay in the recent-files list.
        RecentFiles1->Remove(name);
        throw EInputError("Cannot open the recording " + name + ": " + SMPfile1.LastError());
    }
    CloseOnExit closeOnExit{SMPfile1};
    // The copy of the opened recording gets its own temporary file, made before
    // anything of the shown analysis changes.
    const std::string previous = TmpFileName;
    const std::string copy = TTemporaryRecording::Reserve();
    bool switched = false;
    bool checking = false; // the file is read and checked, nothing applied yet
    try {
        recording_.Create(copy, MPCPlay1.sfTot(), 0, 0, 0);
        TOpenRecordingSteps steps;
        steps.SetSampFreq = [&](int32_t v) {
            checking = false;
            SetSampFreq(v);
        };
        // Checked against the range that works at the recording's rate.
        double bandwidth = 0;
        steps.Bandwidth = [this, &bandwidth] {
            return bandwidth =
                       ReadBandwidth(bwedit->text().toStdString(), Round(SMPfile1.channel_rate(0)),
                                     windowcombo->currentIndex());
        };
        steps.OnPositions = [&] {
            const double sf = store_.SampFreq();
            const int32_t p1 = store_.Pos1(), p2 = store_.Pos2(), p3 = store_.Pos3();
            recording_.SetLayout(MPCPlay1.sfTot(), p1, p2, p3);
            switched = true;
            TmpFileName = copy;
            RunRecording = false;
            unsaved_ = false;
            TTemporaryRecording::Remove(previous);
            model_.Recording() = {"", name, bandwidth};
            prenoiseedit->setText(QString::fromStdString(FormatSignificant(6, p1 / sf)));
            noiseedit->setText(QString::fromStdString(FormatSignificant(6, (p2 - p1) / sf)));
            postnoiseedit->setText(QString::fromStdString(FormatSignificant(6, (p3 - p2) / sf)));
        };
        steps.OnSetup = [this] { FitTimeAxes(); };
        steps.OnChunk = [this](const TSMPBlock& block, bool analyse) {
            RecordChunk(block.Samples, block.Count, analyse);
        };
        steps.OnCycleEnd = [this] { PaintBox1->repaint(); };
        checking = true;
        OpenRecordingAnalysis(SMPfile1, store_, windowcombo->currentIndex(), steps);
    } catch (...) {
        recording_.Finish();
        if (!switched) TTemporaryRecording::Remove(copy);
        if (checking) RethrowAsInputError(name);
        throw;
    }
    const std::string problem = recording_.Finish();
    if (!problem.empty()) throw Exception(problem);
    model_.Recording().File = TmpFileName;
    // The samples after the last complete cycle: the views show the whole recording.
    model_.Changed(ChangeStore);
}

bool TForm1::HasRecording() const {
    return !TmpFileName.empty() && (unsaved_ || recording_.Samples() > 0) &&
           FileExists(TmpFileName);
}

bool TForm1::SaveRecording(const std::string& name) {
    if (!Running) RescueTemporaryRecording();
    if (!HasRecording()) {
        ShowMessageBox("Nothing has been recorded yet: start a measurement with Run! first.",
                       "Save recording", MB_OK | MB_ICONINFORMATION);
        return false;
    }
    std::string error;
    if (!CopyFileWithDate(TmpFileName, name, &error)) {
        ShowMessageBox("The recording could not be saved as\n" + name +
                           (error.empty() ? std::string() : "\n" + error),
                       "Save recording", MB_OK | MB_ICONERROR);
        return false;
    }
    unsaved_ = false;
    model_.Recording().Name = name;
    RecentFiles1->Add(name);
    return true;
}

bool TForm1::ConfirmDiscard() {
    if (!unsaved_) return true;
    switch (ShowMessageBox("The recording of the last run is not saved. Save it?", "Ravlon",
                           MB_YESNOCANCEL | MB_ICONQUESTION)) {
    case IDYES:
        return savefileactionExecute();
    case IDNO:
        // Still unsaved until something really replaces it (a start can fail).
        return true;
    default:
        return false;
    }
}

void TForm1::file1Click() {
    savefileaction->setEnabled(HasRecording());
    openfileaction->setEnabled(!Running);
}

void TForm1::openfileactionExecute() {
    const std::string name =
        AskFileName(this, {FileDialogKind::Open, "Open recording", kFileFilter, "ravlon"});
    if (!name.empty()) OpenRecording(name);
}

bool TForm1::savefileactionExecute() {
    const std::string name =
        AskFileName(this, {FileDialogKind::Save, "Save recording", kFileFilter, "ravlon"});
    return !name.empty() && SaveRecording(name);
}

void TForm1::RecentFiles1Click(QObject*, int, const std::string& fileName) {
    OpenRecording(fileName);
}
