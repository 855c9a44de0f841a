// The session on the window side: actions, questions, analysis of the positions.
#include "session/session_controller.h"

#include "core/base/fileutil.h"
#include "core/base/numtext.h"
#include "core/model/measurement_model.h"
#include "core/session/position_analysis.h"
#include "measure/main_window.h"
#include "platform/appexception.h"
#include "platform/filedialog.h"
#include "platform/messagebox.h"
#include "report/report_writer.h"
#include "session/positions_panel.h"
#include "session/session_dialogs.h"

#include <QAction>
#include <QComboBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>

#include <filesystem>

using namespace ravlon;
namespace fs = std::filesystem;

namespace {

const char* const kAddCaption = "Add position";
const char* const kReportCaption = "Export report";

bool Exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(path, ec);
}

// Asks before a file the user did not name in a dialog is replaced.
bool MayReplace(const std::string& path, const std::string& caption) {
    return !Exists(path) || ShowMessageBox(path + " already exists. Replace it?", caption,
                                           MB_YESNO | MB_ICONQUESTION) == IDYES;
}

} // namespace

TSessionController::TSessionController(TForm1& main, MeasurementModel& model)
    : main_(main), model_(model) {
    const auto action = [this](const char* text, auto handler) {
        auto* a = new QAction(text, &main_);
        connect(a, &QAction::triggered, this,
                Guarded(&main_, [this, handler] { (this->*handler)(); }));
        return a;
    };
    NewSessionAction = action("New session...", &TSessionController::NewSessionExecute);
    OpenSessionAction = action("Open session...", &TSessionController::OpenSessionExecute);
    AddPositionAction =
        action("Add this recording as position...", &TSessionController::AddPositionExecute);
    ExportReportAction = action("Export report...", &TSessionController::ExportReportExecute);
    ShowPositionsAction = new QAction("Show positions", &main_);
    ShowPositionsAction->setCheckable(true);

    // Before "Exit", after the recordings and the recent files.
    QMenu* file = main_.file1;
    for (QAction* a : {NewSessionAction, OpenSessionAction, AddPositionAction})
        file->insertAction(main_.Exit1, a);
    file->insertSeparator(main_.Exit1);
    file->insertAction(main_.Exit1, ExportReportAction);
    file->insertSeparator(main_.Exit1);
    connect(file, &QMenu::aboutToShow, this, Guarded(&main_, [this] { UpdateActions(); }));
    main_.Menu("&View")->addAction(ShowPositionsAction);

    panel_ = std::make_unique<TPositionsPanel>(*this, ShowPositionsAction);
    connect(ShowPositionsAction, &QAction::triggered, panel_.get(), Guarded(panel_.get(), [this] {
                panel_->setVisible(ShowPositionsAction->isChecked());
            }));

    AskSessionInfo = [this]() -> std::optional<TSessionInfo> {
        TSessionInfoDialog dialog(&main_);
        if (dialog.exec() != QDialog::Accepted) return std::nullopt;
        return dialog.Info();
    };
    AskLabel = [this](const std::string& suggested) -> std::optional<std::string> {
        bool ok = false;
        const QString label =
            QInputDialog::getText(&main_, kAddCaption, "Label of the position:", QLineEdit::Normal,
                                  QString::fromStdString(suggested), &ok);
        return ok ? std::optional(label.trimmed().toStdString()) : std::nullopt;
    };
    AskReport = [this]() -> std::optional<TReportChoice> {
        std::vector<std::string> labels;
        for (const TReportPosition& p : Report({}).Positions) labels.push_back(p.Label);
        TReportDialog dialog(labels, &main_);
        if (dialog.exec() != QDialog::Accepted) return std::nullopt;
        return dialog.Choice();
    };
    UpdateActions();
}

TSessionController::~TSessionController() = default;

void TSessionController::UpdateActions() {
    AddPositionAction->setEnabled(HasSession() && !main_.Running && main_.HasRecording());
    ExportReportAction->setEnabled(HasSession() && !Report({}).Positions.empty());
}

// --- Actions --------------------------------------------------------------------

void TSessionController::NewSessionExecute() {
    const std::string folder =
        AskFileName(&main_, {FileDialogKind::Folder, "New session: choose its folder", "", ""});
    if (folder.empty()) return;
    if (const std::optional<TSessionInfo> info = AskSessionInfo()) NewSession(folder, *info);
}

void TSessionController::OpenSessionExecute() {
    const std::string name =
        AskFileName(&main_, {FileDialogKind::Open, "Open session",
                             "Ravlon sessions (session.json);;All files (*.*)", "json"});
    if (!name.empty()) OpenSession(name);
}

void TSessionController::AddPositionExecute() {
    if (!HasSession()) return;
    if (const std::optional<std::string> label = AskLabel(NextPositionLabel(*session_)))
        AddPosition(*label);
}

