// What the result windows (decay, response, reverberation time, radius)
// share: a white plot panel with a vertical axis at the left, a horizontal
// axis below and the plot between them, each axis spanning exactly the plot's
// pixels; a settings panel of labelled edits above it (decay and radius
// views); a status bar whose panels are wide enough for the texts they show;
// first-activation handling; closing unchecks the action that shows the
// window. Every view reads the measurement model it is given and repaints
// when the model says so. UI thread only.
#pragma once

#include "axes/axis.h"
#include "core/model/measurement_model.h"
#include "widgets/paint_box.h"
#include "widgets/panel.h"
#include "widgets/plot_axis.h"

#include <QWidget>

#include <string>
#include <vector>

class QAction;
class QLabel;
class QStatusBar;

// A status panel: its width when its texts fit, and the widest text it
// typically shows (it is made at least that wide in the window's font; a
// longer text widens it).
struct TStatusPanel {
    int Width;
    const char* WidestText = "";
};

class TResultView : public QWidget {
    Q_OBJECT
public:
    // model: what the view shows (it must outlive the view); showAction: the
    // action that shows the view, unchecked when the window closes (may be
    // null); panels: the status bar's panels; topPanel: a settings panel
    // above the plot, 53 pixels high where its texts fit; repaintOn: the model
    // changes (ModelChange bits) that repaint the plot.
    TResultView(ravlon::MeasurementModel& model, QAction* showAction, const QString& caption,
                std::vector<TStatusPanel> panels, bool topPanel, unsigned repaintOn,
                QWidget* parent = nullptr);

    ravlon::MeasurementModel& Model() const { return model_; }

    QWidget* Panel2 = nullptr; // settings panel above the plot (decay and radius views)
    TPanel* Panel1 = nullptr;  // white plot panel
    TPaintBox* PaintBox1 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    bool Activated = false;

    // Text of status panel i (no-op for a panel the view does not have).
    void SetStatusText(int i, const std::string& text);
    std::string StatusText(int i) const;
    // Invalidates the plot; it is repainted from the store on the next paint.
    void RepaintPlot();
    // Lays out axes and plot (also run on every resize of the plot panel).
    void FormResize();

    // The plot's handlers. A press is handled exactly as a move unless a view
    // says otherwise; moves arrive only while a button is held.
    virtual void PaintBox1Paint(QPainter& canvas) = 0;
    virtual void PaintBox1MouseMove(Qt::MouseButtons buttons, int x, int y) = 0;
    virtual void PaintBox1MouseDown(Qt::MouseButtons buttons, int x, int y) {
        PaintBox1MouseMove(buttons, x, y);
    }

protected:
    // A plot axis as every view carries it: the given position, scale, range and
    // unit text; TickSpaceAim 40, all three drag zones, no double click, the
    // widest limits, white background, no marker.
    TAxis* MakeViewAxis(tposition position, bool logarithmic, double lo, double hi,
                        const std::string& text);
    // The subclass creates its axes and hands them over here (V vertical, H horizontal).
    void SetAxes(TAxis* vertical, TAxis* horizontal);
    // Puts a label above its edit into the settings panel, left to right.
    void AddSetting(QLabel* label, QWidget* edit);
    // The end of the subclass's construction: the window's starting size,
    // 256 x 300 where its texts fit.
    void FitStartSize();
    // Called for every change of the model, before the repaint it may cause.
    virtual void ModelChanged(unsigned changes) { (void)changes; }
    // First activation only.
    virtual void FirstActivation();
    // Frame and grid of every plot: black outline filled white, then the tick
    // lines of both axes in RGB(150,150,150) (emphasised) or RGB(200,200,200).
    void PaintFrameAndGrid(QPainter& canvas);

    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

    TAxis* V = nullptr;
    TAxis* H = nullptr;

private:
    ravlon::MeasurementModel& model_;
    QAction* showAction_;
    std::vector<QLabel*> panels_;
    ravlon::MeasurementModel::Subscription subscription_;
};
