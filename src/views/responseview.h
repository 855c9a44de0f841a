// TForm3, the frequency response view: the mean spectrum of the frame at the
// selected time (red) and the noise reference spectrum (blue) over frequency,
// with the selected frequency dotted. UI thread only.
#pragma once

#include "views/viewbase.h"

class TForm3 : public TResultView {
    Q_OBJECT
public:
    explicit TForm3(QWidget* parent = nullptr);

    TAxis* laxis;
    TAxis* faxis;
    double Time = 0; // selected time within the cycle, s

    void SetTime(double t);
    // The curve time of the frame nearest to Time; Time itself when there is no analysis.
    double SnappedTime() const;

    void PaintBox1Paint(QPainter& canvas) override;
    void PaintBox1MouseMove(Qt::MouseButtons buttons, int x, int y) override;

protected:
    QAction* ShowAction() const override;
};

// Draws the dotted line of the selected frequency over a frequency plot.
void PaintSelectedFrequency(QPainter& canvas, TAxis& faxis, int height);

extern TForm3* Form3;