void TSessionController::ExportReportExecute() {
    const std::optional<TReportChoice> choice = AskReport();
    if (!choice) return;
    const std::string name =
        AskFileName(&main_, {FileDialogKind::Save, kReportCaption, "HTML report (*.html)", "html"});
    if (!name.empty()) ExportReport(name, *choice);
}

// --- Operations -----------------------------------------------------------------

bool TSessionController::NewSession(const std::string& folder, const TSessionInfo& info) {
    std::error_code ec;
    fs::path path = fs::absolute(folder, ec).lexically_normal();
    if (!path.has_filename()) path = path.parent_path();
    if (!fs::is_directory(path, ec)) {
        ShowMessageBox("The folder " + path.string() + " does not exist.", "New session",
                       MB_OK | MB_ICONERROR);
        return false;
    }
    if (Exists((path / kSessionManifest).string())) {
        if (ShowMessageBox("The folder " + path.string() + " already holds a session. Open it?",
                           "New session", MB_YESNO | MB_ICONQUESTION) == IDYES)
            return OpenSession(path.string());
        return false;
    }
    TSession session;
    session.Folder = path.string();
    session.Info = info;
    try {
        WriteSession(session);
    } catch (const ESessionError& e) {
        ShowMessageBox(e.what(), "New session", MB_OK | MB_ICONERROR);
        return false;
    }
    Opened(std::move(session));
    return true;
}

bool TSessionController::OpenSession(const std::string& folderOrManifest) {
    TSessionLoad load;
    try {
        load = ReadSession(folderOrManifest);
    } catch (const ESessionError& e) {
        ShowMessageBox(e.what(), "Open session", MB_OK | MB_ICONERROR);
        return false;
    }
    if (!load.Problems.empty()) {
        std::string text = "The session in " + load.Session.Folder + " has problems:";
        for (const std::string& p : load.Problems) text += "\n- " + p;
        ShowMessageBox(text, "Open session", MB_OK | MB_ICONEXCLAMATION);
    }
    Opened(std::move(load.Session));
    return true;
}

void TSessionController::Opened(TSession session) {
    session_ = std::move(session);
    analyses_.assign(session_->Positions.size(), {});
    for (size_t i = 0; i < analyses_.size(); ++i) Analyse(i);
    Recompute();
    ShowPositionsAction->setChecked(true);
    panel_->show();
}

