#include "widgets/input_meter_view.h"

#include "core/base/numtext.h"
#include "core/measure/input_meter.h"

#include <QPainter>

#include <algorithm>

namespace {

const char* const kClip = "CLIP";

QString Level(const char* what, double dB) {
    const std::string value = dB <= ravlon::TInputMeter::MeterFloor
                                  ? std::string("-inf")
                                  : ravlon::FormatFloat("0.0", dB);
    return QString("%1 %2 dBFS").arg(what, QString::fromStdString(value));
}

} // namespace

TInputMeterView::TInputMeterView(const ravlon::TInputMeter& meter, QWidget* parent)
    : QWidget(parent), meter_(meter) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setToolTip("Input level of the last buffer: RMS (bar), peak (line) and the highest peak "
               "of the last seconds (tick). CLIP lights when a sample reached full scale.");
}

void TInputMeterView::SetActive(bool active) {
    if (active == active_) return;
    active_ = active;
    update();
}

QString TInputMeterView::LevelText() const {
    if (!active_) return {};
    return Level("Peak", meter_.Peak()) + "\n" + Level("RMS", meter_.Rms());
}

int TInputMeterView::BarHeight() const {
    return fontMetrics().height();
}

int TInputMeterView::ClipWidth() const {
    return fontMetrics().horizontalAdvance(kClip) + 8;
}

QSize TInputMeterView::minimumSizeHint() const {
    const QFontMetrics fm = fontMetrics();
    // The widest numbers the meter can show.
    const int text = std::max(fm.horizontalAdvance(Level("Peak", -100.5)),
                              fm.horizontalAdvance(Level("RMS", -100.5)));
    return {std::max(text, 40 + ClipWidth()), BarHeight() + 2 + 2 * fm.height()};
}

QSize TInputMeterView::sizeHint() const {
    return minimumSizeHint();
}

void TInputMeterView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QFontMetrics fm = fontMetrics();
    const int h = BarHeight(), clipW = ClipWidth();
    const QRect bar(0, 0, std::max(1, width() - clipW - 3), h);
    const QRect clip(width() - clipW, 0, clipW, h);
    p.fillRect(bar, palette().color(QPalette::Base));
    auto x = [&](double dB) {
        const double f = std::clamp((dB - MinLevel) / -MinLevel, 0.0, 1.0);
        return bar.left() + int(f * (bar.width() - 1));
    };
    if (active_) {
        const QColor fill = meter_.Rms() > -6 ? QColor(230, 140, 0) : QColor(40, 170, 60);
        p.fillRect(QRect(bar.left(), bar.top(), x(meter_.Rms()) - bar.left(), h), fill);
        p.fillRect(QRect(x(meter_.Peak()) - 1, bar.top(), 2, h), QColor(20, 90, 30));
        p.fillRect(QRect(x(meter_.HeldPeak()) - 1, bar.top(), 3, h), QColor(200, 0, 0));
    }
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(bar.adjusted(0, 0, -1, -1));

    const bool lit = active_ && meter_.Clipped();
    p.fillRect(clip, lit ? QColor(220, 0, 0) : palette().color(QPalette::Button));
    p.setPen(lit ? QColor(Qt::white) : palette().color(QPalette::Mid));
    p.drawRect(clip.adjusted(0, 0, -1, -1));
    p.drawText(clip, Qt::AlignCenter, kClip);

    // Idle, the view says what it is.
    p.setPen(palette().color(active_ ? QPalette::WindowText : QPalette::Mid));
    const QStringList lines = active_ ? LevelText().split('\n') : QStringList{"Input level"};
    for (int i = 0; i < lines.size(); ++i)
        p.drawText(QRect(0, h + 2 + i * fm.height(), width(), fm.height()),
                   Qt::AlignLeft | Qt::AlignVCenter, lines[i]);
}
