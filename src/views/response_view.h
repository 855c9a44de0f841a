// TForm3, the frequency response view: the mean spectrum of the frame at the
// selected time (red) and the noise reference spectrum (blue) over frequency,
// with the selected frequency dotted. UI thread only.
#pragma once

#include "widgets/data_fit.h"
#include "widgets/result_view.h"

class TForm3 : public TResultView {
    Q_OBJECT
public:
    TForm3(ravlon::MeasurementModel& model, QAction* showAction, QWidget* parent = nullptr);

    TAxis* laxis;
    TAxis* faxis;

    // The selected time within the cycle (s), shared through the model.
    double Time() const { return Model().Time(); }
    void SetTime(double t) { Model().SetTime(t); }
    // The curve time of the frame nearest to Time; Time itself when there is no analysis.
    double SnappedTime() const { return Model().SnappedTime(); }

    void PaintBox1Paint(QPainter& canvas) override;
    void PaintBox1MouseMove(Qt::MouseButtons buttons, int x, int y) override;

protected:
    void ModelChanged(unsigned changes) override;

private:
    TDataFit fit_;
};

// Draws the dotted line of the model's selected frequency over a frequency plot.
void PaintSelectedFrequency(QPainter& canvas, TAxis& faxis, int height,
                            const ravlon::MeasurementModel& model);