bool TSessionController::AddPosition(const std::string& label) {
    if (!HasSession()) return false;
    if (main_.Running) {
        ShowMessageBox("Stop the measurement before adding it as a position.", kAddCaption,
                       MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    if (!main_.HasRecording()) {
        ShowMessageBox("Nothing has been recorded yet: start a measurement with Run! first.",
                       kAddCaption, MB_OK | MB_ICONINFORMATION);
        return false;
    }
    if (label.empty() || session_->FindLabel(label) >= 0) {
        ShowMessageBox(label.empty() ? "A position needs a label."
                                     : "The session already has a position \"" + label +
                                           "\"; choose another label.",
                       kAddCaption, MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    TSessionPosition p;
    p.Label = label;
    p.Recording = PositionFileName(label);
    const std::string path = session_->RecordingPath(p);
    if (path.size() > TSMPfile::MaxShortString) {
        ShowMessageBox("The recording's path would be longer than 255 characters:\n" + path,
                       kAddCaption, MB_OK | MB_ICONERROR);
        return false;
    }
    if (!MayReplace(path, kAddCaption) || !MayRewrite(kAddCaption)) return false;

    const TSpectrogram& s = main_.Store();
    p.Date = SessionDateNow();
    if (main_.RunRecording && Devices) std::tie(p.OutputDevice, p.InputDevice) = Devices();
    p.Settings.SampFreq = s.SampFreq();
    try {
        p.Settings.Bandwidth = StrToFloat(main_.bwedit->text().toStdString());
    } catch (const EConvertError&) {
        p.Settings.Bandwidth = 0; // the edit changed since: not known
    }
    p.Settings.Window = main_.windowcombo->currentText().toStdString();
    if (s.SampFreq() > 0) {
        const double rate = s.SampFreq();
        p.Settings.PreNoise = s.Pos1() / rate;
        p.Settings.Noise = (s.Pos2() - s.Pos1()) / rate;
        p.Settings.PostNoise = (s.Pos3() - s.Pos2()) / rate;
    }
    if (!main_.SaveRecording(path)) return false;

    session_->Positions.push_back(p);
    analyses_.emplace_back();
    Analyse(analyses_.size() - 1);
    if (analyses_.back().Results)
        session_->Positions.back().Settings.Cycles = analyses_.back().Results->Cycles;
    const bool saved = Save(kAddCaption);
    Recompute();
    return saved;
}

void TSessionController::SetIncluded(int i, bool included) {
    if (!HasSession() || i < 0 || static_cast<size_t>(i) >= session_->Positions.size()) return;
    if (session_->Positions[static_cast<size_t>(i)].Included == included) return;
    session_->Positions[static_cast<size_t>(i)].Included = included;
    // Declined: the choice holds until the session is closed.
    if (MayRewrite("Session")) Save("Session");
    Recompute();
}

void TSessionController::OpenPosition(int i) {
    if (!HasSession() || i < 0 || static_cast<size_t>(i) >= session_->Positions.size()) return;
    const TSessionPosition& p = session_->Positions[static_cast<size_t>(i)];
    const std::string path = session_->RecordingPath(p);
    if (!Exists(path)) {
        ShowMessageBox("The recording of position \"" + p.Label + "\" is missing:\n" + path,
                       "Open recording", MB_OK | MB_ICONERROR);
        return;
    }
    main_.OpenRecording(path);
}

bool TSessionController::ExportReport(const std::string& path, const TReportChoice& choice) {
    if (!HasSession()) return false;
    // The drops of the per-bin column may have changed since the positions were analysed.
    for (size_t i = 0; i < analyses_.size(); ++i) Analyse(i);
    Recompute();
    const TSessionReport report = Report(choice);
    if (report.Positions.empty()) {
        ShowMessageBox("The session has no included position that can be analysed: add a "
                       "position or include one.",
                       kReportCaption, MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    const fs::path main(path);
    try {
        WriteReport(report, path);
        const std::string csv = fs::path(main).replace_extension(".csv").string();
        std::string error;
        if (MayReplace(csv, kReportCaption) && !WriteFileAtomically(csv, ReportCsv(report), &error))
            throw EReportError(error);
        const std::string pdf = fs::path(main).replace_extension(".pdf").string();
        if (choice.Pdf && pdf != path && MayReplace(pdf, kReportCaption)) WriteReport(report, pdf);
    } catch (const Exception& e) {
        ShowMessageBox(std::string("The report could not be written: ") + e.what(), kReportCaption,
                       MB_OK | MB_ICONERROR);
        return false;
    }
    return true;
}

TSessionReport TSessionController::Report(const TReportChoice& choice) const {
    std::vector<TReportPosition> positions;
    std::vector<std::string> leftOut;
    if (HasSession())
        for (size_t i = 0; i < session_->Positions.size(); ++i) {
            const TSessionPosition& p = session_->Positions[i];
            const TPositionAnalysis& a = analyses_[i];
            if (p.Included && a.Results)
                positions.push_back(MakeReportPosition(p, *a.Results));
            else
                leftOut.push_back(p.Label + " (" + (!p.Included ? "excluded" : a.Error) + ")");
        }
    TSessionReport report =
        MakeSessionReport(std::move(positions), HasSession() ? session_->Info : TSessionInfo{});
    report.LeftOut = std::move(leftOut);
    report.Title = choice.Title;
    report.DecayPosition = choice.DecayPosition;
    return report;
}

// --- Internals ----------------------------------------------------------------------

void TSessionController::Analyse(size_t i) {
    const TSessionPosition& p = session_->Positions[i];
    TPositionAnalysis& a = analyses_[i];
    a = {};
    if (!p.Present && !Exists(session_->RecordingPath(p))) {
        a.Error = "recording missing";
        return;
    }
    // As ravlon-analyze --session analyses it.
    TAnalysisSettings base;
    base.InitialDrop = model_.InitialDrop();
    base.AdditionalDrop = model_.AdditionalDrop();
    base.Volume = session_->Info.Volume;
    const std::string path = session_->RecordingPath(p);
    try {
        a.Results = AnalyseRecordingFile(path, path, PositionAnalysisSettings(p, base));
        a.Tmid = PositionTmid(a.Results->Bands, a.Results->Set);
    } catch (const std::exception& e) {
        a.Error = e.what();
    }
}

void TSessionController::Recompute() {
    std::vector<TPositionBands> bands;
    for (size_t i = 0; i < analyses_.size(); ++i)
        if (session_->Positions[i].Included && analyses_[i].Results)
            bands.push_back({session_->Positions[i].Label, analyses_[i].Results->Cycles,
                             analyses_[i].Results->Bands});
    average_ = AverageBands(bands, TBandSet::Octave);
    UpdateActions();
    emit Changed();
}

bool TSessionController::MayRewrite(const std::string& caption) {
    if (!session_->Damaged) return true;
    if (ShowMessageBox(std::string(kSessionManifest) +
                           " could not be read whole when the session was opened. Replace it "
                           "with the positions listed now?",
                       caption, MB_YESNO | MB_ICONQUESTION) != IDYES)
        return false;
    session_->Damaged = false;
    return true;
}

bool TSessionController::Save(const std::string& caption) {
    try {
        WriteSession(*session_);
        return true;
    } catch (const ESessionError& e) {
        ShowMessageBox(e.what(), caption, MB_OK | MB_ICONERROR);
        return false;
    }
}
