// TForm6, the reverberation radius view: the distance at which direct and
// reverberant sound are equally strong, per frequency, for the room volume
// entered here (the model passes it on to the reverberation time view).
// UI thread only.
#pragma once

#include "widgets/result_view.h"

#include <vector>

class QLabel;
class QLineEdit;

class TForm6 : public TResultView {
    Q_OBJECT
public:
    TForm6(ravlon::MeasurementModel& model, QAction* showAction, QWidget* parent = nullptr);

    QLabel* Label1;
    QLineEdit* volumeedit;
    TAxis* raxis;
    TAxis* faxis;
    // The arrays of the model's last evaluation.
    const std::vector<double>& T60Values() const { return Model().LastEvaluation().T60Values; }

    void volumeeditChange();
    void PaintBox1Paint(QPainter& canvas) override;
    void PaintBox1MouseMove(Qt::MouseButtons buttons, int x, int y) override;

protected:
    void ModelChanged(unsigned changes) override;
    // No activation handling: the plot is not opaque, the axes keep their limits.
    void FirstActivation() override {}
};
