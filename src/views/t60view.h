// TForm4, the reverberation time view: T60 per frequency, one dot per pixel
// column, grey below the limit frequency of the room volume entered in the
// radius view. Every repaint re-runs the evaluation and keeps its results,
// which the decay view reads for its markers. UI thread only.
#pragma once

#include "views/viewbase.h"

#include <functional>
#include <vector>

class TForm4 : public TResultView {
    Q_OBJECT
public:
    explicit TForm4(QWidget* parent = nullptr);

    TAxis* taxis;
    TAxis* faxis;
    std::vector<double> T60Values, StartFrames, EndFrames;

    void PaintBox1Paint(QPainter& canvas) override;
    void PaintBox1MouseMove(Qt::MouseButtons buttons, int x, int y) override;

protected:
    QAction* ShowAction() const override;
    void FirstActivation() override;
};

// Runs the T60 evaluation of the main window's store with the decay view's drops.
void EvaluateViewT60(std::vector<double>& t60, std::vector<double>& starts,
                     std::vector<double>& ends);
// The room volume of the radius view's edit (user's number format); raises
// when the text is not a number.
double RoomVolume();
// One 2 x 2 dot per column of faxis for the T60 of the bin shown there: in
// `above` where the column lies at or above the room's limit frequency and the
// bin has a value, silver otherwise; at height yOfT60(T60).
void PaintT60Dots(QPainter& canvas, TAxis& faxis, const std::vector<double>& t60, double volume,
                  const QColor& above, const std::function<int(double)>& yOfT60);
// Selects frequency f for all views while the left button is held.
void SelectFrequencyByDrag(Qt::MouseButtons buttons, TAxis& faxis, int x);

extern TForm4* Form4;
