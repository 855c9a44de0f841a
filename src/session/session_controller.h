// TSessionController: the measurement session on the window side. It owns
// the open session (core/session/session_manifest.h), the analysis of each
// position, the spatial average of the included ones and the positions panel,
// and puts "New session...", "Open session...", "Add this recording as
// position...", "Export report..." into the main window's File menu and
// "Show positions" into its View menu.
//
// Adding a position saves the main window's recording (the last run or the
// opened recording) into the session folder under the position's label, as
// "Save recording..." would. Nothing in the folder is replaced without the
// user's yes: a recording of the same name, a manifest that could not be read
// whole, the report's CSV and PDF beside the chosen HTML file.
//
// For the bands view: Average() is the spatial average of the included
// positions (updated before Changed() is emitted), Positions() the analysis of
// each position; both are plain core data.
//
// UI thread only. Every question goes through ShowMessageBox and the dialog
// hooks below, so tests answer them.
#pragma once

#include "core/session/session_average.h"
#include "core/session/session_manifest.h"
#include "core/session/session_report.h"

#include <QObject>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class QAction;
class TForm1;
class TPositionsPanel;
namespace ravlon {
class MeasurementModel;
}

// What "Export report..." asks before the file name.
struct TReportChoice {
    std::string Title = "Reverberation time";
    int DecayPosition = 0; // index into the included, analysed positions
    bool Pdf = false;      // also write NAME.pdf
};

// A position's analysis: the results, or why there are none.
struct TPositionAnalysis {
    std::optional<ravlon::TResultsReport> Results;
    std::string Error;
    double Tmid = ravlon::TAveragedValue::None;
};

class TSessionController : public QObject {
    Q_OBJECT
public:
    // main: the window whose recording becomes a position and whose menus
    // get the actions; model: the drops of the per-bin evaluation. Both must
    // outlive the controller.
    TSessionController(TForm1& main, ravlon::MeasurementModel& model);
    ~TSessionController() override;

    QAction* NewSessionAction;
    QAction* OpenSessionAction;
    QAction* AddPositionAction;
    QAction* ExportReportAction;
    QAction* ShowPositionsAction;
    TPositionsPanel* Panel() const { return panel_.get(); }

    // The audio devices a run uses (output, input), for the manifest; set by
    // the application. Empty: not recorded.
    std::function<std::pair<std::string, std::string>()> Devices;
    // The dialogs; tests replace them. Empty result: cancelled.
    std::function<std::optional<ravlon::TSessionInfo>()> AskSessionInfo;
    std::function<std::optional<std::string>(const std::string& suggested)> AskLabel;
    std::function<std::optional<TReportChoice>()> AskReport;

    // --- The actions: their dialogs, then the operation ------------------------------
    void NewSessionExecute();
    void OpenSessionExecute();
    void AddPositionExecute();
    void ExportReportExecute();

    // --- What the actions do after their dialogs ---------------------------------
    // Makes a session in an existing folder; offers to open one already there.
    bool NewSession(const std::string& folder, const ravlon::TSessionInfo& info);
    // Opens a session folder (or its session.json); problems are shown, and
    // what can be used is opened.
    bool OpenSession(const std::string& folderOrManifest);
    // Saves the main window's recording as the position of this label.
    bool AddPosition(const std::string& label);
    // Takes position i into the average or leaves it out; writes the manifest.
    void SetIncluded(int i, bool included);
    // Opens position i's recording in the main window.
    void OpenPosition(int i);
    // Writes the report as HTML to path, its tables as CSV beside it (same
    // name, ".csv") and, when chosen, a PDF (".pdf").
    bool ExportReport(const std::string& path, const TReportChoice& choice);

    // --- State --------------------------------------------------------------------
    bool HasSession() const { return session_.has_value(); }
    const ravlon::TSession& Session() const { return *session_; }
    // One entry per position of Session().
    const std::vector<TPositionAnalysis>& Positions() const { return analyses_; }
    const ravlon::TSessionAverage& Average() const { return average_; }
    // The report of the included, analysed positions as they stand now.
    ravlon::TSessionReport Report(const TReportChoice& choice) const;

signals:
    // A session was opened or made, a position added, included or excluded.
    void Changed();

private:
    void UpdateActions();
    void Analyse(size_t i);
    void Recompute();
    // True when the manifest may be written: it was read whole, or the user
    // agrees to replace it.
    bool MayRewrite(const std::string& caption);
    // Writes the manifest; false (with a message) when it was not written.
    bool Save(const std::string& caption);
    void Opened(ravlon::TSession session);

    TForm1& main_;
    ravlon::MeasurementModel& model_;
    std::optional<ravlon::TSession> session_;
    std::vector<TPositionAnalysis> analyses_;
    ravlon::TSessionAverage average_;
    std::unique_ptr<TPositionsPanel> panel_;
};
