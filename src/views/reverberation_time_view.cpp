#include "views/reverberation_time_view.h"

#include "core/base/numtext.h"
#include "core/views/data_range.h"
#include "core/views/view_math.h"
#include "platform/appexception.h"
#include "views/response_view.h"
#include "widgets/data_fit.h"

#include <QEvent>
#include <QPainter>

#include <algorithm>

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
    : TResultView(model, showAction, "Ravlon - Reverberation time",
                  {{100, "99999 Hz"}, {50, "T60=99.999 s"}}, false, kT60ViewChanges, parent) {
    taxis = MakeViewAxis(posleft, false, 0, 4, "[s]");
    faxis = MakeViewAxis(posunder, true, 20, 20000, "[Hz]");
    SetAxes(taxis, faxis);
    PaintBox1->setMouseTracking(true);
    PaintBox1->installEventFilter(this);
    SetDataRange(taxis, kDataFitMargin,
                 [this] { return ZeroToLargest(Model().Evaluation().T60Values); });
    SetDataRange(faxis, 0, [this] { return FrequencyRange(Model().Store()); });
    FitStartSize();
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
    mouseX_ = x;
    SelectFrequencyByDrag(buttons, *faxis, x, Model());
    ShowReadOut();
}

void TForm4::ModelChanged(unsigned changes) {
    if (changes & (ChangeSetup | ChangeStore | ChangeFrequency | ChangeDrops)) ShowReadOut();
}

void TForm4::showEvent(QShowEvent* event) {
    TResultView::showEvent(event);
    ShowReadOut();
}

bool TForm4::eventFilter(QObject* watched, QEvent* event) {
    if (watched == PaintBox1 && event->type() == QEvent::Leave) {
        mouseX_ = -1;
        RunGuarded(this, [this] { ShowReadOut(); });
    }
    return TResultView::eventFilter(watched, event);
}

void TForm4::ShowReadOut() {
    // A hidden view reads nothing out; it does when it is shown.
    if (!isVisible()) return;
    const TSpectrogram& s = Model().Store();
    double f = mouseX_ >= 0 ? faxis->PixelToValue(mouseX_) : Model().Frequency();
    // The bin a column beyond half the sampling rate shows is the last one.
    if (s.SampFreq() > 0) f = std::clamp(f, 0.0, s.SampFreq() / 2.0);
    SetStatusText(0, FormatSignificant(5, SnappedFrequency(f, s.Bins(), s.SampFreq())) + " Hz");
    std::string t60 = "T60= ?";
    try {
        const double t = ColumnValue(Model().Evaluation().T60Values, f, s.SampFreq());
        if (t > 0) t60 = "T60=" + FormatSignificant(5, t) + " s";
    } catch (const std::exception&) {
        // No evaluation yet, or none for this store: no value to show.
    }
    SetStatusText(1, t60);
}
