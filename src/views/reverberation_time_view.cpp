#include "views/reverberation_time_view.h"

#include "core/base/numtext.h"
#include "core/views/data_range.h"
#include "core/views/view_math.h"
#include "views/response_view.h"
#include "widgets/data_fit.h"

#include <QPainter>

using namespace ravlon;

void PaintT60Dots(QPainter& canvas, TAxis& faxis, const std::vector<double>& t60, double volume,
                  int32_t sampFreq, const QColor& above, const std::function<int(double)>& yOfT60) {
    for (int x = 0; x < faxis.width(); ++x) {
        double f = faxis.PixelToValue(x);
        double t = ColumnValue(t60, f, sampFreq);
        QColor colour = AboveLimitFrequency(f, t, volume) ? above : QColor(192, 192, 192);
        int y = yOfT60(t);
        canvas.fillRect(x - 1, y - 1, 2, 2, colour);
    }
}

void SelectFrequencyByDrag(Qt::MouseButtons buttons, TAxis& faxis, int x, MeasurementModel& model) {
    if (buttons & Qt::LeftButton) model.SetFrequency(faxis.PixelToValue(x));
}

TForm4::TForm4(MeasurementModel& model, QAction* showAction, QWidget* parent)
    : TResultView(model, showAction, "Ravlon - Reverberation time", {100, 50}, false,
                  kT60ViewChanges, parent) {
    taxis = MakeViewAxis(posleft, false, 0, 4, "[s]");
    faxis = MakeViewAxis(posunder, true, 20, 20000, "[Hz]");
    SetAxes(taxis, faxis);
    SetDataRange(taxis, kDataFitMargin,
                 [this] { return ZeroToLargest(Model().Evaluation().T60Values); });
    SetDataRange(faxis, 0, [this] { return FrequencyRange(Model().Store()); });
}

void TForm4::FirstActivation() {
    taxis->SetMinLoValue(0);
    taxis->SetMinHiValue(0.01);
    TResultView::FirstActivation();
}

void TForm4::PaintBox1Paint(QPainter& canvas) {
    try {
        PaintFrameAndGrid(canvas);
        const T60Evaluation& e = Model().Evaluation();
        double volume = Model().RoomVolume();
        PaintT60Dots(canvas, *faxis, e.T60Values, volume, Model().Store().SampFreq(),
                     QColor(255, 0, 0), [this](double t) { return taxis->ValueToPixelClamped(t); });
        PaintSelectedFrequency(canvas, *faxis, PaintBox1->height(), Model());
    } catch (const std::exception&) {
        // The first failure ends this repaint; what is drawn stays.
    }
    canvas.setPen(QPen(canvas.pen().color(), 1, Qt::SolidLine));
}

void TForm4::PaintBox1MouseMove(Qt::MouseButtons buttons, int x, int) {
    SelectFrequencyByDrag(buttons, *faxis, x, Model());
}
