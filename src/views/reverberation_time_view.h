// TForm4, the reverberation time view: T60 per frequency, one dot per pixel
// column, grey below the limit frequency of the room volume entered in the
// radius view. The evaluation is the measurement model's, computed once per
// change of the store or the drops. UI thread only.
#pragma once

#include "widgets/result_view.h"

#include <functional>
#include <vector>

class TForm4 : public TResultView {
    Q_OBJECT
public:
    TForm4(ravlon::MeasurementModel& model, QAction* showAction, QWidget* parent = nullptr);

    TAxis* taxis;
    TAxis* faxis;
    // The arrays of the model's last evaluation.
    const std::vector<double>& T60Values() const { return Model().LastEvaluation().T60Values; }
    const std::vector<double>& StartFrames() const { return Model().LastEvaluation().StartFrames; }
    const std::vector<double>& EndFrames() const { return Model().LastEvaluation().EndFrames; }

    void PaintBox1Paint(QPainter& canvas) override;
    // Also a move without buttons: the read-out follows the mouse.
    void PaintBox1MouseMove(Qt::MouseButtons buttons, int x, int y) override;
    // The status bar's read-out: frequency and T60 of the bin under the
    // mouse, or of the selected frequency while the mouse is off the plot.
    void ShowReadOut();

protected:
    void FirstActivation() override;
    void ModelChanged(unsigned changes) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int mouseX_ = -1; // plot column under the mouse; -1: off the plot
};

// The model changes that repaint the reverberation time and radius views.
inline constexpr unsigned kT60ViewChanges = ravlon::ChangeSetup | ravlon::ChangeStore |
                                            ravlon::ChangeFrequency | ravlon::ChangeDrops |
                                            ravlon::ChangeVolume;
// One 2 x 2 dot per column of faxis for the T60 of the bin shown there: in
// `above` where the column lies at or above the room's limit frequency and the
// bin has a value, silver otherwise; at height yOfT60(T60).
void PaintT60Dots(QPainter& canvas, TAxis& faxis, const std::vector<double>& t60, double volume,
                  int32_t sampFreq, const QColor& above, const std::function<int(double)>& yOfT60);
// Selects frequency f for all views while the left button is held.
void SelectFrequencyByDrag(Qt::MouseButtons buttons, TAxis& faxis, int x,
                           ravlon::MeasurementModel& model);
