// The report's graphs.
#include "report/report_graphs.h"

#include "core/axes/axis_math.h"
#include "core/session/session_report.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace ravlon {

namespace {

const QColor kT20Colour(30, 90, 200);
const QColor kT30Colour(200, 40, 40);
const QColor kGrid(210, 210, 210);

class FontTextMeasurer : public AxisTextMeasurer {
public:
    explicit FontTextMeasurer(const QFont& font) : metrics_(font) {}
    int TextWidth(const std::string& text) const override {
        return metrics_.horizontalAdvance(QString::fromStdString(text));
    }
    int TextHeight(const std::string&) const override { return metrics_.height(); }

private:
    QFontMetrics metrics_;
};

// The ticks within the ends, labelled with "." whatever the user's locale:
// a report is a file.
std::vector<AxisTick> Ticks(const AxisTickSettings& s, const QFont& font) {
    std::vector<AxisTick> ticks;
    const double margin = 1e-9 * (s.transform.hi - s.transform.lo);
    for (AxisTick& tick : ComputeAxisTicks(s, FontTextMeasurer(font))) {
        if (tick.value < s.transform.lo - margin || tick.value > s.transform.hi + margin) continue;
        if (!tick.text.empty())
            tick.text = ReportNumber(std::abs(tick.value) < margin ? 0 : tick.value, 6);
        ticks.push_back(std::move(tick));
    }
    return ticks;
}

// A white picture with a frame: the plot rectangle, fonts set.
struct Canvas {
    QImage image;
    QPainter painter;
    QRect plot;
    int fontPixels;
    // fontPixels: the text size in the picture's pixels (the picture is laid
    // out smaller on the page).
    Canvas(QSize size, int fontPixels) : image(size, QImage::Format_RGB32), fontPixels(fontPixels) {
        image.fill(Qt::white);
        painter.begin(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        QFont font = painter.font();
        font.setPixelSize(fontPixels);
        painter.setFont(font);
        const QFontMetrics fm(font);
        plot = QRect(fm.horizontalAdvance("00.00") + fm.height() + 10, 2 * fm.height() + 6, 0, 0);
        plot.setRight(size.width() - fm.horizontalAdvance("00") - 4);
        plot.setBottom(size.height() - 2 * fm.height() - 10);
    }
    AxisTransform Transform(bool vertical, double lo, double hi, bool logarithmic) const {
        AxisTransform t;
        t.lo = lo;
        t.hi = hi;
        t.width = plot.width();
        t.height = plot.height();
        t.position = vertical ? posleft : posunder;
        t.logarithmic = logarithmic;
        return t;
    }
    int X(const AxisTransform& t, double v) const { return plot.left() + ValueToPixel(t, v); }
    int Y(const AxisTransform& t, double v) const { return plot.top() + ValueToPixel(t, v); }

    // Grid and labels of a linear vertical axis, the unit above it.
    void VerticalAxis(const AxisTransform& t, const QString& unit) {
        AxisTickSettings s;
        s.transform = t;
        s.rawLo = t.lo;
        s.rawHi = t.hi;
        s.tickSpaceAim = 3 * fontPixels;
        const QFontMetrics fm(painter.font());
        for (const AxisTick& tick : Ticks(s, painter.font())) {
            const int y = plot.top() + tick.pixel;
            painter.setPen(kGrid);
            painter.drawLine(plot.left(), y, plot.right(), y);
            if (tick.text.empty()) continue;
            painter.setPen(Qt::black);
            const QString text = QString::fromStdString(tick.text);
            painter.drawText(plot.left() - 6 - fm.horizontalAdvance(text), y + fm.ascent() / 2,
                             text);
        }
        painter.drawText(4, plot.top() - fm.descent() - 4, unit);
    }
    void HorizontalLabel(int x, const QString& text) {
        const QFontMetrics fm(painter.font());
        painter.setPen(Qt::black);
        painter.drawText(x - fm.horizontalAdvance(text) / 2, plot.bottom() + fm.height() + 2, text);
    }
    void Frame(const QString& title, const QString& unit) {
        const QFontMetrics fm(painter.font());
        painter.setPen(Qt::black);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(plot);
        painter.drawText(plot.right() - fm.horizontalAdvance(unit),
                         plot.bottom() + 2 * fm.height() + 6, unit);
        QFont bold = painter.font();
        bold.setBold(true);
        painter.setFont(bold);
        painter.drawText(plot.left(), fm.height(), title);
    }
};

void Marker(QPainter& p, QPointF at, bool square, const QColor& colour, bool filled) {
    p.setPen(QPen(colour, 1.5));
    p.setBrush(filled ? QBrush(colour) : QBrush(Qt::white));
    const QRectF r(at.x() - 4, at.y() - 4, 8, 8);
    if (square)
        p.drawRect(r);
    else
        p.drawEllipse(r);
}

} // namespace

QImage ReverberationGraph(const TSessionAverage& average, QSize size) {
    Canvas c(size, std::max(11, size.width() / 50));
    QPainter& p = c.painter;
    double top = 0.1;
    for (const TAveragedBand& b : average.Bands)
        for (const TAveragedValue* v : {&b.T20, &b.T30})
            if (v->HasValue())
                top = std::max(top, v->Mean + (std::isfinite(v->Uncertainty) ? v->Uncertainty : 0));
    const double lowest = average.Bands.empty() ? 100 : average.Bands.front().Band.Nominal;
    const double highest = average.Bands.empty() ? 1000 : average.Bands.back().Band.Nominal;
    const AxisTransform h = c.Transform(false, lowest / 1.4, highest * 1.4, true);
    const AxisTransform v = c.Transform(true, 0, top * 1.15, false);
    c.VerticalAxis(v, "T [s]");
    for (const TAveragedBand& b : average.Bands) {
        // Third octaves: the octave centres only, or the labels collide.
        const bool label = average.Set == TBandSet::Octave ||
                           std::fmod(std::round(3 * std::log2(b.Band.Centre / 1000.0)), 3) == 0;
        if (!label) continue;
        const int x = c.X(h, b.Band.Nominal);
        p.setPen(kGrid);
        p.drawLine(x, c.plot.top(), x, c.plot.bottom());
        c.HorizontalLabel(x, QString::fromStdString(ReportNumber(b.Band.Nominal, 5)));
    }
    for (auto [measure, offset, colour, square] :
         {std::tuple{&TAveragedBand::T20, -4, kT20Colour, true},
          std::tuple{&TAveragedBand::T30, 4, kT30Colour, false}}) {
        QPainterPath line;
        bool started = false;
        for (const TAveragedBand& b : average.Bands) {
            const TAveragedValue& value = b.*measure;
            if (!value.HasValue()) {
                started = false;
                continue;
            }
            const QPointF at(c.X(h, b.Band.Nominal) + offset, c.Y(v, value.Mean));
            started ? line.lineTo(at) : line.moveTo(at);
            started = true;
        }
        p.setPen(QPen(colour, 1));
        p.setBrush(Qt::NoBrush);
        p.drawPath(line);
        for (const TAveragedBand& b : average.Bands) {
            const TAveragedValue& value = b.*measure;
            if (!value.HasValue()) continue;
            const double x = c.X(h, b.Band.Nominal) + offset;
            if (std::isfinite(value.Uncertainty)) {
                const double y1 = c.Y(v, value.Mean - value.Uncertainty);
                const double y2 = c.Y(v, value.Mean + value.Uncertainty);
                p.setPen(QPen(colour, 1.5));
                p.drawLine(QPointF(x, y1), QPointF(x, y2));
                p.drawLine(QPointF(x - 3, y1), QPointF(x + 3, y1));
                p.drawLine(QPointF(x - 3, y2), QPointF(x + 3, y2));
            }
            Marker(p, QPointF(x, c.Y(v, value.Mean)), square, colour, !value.FewPositions);
        }
    }
    c.Frame("Averaged reverberation time, error bars ±u", "f [Hz]");
    // Legend, top right.
    const QFontMetrics fm(p.font());
    int x = c.plot.right() - fm.horizontalAdvance("T20   T30   hollow: valid at < half") - 30;
    const int y = c.plot.top() + fm.height();
    Marker(p, QPointF(x, y - fm.ascent() / 3), true, kT20Colour, true);
    p.setPen(Qt::black);
    p.drawText(x + 8, y, "T20");
    x += 8 + fm.horizontalAdvance("T20  ") + 6;
    Marker(p, QPointF(x, y - fm.ascent() / 3), false, kT30Colour, true);
    p.setPen(Qt::black);
    p.drawText(x + 8, y, "T30   hollow: valid at < half");
    p.end();
    return c.image;
}

QImage DecayGraph(const TBandResult& band, QSize size) {
    Canvas c(size, std::max(11, size.width() / 30));
    QPainter& p = c.painter;
    const TDecayCurve& d = band.Decay;
    const int32_t n = static_cast<int32_t>(d.Level.size());
    const double t0 = n > 0 ? std::max(d.Time0, -0.1) : 0;
    const double t1 = n > 0 ? std::max(d.TimeAt(n - 1), t0 + 0.1) : 1;
    const AxisTransform h = c.Transform(false, t0, t1, false);
    const AxisTransform v = c.Transform(true, -80, 10, false);
    c.VerticalAxis(v, "L [dB]");
    AxisTickSettings s;
    s.transform = h;
    s.rawLo = t0;
    s.rawHi = t1;
    s.tickSpaceAim = 4 * c.fontPixels;
    for (const AxisTick& tick : Ticks(s, p.font())) {
        const int x = c.plot.left() + tick.pixel;
        p.setPen(kGrid);
        p.drawLine(x, c.plot.top(), x, c.plot.bottom());
        if (!tick.text.empty()) c.HorizontalLabel(x, QString::fromStdString(tick.text));
    }
    p.save();
    p.setClipRect(c.plot);
    QPainterPath curve;
    bool started = false;
    for (int32_t k = 0; k < n; ++k) {
        const double t = d.TimeAt(k);
        if (t < t0 || !std::isfinite(d.Level[static_cast<size_t>(k)])) {
            started = false;
            continue;
        }
        const QPointF at(c.X(h, t), c.Y(v, std::max(d.Level[static_cast<size_t>(k)], -200.0)));
        started ? curve.lineTo(at) : curve.moveTo(at);
        started = true;
    }
    p.setPen(QPen(QColor(30, 30, 90), std::max(1, c.fontPixels / 10)));
    p.setBrush(Qt::NoBrush);
    p.drawPath(curve);
    const bool t30 = band.T30.HasValue();
    const TDecayFit& fit = t30 ? band.T30 : band.T20;
    if (fit.HasValue() && fit.FirstFrame >= 0 && fit.LastFrame >= fit.FirstFrame) {
        const double a = d.TimeAt(fit.FirstFrame), b = d.TimeAt(fit.LastFrame);
        p.setPen(QPen(t30 ? kT30Colour : kT20Colour, std::max(2, c.fontPixels / 6), Qt::DashLine));
        p.drawLine(QPointF(c.X(h, a), c.Y(v, fit.Intercept + fit.Slope * a)),
                   QPointF(c.X(h, b), c.Y(v, fit.Intercept + fit.Slope * b)));
    }
    p.restore();
    const std::string title =
        ReportNumber(band.Band.Nominal, 5) + " Hz: " + (t30 ? "T30 " : "T20 ") +
        (fit.HasValue() ? ReportNumber(fit.T) + " s" + (fit.Valid() ? "" : " (not valid)")
                        : std::string("-"));
    c.Frame(QString::fromStdString(title), "t [s]");
    p.end();
    return c.image;
}

} // namespace ravlon
