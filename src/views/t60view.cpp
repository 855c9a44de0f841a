#include "views/t60view.h"

#include "measure/mainwindow.h"
#include "recording/numtext.h"
#include "views/decayview.h"
#include "views/radiusview.h"
#include "views/responseview.h"
#include "views/t60eval.h"
#include "views/viewmath.h"

#include <QLineEdit>
#include <QPainter>

using namespace ravlon;

TForm4* Form4 = nullptr;

void EvaluateViewT60(std::vector<double>& t60, std::vector<double>& starts,
                     std::vector<double>& ends) {
    const TSpectrogram& s = Form1->Spec();
    EvaluateT60(s, s.FFT().FFTSize(), s.FFT().WindowSize(), Form2->InitialDrop,
                Form2->AdditionalDrop, t60, starts, ends);
}

double RoomVolume() {
    return StrToFloat(Form6->volumeedit->text().toStdString());
}

void PaintT60Dots(QPainter& canvas, TAxis& faxis, const std::vector<double>& t60, double volume,
                  const QColor& above, const std::function<int(double)>& yOfT60) {
    const int32_t sampFreq = Form1->Spec().SampFreq();
    for (int x = 0; x < faxis.width(); ++x) {
        double f = faxis.PixelToValue(x);
        double t = ColumnValue(t60, f, sampFreq);
        QColor colour = AboveLimitFrequency(f, t, volume) ? above : QColor(192, 192, 192);
        int y = yOfT60(t);
        canvas.fillRect(x - 1, y - 1, 2, 2, colour);
    }
}

void SelectFrequencyByDrag(Qt::MouseButtons buttons, TAxis& faxis, int x) {
    if (buttons & Qt::LeftButton) Form2->SetFrequency(faxis.PixelToValue(x));
}

TForm4::TForm4(QWidget* parent)
    : TResultView("Ravlon - Reverberation time", {100, 50}, false, parent) {
    taxis = MakeViewAxis(posleft, false, 0, 4, "[s]");
    faxis = MakeViewAxis(posunder, true, 20, 20000, "[Hz]");
    SetAxes(taxis, faxis);
}

QAction* TForm4::ShowAction() const {
    return Form1 ? Form1->ShowT60Action : nullptr;
}

void TForm4::FirstActivation() {
    taxis->SetMinLoValue(0);
    taxis->SetMinHiValue(0.01);
    TResultView::FirstActivation();
}

void TForm4::PaintBox1Paint(QPainter& canvas) {
    try {
        PaintFrameAndGrid(canvas);
        EvaluateViewT60(T60Values, StartFrames, EndFrames);
        double volume = RoomVolume();
        PaintT60Dots(canvas, *faxis, T60Values, volume, QColor(255, 0, 0),
                     [this](double t) { return taxis->ValueToPixelClamped(t); });
        PaintSelectedFrequency(canvas, *faxis, PaintBox1->height());
    } catch (const std::exception&) {
        // The first failure ends this repaint; what is drawn stays.
    }
    canvas.setPen(QPen(canvas.pen().color(), 1, Qt::SolidLine));
}

void TForm4::PaintBox1MouseMove(Qt::MouseButtons buttons, int x, int) {
    SelectFrequencyByDrag(buttons, *faxis, x);
}
