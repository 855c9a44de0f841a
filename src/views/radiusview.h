// TForm6, the reverberation radius view: the distance at which direct and
// reverberant sound are equally strong, per frequency, for the room volume
// entered here (which the reverberation time view uses too). UI thread only.
#pragma once

#include "views/viewbase.h"

#include <vector>

class QLabel;
class QLineEdit;

class TForm6 : public TResultView {
    Q_OBJECT
public:
    explicit TForm6(QWidget* parent = nullptr);

    QLabel* Label1;
    QLineEdit* volumeedit;
    TAxis* raxis;
    TAxis* faxis;
    std::vector<double> T60Values, StartFrames, EndFrames;

    void volumeeditChange();
    void PaintBox1Paint(QPainter& canvas) override;
    void PaintBox1MouseMove(Qt::MouseButtons buttons, int x, int y) override;

protected:
    QAction* ShowAction() const override;
    // No activation handling: the plot is not opaque, the axes keep their limits.
    void FirstActivation() override {}
};

extern TForm6* Form6;
