// TBandsView, the band results view: per octave (63 Hz - 8 kHz) or one-third
// octave (50 Hz - 10 kHz) EDT, T20 and T30 with the ISO 3382-2 standard
// deviation of T20 and T30, the curvature C, the margin of the steady level
// over the background, the decays averaged, the median per-bin T60 and the
// change since the previous cycle; values that are not valid are grey, with
// their reason as tooltip and in the status line; the results that average a
// cycle whose input clipped are not valid ("clipped"). Below the table T20 and
// T30 against frequency with error bars, and Tmid in large type.
//
// The view follows every recorded sample of the model (live run and opened
// recording) through the band filters (TBandMonitor) and evaluates at every
// repaint of the spectrogram, whether it is shown or not: the main window's
// status text and the stop when converged come from it. Another source of
// rows (an average over positions) can be added (AddSource); the live
// measurement stays the first. UI thread only.
#pragma once

#include "core/bands/band_monitor.h"
#include "widgets/result_view.h"

#include <functional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QTableWidget;

class TBandsView : public TResultView {
    Q_OBJECT
public:
    TBandsView(ravlon::MeasurementModel& model, QAction* showAction, QWidget* parent = nullptr);

    // The checkable action that shows the view ("Show band results"), with its
    // tool-bar picture; parent owns it.
    static QAction* MakeShowAction(QObject* parent);

    QComboBox* setcombo;        // octaves or one-third octaves
    QComboBox* methodcombo;     // band filters (the default) or spectrogram
    QComboBox* sourcecombo;     // this measurement, and sources added; hidden with one
    QCheckBox* stopcheck;       // stop the run when converged (off)
    QDoubleSpinBox* targetedit; // the convergence target, percent
    QLabel* tmidlabel;          // Tmid in large type
    QLabel* cyclelabel;
    QTableWidget* table;
    QLabel* statusline;
    TAxis* taxis;
    TAxis* faxis;
    QAction* CopyAction;   // "Copy": the table as tab-separated text
    QAction* ExportAction; // "Export results...": CSV or JSON as ravlon-analyze writes them

    // Set by the application: ends a run as pressing "Run!" again does; false
    // when no run was going on. Called from the event loop, never inside a repaint.
    std::function<bool()> StopRun;
    // Set by the application: receives CycleSummary after every evaluation.
    std::function<void(const std::string&)> OnCycleSummary;

    // Another source of band rows: its name in the source list and the table
    // it shows for a band set. Call SourceChanged when its rows change.
    using TableSource = std::function<ravlon::TBandTable(ravlon::TBandSet set)>;
    void AddSource(const QString& name, TableSource source);
    void SourceChanged();

    const ravlon::TBandMonitor& Monitor() const { return monitor_; }
    // The table on display (the live measurement's or another source's).
    const ravlon::TBandTable& Shown() const { return shown_; }
    ravlon::TBandSet Set() const;
    ravlon::TBandMethod Method() const;

    void CopyTable();
    // Asks for a file name and exports.
    void ExportResults();
    // Re-reads the recording on display as ravlon-analyze does and writes its
    // results to name: JSON for a name ending in ".json", CSV otherwise. A
    // problem is told in a message box; true when the file was written.
    bool ExportResults(const std::string& name);

    void PaintBox1Paint(QPainter& canvas) override;
    void PaintBox1MouseMove(Qt::MouseButtons buttons, int x, int y) override;

protected:
    void ModelChanged(unsigned changes) override;
    void FirstActivation() override;

private:
    void BuildControls();
    void Evaluate();
    void ShowTable();
    void ShowStatus();
    void FitTimeAxis();
    void PaintSeries(QPainter& canvas, const ravlon::TBandCell ravlon::TBandRow::*cell,
                     const QColor& colour, int offset);

    ravlon::TBandMonitor monitor_;
    ravlon::TBandTable shown_;
    ravlon::MeasurementModel::Subscription samples_;
    std::vector<TableSource> sources_; // index 0 of sourcecombo is the live measurement
    int64_t evaluatedCycles_ = -1;     // the monitor's cycles at the last evaluation
    bool stopRequested_ = false;
    bool fitTimeAxis_ = true;
    std::string stopNotice_;
};
