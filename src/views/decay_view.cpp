#include "views/decay_view.h"

#include "core/base/numtext.h"
#include "core/views/data_range.h"
#include "core/views/view_math.h"
#include "platform/appexception.h"

#include <QLabel>
#include <QLineEdit>
#include <QPainter>

using namespace ravlon;

TForm2::TForm2(MeasurementModel& model, QAction* showAction, QWidget* parent)
    : TResultView(model, showAction, "Ravlon - decay",
                  {{60, "99999 Hz"}, {100, "T60=99.999 s"}, {50, "99.999 s, -99.99 dB"}}, true,
                  ChangeSetup | ChangeStore | ChangeFrequency | ChangeDrops, parent),
      fit_(model) {
    Label1 = new QLabel("Initial drop [dB]", Panel2);
    initialleveledit = new QLineEdit("5", Panel2);
    AddSetting(Label1, initialleveledit);
    Label2 = new QLabel("Additional drop [dB]", Panel2);
    additionalleveledit = new QLineEdit("15", Panel2);
    AddSetting(Label2, additionalleveledit);
    laxis = MakeViewAxis(posleft, false, -50, 50, "[dB]");
    taxis = MakeViewAxis(posunder, false, 0, 10, "[s]");
    SetAxes(laxis, taxis);
    // The selected bin's decay and steady level, fitted at every new analysis.
    SetDataRange(laxis, kDataFitMargin, [this] {
        const TSpectrogram& s = Model().Store();
        return DecayLevelRange(s, FrequencyToBin(Frequency(), s.Bins(), s.SampFreq()));
    });
    SetDataRange(taxis, 0, [this] { return CycleTimeRange(Model().Store()); });
    fit_.Add(laxis);
    FitStartSize();
    connect(initialleveledit, &QLineEdit::textChanged, this,
            Guarded(this, [this] { initialleveleditChange(); }));
    connect(additionalleveledit, &QLineEdit::textChanged, this,
            Guarded(this, [this] { additionalleveleditChange(); }));
}

void TForm2::ModelChanged(unsigned changes) {
    // A new set-up has other bins: the selected frequency snaps to another one.
    if (changes & (ChangeFrequency | ChangeSetup))
        SetStatusText(0, FormatSignificant(5, SnappedFrequency()) + " Hz");
    if (changes & ChangeDrops) ShowDrops();
    // A new set-up: the time axis spans the new cycle.
    if (changes & ChangeSetup) {
        const TSpectrogram& s = Model().Store();
        taxis->SetMaxHiValue(FDiv(s.Pos3(), s.SampFreq()));
        taxis->SetHiValue(taxis->MaxHiValue());
        taxis->SetLoValue(0);
        taxis->SetMinLoValue(0);
    }
}

void TForm2::SetInitialDrop(double v) {
    Model().SetInitialDrop(v);
    ShowDrop(initialleveledit, v);
}

void TForm2::SetAdditionalDrop(double v) {
    Model().SetAdditionalDrop(v);
    ShowDrop(additionalleveledit, v);
}

// The edit shows v in the general float-to-text form; writing it raises the
// change event once more, which finds the same value and stops there.
void TForm2::ShowDrop(QLineEdit* edit, double v) {
    const QString text = QString::fromStdString(FloatToStr(v));
    if (edit->text() != text) edit->setText(text);
}

// Drops set elsewhere reach the edits; an edit the user is typing into (a text
// that does not parse, or one that already means the value) stays as it is.
void TForm2::ShowDrops() {
    double v = 0;
    for (auto [edit, value] : {std::pair{initialleveledit, InitialDrop()},
                               std::pair{additionalleveledit, AdditionalDrop()}})
        if (TryStrToFloat(edit->text().toStdString(), v) && v != value) ShowDrop(edit, value);
}

void TForm2::DropEditChanged(QLineEdit* edit, void (TForm2::*setter)(double)) {
    double v = 0;
    // A text that does not parse leaves the drop as it was; the views that
    // depend on the drops repaint all the same.
    if (TryStrToFloat(edit->text().toStdString(), v))
        (this->*setter)(v);
    else
        Model().Changed(ChangeDrops);
}

void TForm2::initialleveleditChange() {
    DropEditChanged(initialleveledit, &TForm2::SetInitialDrop);
}

void TForm2::additionalleveleditChange() {
    DropEditChanged(additionalleveledit, &TForm2::SetAdditionalDrop);
}

void TForm2::PaintBox1Paint(QPainter& canvas) {
    try {
        PaintFrameAndGrid(canvas);
        PaintCurves(canvas);
    } catch (const std::exception&) {
        // The first failure ends this repaint; what is drawn stays.
    }
    canvas.setPen(QPen(canvas.pen().color(), 1, Qt::SolidLine));
}

