#include "views/response_view.h"

#include "core/base/numtext.h"
#include "core/views/data_range.h"
#include "core/views/view_math.h"

#include <QPainter>

using namespace ravlon;

TForm3::TForm3(MeasurementModel& model, QAction* showAction, QWidget* parent)
    : TResultView(model, showAction, "Ravlon - Response",
                  {{100, "99.999 s"}, {50, "99999 Hz, -99.99 dB"}}, false,
                  ChangeSetup | ChangeStore | ChangeFrequency | ChangeTime, parent),
      fit_(model) {
    laxis = MakeViewAxis(posleft, false, -50, 50, "[dB]");
    faxis = MakeViewAxis(posunder, true, 20, 20000, "[Hz]");
    SetAxes(laxis, faxis);
    // Both curves over the frequencies shown, fitted at every new analysis.
    SetDataRange(laxis, kDataFitMargin, [this] {
        const TSpectrogram& s = Model().Store();
        return ResponseLevelRange(s, TimeToFrame(SnappedTime(), s.Frames(), s.Pos3(), s.SampFreq()),
                                  faxis->LoValue(), faxis->HiValue());
    });
    SetDataRange(faxis, 0, [this] { return FrequencyRange(Model().Store()); });
    fit_.Add(laxis);
    FitStartSize();
}

void TForm3::ModelChanged(unsigned changes) {
    if (changes & ChangeTime) SetStatusText(0, FormatSignificant(5, Time()) + " s");
}

void PaintSelectedFrequency(QPainter& canvas, TAxis& faxis, int height,
                            const MeasurementModel& model) {
    canvas.setPen(QPen(QColor(200, 100, 100), 1, Qt::DotLine));
    int x = faxis.ValueToPixelClamped(model.SnappedFrequency());
    canvas.drawLine(x, 0, x, height - 1);
    canvas.setPen(QPen(QColor(200, 100, 100), 1, Qt::SolidLine));
}

void TForm3::PaintBox1Paint(QPainter& canvas) {
    try {
        PaintFrameAndGrid(canvas);
        const TSpectrogram& s = Model().Store();
        int32_t fr = TimeToFrame(SnappedTime(), s.Frames(), s.Pos3(), s.SampFreq());
        auto curve = [&](const QColor& colour, auto levelOfBin) {
            canvas.setPen(colour);
            QPoint last;
            for (int x = 0; x < faxis->width(); ++x) {
                int32_t b = FrequencyToBin(faxis->PixelToValue(x), s.Bins(), s.SampFreq());
                QPoint p(x, laxis->ValueToPixelClamped(levelOfBin(static_cast<size_t>(b))));
                if (x > 0) canvas.drawLine(last, p);
                last = p;
            }
        };
        curve(QColor(255, 0, 0), [&](size_t b) {
            return PowerToDecibels(FDiv(s.SpecSum(fr)[b], s.SpecCount()[static_cast<size_t>(fr)]));
        });
        curve(QColor(0, 0, 255), [&](size_t b) {
            return PowerToDecibels(
                FDiv(s.NoiseSpecSum()[b], static_cast<double>(s.NoiseSpecCount())));
        });
        PaintSelectedFrequency(canvas, *faxis, PaintBox1->height(), Model());
    } catch (const std::exception&) {
        // The first failure ends this repaint; what is drawn stays.
    }
    canvas.setPen(QPen(canvas.pen().color(), 1, Qt::SolidLine));
}

void TForm3::PaintBox1MouseMove(Qt::MouseButtons buttons, int x, int y) {
    if (!(buttons & Qt::LeftButton)) return;
    double f = faxis->PixelToValue(x), l = laxis->PixelToValue(y);
    SetStatusText(1, FormatSignificant(5, f) + " Hz, " + FormatFloat("0.00", l) + " dB");
    Model().SetFrequency(f);
}