void TForm2::PaintCurves(QPainter& canvas) {
    const TSpectrogram& s = Model().Store();
    const int32_t frames = s.Frames(), bins = s.Bins();
    const int w = PaintBox1->width(), h = PaintBox1->height();
    int32_t b = FrequencyToBin(Frequency(), bins, s.SampFreq());
    auto level = [&](int32_t fr) {
        return PowerToDecibels(
            FDiv(s.SpecSum(fr)[static_cast<size_t>(b)], s.SpecCount()[static_cast<size_t>(fr)]));
    };
    // Decay by pixel column, black.
    canvas.setPen(Qt::black);
    QPoint last;
    for (int x = 0; x < taxis->width(); ++x) {
        int32_t fr = TimeToFrame(taxis->PixelToValue(x), frames, s.Pos3(), s.SampFreq());
        QPoint p(x, laxis->ValueToPixelClamped(level(fr)));
        if (x > 0) canvas.drawLine(last, p);
        last = p;
    }
    // Decay by frame, red, over the black one.
    canvas.setPen(QColor(255, 0, 0));
    for (int32_t fr = 0; fr < frames; ++fr) {
        double t = FrameToCurveTime(fr, frames, s.Pos3(), s.SampFreq());
        QPoint p(taxis->ValueToPixelClamped(t), laxis->ValueToPixelClamped(level(fr)));
        if (p.x() != 0) canvas.drawLine(last, p);
        last = p;
    }
    // The steady level and the two thresholds, dashed.
    canvas.setPen(QPen(QColor(100, 100, 200), 1, Qt::DashLine));
    double l0 = PowerToDecibels(
        FDiv(s.NoiseSpecSum()[static_cast<size_t>(b)], static_cast<double>(s.NoiseSpecCount())));
    for (double l : {l0, l0 - InitialDrop(), l0 - InitialDrop() - AdditionalDrop()}) {
        int y = laxis->ValueToPixelClamped(l);
        canvas.drawLine(0, y, w - 1, y);
    }
    // Where the current evaluation started and ended; an evaluation that
    // fails (no noise reference, a frame without spectra) ends the repaint here.
    const T60Evaluation& e = Model().Evaluation();
    auto [start, end] = MarkerTimes(e.StartFrames, e.EndFrames, b, s.FFT().FFTSize(), s.SampFreq());
    for (double t : {start, end}) {
        int x = taxis->ValueToPixelClamped(t);
        canvas.drawLine(x, 0, x, h - 1);
    }
    // The hand-drawn line; not clamped, it may run off the plot.
    canvas.setPen(QColor(0, 150, 0));
    canvas.drawLine(taxis->ValueToPixel(LineTime1), laxis->ValueToPixel(LineLevel1),
                    taxis->ValueToPixel(LineTime2), laxis->ValueToPixel(LineLevel2));
}

void TForm2::PaintBox1MouseDown(Qt::MouseButtons buttons, int x, int y) {
    if (!LineStarted) {
        LineStarted = true;
        LineTime1 = LineTime2 = taxis->PixelToValue(x);
        LineLevel1 = LineLevel2 = laxis->PixelToValue(y);
    }
    PaintBox1MouseMove(buttons, x, y);
}

void TForm2::PaintBox1MouseMove(Qt::MouseButtons buttons, int x, int y) {
    if (buttons & Qt::RightButton) {
        LineStarted = false;
        RepaintPlot();
    }
    if (!(buttons & Qt::LeftButton)) return;
    auto dist2 = [&](double t, double l) {
        long dx = x - taxis->ValueToPixelClamped(t), dy = y - laxis->ValueToPixelClamped(l);
        return dx * dx + dy * dy;
    };
    double t = taxis->PixelToValue(x), l = laxis->PixelToValue(y);
    if (dist2(LineTime1, LineLevel1) < dist2(LineTime2, LineLevel2)) {
        LineTime1 = t;
        LineLevel1 = l;
    } else {
        LineTime2 = t;
        LineLevel2 = l;
    }
    RepaintPlot();
    SetStatusText(2, FormatSignificant(5, t) + " s, " + FormatFloat("0.00", l) + " dB");
    try {
        double t60 = LineT60(LineTime1, LineLevel1, LineTime2, LineLevel2);
        SetStatusText(1, "T60=" + FormatSignificant(5, t60) + " s");
    } catch (const std::exception&) {
        SetStatusText(1, "T60= ?");
    }
}
