#include "axes/axis.h"

#include "core/base/numtext.h"
#include "platform/appexception.h"

#include <QAction>
#include <QBitmap>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>

#include <array>
#include <cmath>
#include <map>
#include <new>

using namespace ravlon;

// --- Cursors -------------------------------------------------------------------------

namespace {

// A 32x32 one-bit picture under construction.
class CursorGrid {
public:
    void Fill(int x0, int y0, int x1, int y1) {
        for (int y = std::max(y0, 0); y <= std::min(y1, 31); ++y)
            for (int x = std::max(x0, 0); x <= std::min(x1, 31); ++x) bits_[y][x] = true;
    }
    // Arrow head with its tip at row tipY on column 15, opening over `rows`
    // rows towards dir (+1 down the picture, -1 up).
    void Head(int tipY, int rows, int dir) {
        for (int i = 0; i < rows; ++i) Fill(15 - i, tipY + dir * i, 15 + i, tipY + dir * i);
    }
    CursorGrid Transposed() const {
        CursorGrid t;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) t.bits_[x][y] = bits_[y][x];
        return t;
    }
    bool At(int x, int y) const { return x >= 0 && x < 32 && y >= 0 && y < 32 && bits_[y][x]; }

    // Black shape with a one-pixel white outline (the mask is the shape grown by one).
    QCursor ToCursor(int hotX, int hotY) const {
        QImage shape(32, 32, QImage::Format_Mono);
        QImage mask(32, 32, QImage::Format_Mono);
        for (QImage* img : {&shape, &mask}) {
            img->setColorCount(2);
            img->setColor(0, qRgb(255, 255, 255));
            img->setColor(1, qRgb(0, 0, 0));
            img->fill(0);
        }
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                if (At(x, y)) shape.setPixel(x, y, 1);
                bool near = false;
                for (int dy = -1; dy <= 1 && !near; ++dy)
                    for (int dx = -1; dx <= 1 && !near; ++dx) near = At(x + dx, y + dy);
                if (near) mask.setPixel(x, y, 1);
            }
        return QCursor(QBitmap::fromImage(shape), QBitmap::fromImage(mask), hotX, hotY);
    }

private:
    std::array<std::array<bool, 32>, 32> bits_{};
};

// Vertical cursors; the horizontal ones are their mirror images along the diagonal.
CursorGrid UpperGrid() { // arrow up, standing on a bar at row 25
    CursorGrid g;
    g.Fill(5, 24, 25, 26);
    g.Fill(14, 9, 16, 23);
    g.Head(2, 8, +1);
    return g;
}

CursorGrid LowerGrid() { // bar at row 6, arrow down below it
    CursorGrid g;
    g.Fill(5, 5, 25, 7);
    g.Fill(14, 8, 16, 22);
    g.Head(29, 8, -1);
    return g;
}

CursorGrid MiddleGrid() { // bar at row 15, arrows up and down
    CursorGrid g;
    g.Fill(5, 14, 25, 16);
    g.Fill(14, 8, 16, 22);
    g.Head(1, 7, +1);
    g.Head(29, 7, -1);
    return g;
}

std::map<int, QCursor>& CursorRegistry() {
    static std::map<int, QCursor> registry;
    return registry;
}

void RegisterCursors() {
    auto& r = CursorRegistry();
    if (!r.empty()) return;
    r.emplace(crVUpper, UpperGrid().ToCursor(15, 25));
    r.emplace(crVLower, LowerGrid().ToCursor(15, 6));
    r.emplace(crVMiddle, MiddleGrid().ToCursor(15, 15));
    r.emplace(crHUpper, LowerGrid().Transposed().ToCursor(6, 15));
    r.emplace(crHLower, UpperGrid().Transposed().ToCursor(25, 15));
    r.emplace(crHMiddle, MiddleGrid().Transposed().ToCursor(15, 15));
    // Pixmaps must go before the application does.
    qAddPostRoutine([] { CursorRegistry().clear(); });
}

// Label extents for thinning. Widths carry two pixels of spacing: the thinning
// lets accepted labels touch, and "50" next to "100" would read as "50100".
class FontMeasurer : public AxisTextMeasurer {
public:
    explicit FontMeasurer(const QFont& font) : metrics_(font) {}
    int TextWidth(const std::string& text) const override {
        if (text.empty()) return 0;
        return metrics_.horizontalAdvance(QString::fromStdString(text)) + 2;
    }
    int TextHeight(const std::string&) const override { return metrics_.height(); }

private:
    QFontMetrics metrics_;
};

std::string LogEndMessage(const char* name, double value) {
    return std::string(name) + "=" + FloatToStr(value) + ", must be >0 for log scale!";
}

} // namespace

QCursor AxisCursor(int id) {
    RegisterCursors();
    const auto& r = CursorRegistry();
    const auto it = r.find(id);
    return it == r.end() ? QCursor(Qt::ArrowCursor) : it->second;
}

const char* AxisCursorName(int id) {
    switch (id) {
    case crVUpper:
        return "VUPPER";
    case crVLower:
        return "VLOWER";
    case crVMiddle:
        return "VMIDDLE";
    case crHUpper:
        return "HUPPER";
    case crHLower:
        return "HLOWER";
    case crHMiddle:
        return "HMIDDLE";
    default:
        return "";
    }
}

// --- TAxis -----------------------------------------------------------------------------

TAxis::TAxis(QWidget* parent)
    : QWidget(parent), FLimitForm(new TAxisLimitForm(this)), FMenu(new QMenu(this)) {
    FBackgroundColor = palette().color(QPalette::Button);
    resize(200, 200);
    InternalSetHi(1);
    InternalSetLo(0);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    RegisterCursors();
    FitAction = FMenu->addAction("Fit to data");
    LimitsAction = FMenu->addAction("Limits...");
    ResetAction = FMenu->addAction("Reset");
    connect(FitAction, &QAction::triggered, this, Guarded(this, [this] {
                if (FitToData()) FUserSet = true;
            }));
    connect(LimitsAction, &QAction::triggered, this, Guarded(this, [this] { ExecuteLimitForm(); }));
    connect(ResetAction, &QAction::triggered, this, Guarded(this, [this] { ResetRange(); }));
}

TAxis::~TAxis() = default;

void TAxis::Loaded() {
    MarkStale();
    RecalcTicks();
    FStartLo = FLoValue;
    FStartHi = FHiValue;
}

AxisTransform TAxis::Transform() const {
    AxisTransform t;
    t.lo = LoValue();
    t.hi = HiValue();
    t.width = width();
    t.height = height();
    t.position = FPosition;
    t.reverse = FReverse;
    t.logarithmic = FLogarithmic;
    return t;
}

void TAxis::EnsureTicks() {
    // A hidden widget gets its resize event only when shown; compare the size too.
    if (FTicksStale || FTicksSize != size()) RecalcTicks();
}

int TAxis::Length() const {
    return IsVerticalPosition(FPosition) ? height() : width();
}

void TAxis::RecalcTicks() {
    FTicksStale = false;
    FTicksSize = size();
    AxisTickSettings s;
    s.transform = Transform();
    s.rawLo = FLoValue;
    s.rawHi = FHiValue;
    s.musicScale = FMusicScale;
    s.tickSpaceAim = FTickSpaceAim;
    try {
        FTicks = ComputeAxisTicks(s, FontMeasurer(font()));
    } catch (const std::bad_alloc&) {
        FTicks.clear();
    }
    // Labels of another width: the window gives the axis another breadth.
    const int breadth = LabelBreadth();
    if (breadth != FBreadth) {
        FBreadth = breadth;
        updateGeometry();
    }
}

int TAxis::LabelBreadth() const {
    const QFontMetrics fm(font());
    const int tms = FTickMarkSize;
    if (!IsVerticalPosition(FPosition)) return tms + fm.height() + 2;
    // At least five digits wide, so a drag through "-50" .. "-100" rarely moves the plot.
    int widest = fm.horizontalAdvance("12345");
    for (const AxisTick& tick : FTicks)
        if (!tick.text.empty())
            widest = std::max(widest, fm.horizontalAdvance(QString::fromStdString(tick.text)));
    const int text = fm.horizontalAdvance(QString::fromStdString(FAxisText)) + tms;
    return std::max(widest + 2 * tms, text) + 2;
}

QSize TAxis::sizeHint() const {
    const int breadth = FBreadth > 0 ? FBreadth : LabelBreadth();
    return IsVerticalPosition(FPosition) ? QSize(breadth, 200) : QSize(200, breadth);
}

QSize TAxis::minimumSizeHint() const {
    const int breadth = FBreadth > 0 ? FBreadth : LabelBreadth();
    const QFontMetrics fm(font());
    return IsVerticalPosition(FPosition)
               ? QSize(breadth, 2 * fm.height())
               : QSize(fm.horizontalAdvance(QString::fromStdString(FAxisText) + "0000"), breadth);
}

// --- Ends and limits ---

double TAxis::LoValue() const {
    return ClampedLoValue(FLoValue, FLimits);
}

double TAxis::HiValue() const {
    return ClampedHiValue(FHiValue, FLoValue, FLimits);
}

void TAxis::InternalSetLo(double value) {
    if (value == FLoValue) return;
    MarkStale();
    FLoValue = value;
    if (FLogarithmic && !(value > 0)) throw EAxisError(LogEndMessage("LoValue", value));
    if (LoValue() > FMarkerValue) SetMarkerValue(LoValue());
    if (HiValue() < FMarkerValue) SetMarkerValue(HiValue());
    RecalcTicks();
    update();
}

void TAxis::InternalSetHi(double value) {
    if (value == FHiValue) return;
    MarkStale();
    FHiValue = value;
    if (FLogarithmic && !(value > 0)) throw EAxisError(LogEndMessage("HiValue", value));
    if (LoValue() > FMarkerValue) SetMarkerValue(LoValue());
    if (HiValue() < FMarkerValue) SetMarkerValue(HiValue());
    RecalcTicks();
    update();
}

void TAxis::SetLoValue(double value) {
    const double old = LoValue();
    MarkStale();
    InternalSetLo(value);
    if (old != value && !FInEvent) FireEvent(OnScaleChanged);
    update();
}

void TAxis::SetHiValue(double value) {
    const double old = HiValue();
    MarkStale();
    InternalSetHi(value);
    if (old != value && !FInEvent) FireEvent(OnScaleChanged);
    update();
}

void TAxis::SetRange(double low, double high) {
    MarkStale();
    const bool changed = LoValue() != low || HiValue() != high;
    InternalSetLo(low);
    InternalSetHi(high);
    if (changed && !FInEvent) FireEvent(OnScaleChanged);
    update();
}

void TAxis::SetMinLoValue(double value) {
    FLimits.MinLoValue = value;
    MarkStale();
    if (LoValue() < value) SetLoValue(value);
}

void TAxis::SetMaxLoValue(double value) {
    FLimits.MaxLoValue = value;
    MarkStale();
    if (LoValue() > value) SetLoValue(value);
    update();
}

void TAxis::SetMinHiValue(double value) {
    FLimits.MinHiValue = value;
    MarkStale();
    update();
}

void TAxis::SetMaxHiValue(double value) {
    FLimits.MaxHiValue = value;
    MarkStale();
    if (HiValue() > value) SetHiValue(value);
    update();
}

void TAxis::SetMinValueDifference(double value) {
    FLimits.MinValueDifference = value;
    MarkStale();
    update();
}

void TAxis::SetMaxValueDifference(double value) {
    FLimits.MaxValueDifference = value;
    MarkStale();
    update();
}

// --- Appearance ---

void TAxis::SetPosition(tposition value) {
    if (FInEvent) return;
    FPosition = value;
    MarkStale(); // the axis length changes with the direction
    FBreadth = 0;
    updateGeometry();
    update();
}

void TAxis::SetLogarithmic(bool value) {
    if (value && !FLogarithmic) {
        if (!(FLoValue > 0)) throw EAxisError(LogEndMessage("LoValue", FLoValue));
        if (!(FHiValue > 0)) throw EAxisError(LogEndMessage("HiValue", FHiValue));
    }
    FLogarithmic = value;
    MarkStale();
    RecalcTicks();
    update();
}

void TAxis::SetMusicScale(bool value) {
    FMusicScale = value;
    MarkStale();
    RecalcTicks();
    update();
}

void TAxis::SetShowTickmarks(bool value) {
    FShowTickmarks = value;
    AdjustSize();
    update();
}

void TAxis::SetBackgroundColor(const QColor& value) {
    FBackgroundColor = value;
    update();
}

void TAxis::SetTickMarkSize(int value) {
    FTickMarkSize = value;
    AdjustSize();
    update();
}

void TAxis::SetTickSpaceAim(int value) {
    MarkStale();
    FTickSpaceAim = value;
    update();
}

void TAxis::SetAxisText(const std::string& value) {
    MarkStale();
    FAxisText = value;
    update();
}

void TAxis::SetReverse(bool value) {
    MarkStale();
    FReverse = value;
    update();
}

void TAxis::SetIsInteger(bool value) {
    MarkStale();
    FLimits.IsInteger = value;
    update();
}

void TAxis::SetAutosize(bool value) {
    FAutosize = value;
    AdjustSize();
    update();
}

void TAxis::SetMarkerVisible(bool value) {
    FMarkerVisible = value;
    update();
}

void TAxis::AdjustSize() {
    if (!FAutosize) return;
    const QFontMetrics fm(font());
    if (IsVerticalPosition(FPosition))
        resize(fm.horizontalAdvance("12345") + FTickMarkSize, height());
    else
        resize(width(), fm.height() * 4 / 3 + FTickMarkSize);
    MarkStale();
}

void TAxis::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        MarkStale();
        AdjustSize();
        RecalcTicks();
        update();
    }
    QWidget::changeEvent(event);
}

// --- Marker ---

int TAxis::MarkerPixel() const {
    return ValueToPixelClamped(FMarkerValue);
}

void TAxis::SetMarkerPixel(int value) {
    SetMarkerValue(PixelToValue(value));
}

void TAxis::UpdateMarkerLine(int pixel) {
    if (IsVerticalPosition(FPosition))
        update(0, pixel - 1, width(), 3);
    else
        update(pixel - 1, 0, 3, height());
}

std::pair<int, int> TAxis::MarkerBand() const {
    const int tms = FTickMarkSize;
    switch (FPosition) {
    case posleft: // labels end 2 * TickMarkSize before the plot
        return {std::max(0, width() - 2 * tms), width() - 1};
    case posright:
        return {0, std::min(width() - 1, tms)};
    case posover:
        return {std::max(0, height() - tms), height() - 1};
    default: // posunder: labels start below the tick marks
        return {0, std::max(0, tms - 1)};
    }
}

void TAxis::SetMarkerValue(double value) {
    if (FInEvent) return;
    // Only the two lines are repainted: the old one without, the new one with the marker.
    if (FMarkerDrawnAt >= 0) UpdateMarkerLine(FMarkerDrawnAt);
    FMarkerValue = value;
    if (FMarkerVisible) UpdateMarkerLine(MarkerPixel());
}

// --- Ticks and conversions ---

int TAxis::TickCount() {
    EnsureTicks();
    return static_cast<int>(FTicks.size());
}

int TAxis::TickPixel(int index) {
    EnsureTicks();
    if (index < 0 || index >= static_cast<int>(FTicks.size()))
        throw EAxisError("Tickmark index out of range:" + std::to_string(index));
    return FTicks[static_cast<std::size_t>(index)].pixel;
}

std::string TAxis::TickText(int index) {
    EnsureTicks();
    if (index < 0 || index >= static_cast<int>(FTicks.size()))
        throw EAxisError("Tickmark index out of range:" + std::to_string(index));
    return FTicks[static_cast<std::size_t>(index)].text;
}

bool TAxis::TickIsMajor(int index) const {
    if (index < 0 || index >= static_cast<int>(FTicks.size())) return false;
    return FTicks[static_cast<std::size_t>(index)].major;
}

int TAxis::ValueToPixel(double value) const {
    return ravlon::ValueToPixel(Transform(), value);
}

int TAxis::ValueToPixelClamped(double value) const {
    return ravlon::ValueToPixelClamped(Transform(), value);
}

double TAxis::PixelToValue(int pixel) const {
    return ravlon::PixelToValue(Transform(), pixel);
}

// --- Painting ---

void TAxis::paintEvent(QPaintEvent*) {
    RecalcTicks();
    const int w = width();
    const int h = height();
    const int tms = FTickMarkSize;
    const int t = FPosition == posleft ? w - tms : FPosition == posover ? h - tms : 0;

    QPainter p(this);
    p.fillRect(rect(), FBackgroundColor);
    p.setFont(font());
    p.setPen(palette().color(QPalette::WindowText));
    FMarkerDrawnAt = -1;

    const QFontMetrics fm(font());
    const int textHeight = fm.height();
    const auto drawTop = [&](int x, int y, const QString& s) {
        p.drawText(QPoint(x, y + fm.ascent()), s);
    };
    const QString axisText = QString::fromStdString(FAxisText);
    const int axisTextWidth = fm.horizontalAdvance(axisText);

    if (IsVerticalPosition(FPosition)) {
        drawTop(w - tms - axisTextWidth, 0, axisText);
        FTextLimit = textHeight;
        for (const AxisTick& tick : FTicks) {
            if (tms > 0) p.drawLine(t, tick.pixel, t + tms - 1, tick.pixel);
            if (tick.text.empty()) continue;
            const QString label = QString::fromStdString(tick.text);
            const int top = tick.pixel - textHeight / 2;
            if (top >= FTextLimit && tick.pixel + textHeight / 2 < h) {
                const int x =
                    FPosition == posright ? tms + 1 : t - tms - fm.horizontalAdvance(label);
                drawTop(x, top, label);
            }
        }
    } else {
        drawTop(w - axisTextWidth, FPosition == posover ? t - textHeight : t + tms, axisText);
        FTextLimit = w - axisTextWidth;
        for (const AxisTick& tick : FTicks) {
            if (tms > 0) p.drawLine(tick.pixel, t, tick.pixel, t + tms - 1);
            if (tick.text.empty()) continue;
            const QString label = QString::fromStdString(tick.text);
            const int labelWidth = fm.horizontalAdvance(label);
            const int left = tick.pixel - labelWidth / 2;
            if (left >= 0 && tick.pixel + labelWidth / 2 < FTextLimit)
                drawTop(left, FPosition == posover ? t - textHeight : t + tms, label);
        }
    }

    if (FMarkerVisible) {
        // Inverting bar three pixels wide in the tick-mark band: XOR with
        // white flips every pixel it covers and leaves the labels readable.
        const int m = MarkerPixel();
        const auto [from, to] = MarkerBand();
        p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        const QRect bar = IsVerticalPosition(FPosition) ? QRect(from, m - 1, to - from + 1, 3)
                                                        : QRect(m - 1, from, 3, to - from + 1);
        p.fillRect(bar.intersected(rect()), Qt::white);
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
        FMarkerDrawnAt = m;
    }
}

// --- Events ---

void TAxis::FireEvent(const TNotifyEvent& handler) {
    if (!handler) return;
    const TNotifyEvent call = handler; // the handler may replace itself
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{FInEvent};
    FInEvent = true;
    call(this);
}

// --- Mouse ---

void TAxis::ChooseCursor(int coord) {
    const bool vertical = IsVerticalPosition(FPosition);
    const int mode = DragModeAt(vertical, coord, width(), height(),
                                {FAllowLoScroll, FAllowHiScroll, FAllowMidScroll});
    switch (mode) {
    case kDragHighEnd:
        setCursor(AxisCursor(vertical ? crVUpper : crHUpper));
        break;
    case kDragLowEnd:
        setCursor(AxisCursor(vertical ? crVLower : crHLower));
        break;
    case kDragRange:
        setCursor(AxisCursor(vertical ? crVMiddle : crHMiddle));
        break;
    default:
        unsetCursor();
        break;
    }
}

void TAxis::mousePressEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    int x = pos.x();
    int y = pos.y();
    const bool vertical = IsVerticalPosition(FPosition);
    int& along = vertical ? y : x;
    along = ClampDragStart(along, Length());
    FDragStart = along;
    FDragMode = DragModeAt(vertical, along, width(), height(),
                           {FAllowLoScroll, FAllowHiScroll, FAllowMidScroll});
    FDragHiValue = HiValue();
    FDragLoValue = LoValue();
    if (OnMouseDown) OnMouseDown(this, event->button(), event->modifiers(), x, y);
}

void TAxis::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    int x = pos.x();
    int y = pos.y();
    const bool vertical = IsVerticalPosition(FPosition);
    int& along = vertical ? y : x;

    if ((event->buttons() & Qt::LeftButton) && FDragMode != kDragNone) {
        const double lo0 = FLoValue, hi0 = FHiValue;
        along = ClampDragCoordinate(vertical, FDragMode, along, width(), height());
        if (FDragMode == kDragRange) {
            const AxisDragResult r = DragEnds(vertical, FLogarithmic, FDragMode, FDragStart, along,
                                              width(), height(), FDragLoValue, FDragHiValue);
            InternalSetHi(r.hi);
            InternalSetLo(r.lo);
        } else {
            try {
                const AxisDragResult r =
                    DragEnds(vertical, FLogarithmic, FDragMode, FDragStart, along, width(),
                             height(), FDragLoValue, FDragHiValue);
                const double v = r.setLo ? r.lo : r.hi;
                // A value the axis would reject is not stored: the end stays where it was.
                if (!(FLogarithmic && !(v > 0))) {
                    if (r.setLo) InternalSetLo(v);
                    if (r.setHi) InternalSetHi(v);
                }
            } catch (const std::exception&) {
                // Dragging an end past what can be computed leaves it as it was.
            }
        }
        if (FLoValue != lo0 || FHiValue != hi0) FUserSet = true;
    }
    if (FDragMode == kDragNone) ChooseCursor(along);
    if (FDragMode != kDragNone && (FAllowLoScroll || FAllowHiScroll)) FireEvent(OnScaleChanging);
    if (OnMouseMove) OnMouseMove(this, event->buttons(), event->modifiers(), x, y);
}

void TAxis::mouseReleaseEvent(QMouseEvent* event) {
    FDragMode = kDragNone;
    if (FAllowLoScroll || FAllowHiScroll) FireEvent(OnScaleChanged);
    if (OnMouseUp) {
        const QPoint pos = event->position().toPoint();
        OnMouseUp(this, event->button(), event->modifiers(), pos.x(), pos.y());
    }
}

// Every handler of the widget may raise (a rejected end, an event handler of
// the owner): what it raises goes to the application's handler, never
// through Qt's event code.
bool TAxis::event(QEvent* e) {
    bool handled = false;
    RunGuarded(this, [&] { handled = QWidget::event(e); });
    return handled;
}

void TAxis::mouseDoubleClickEvent(QMouseEvent* event) {
    if (!FAllowDoubleClick) {
        QWidget::mouseDoubleClickEvent(event); // an ordinary press
        return;
    }
    ExecuteLimitForm();
}

void TAxis::ExecuteLimitForm() {
    FDragMode = kDragNone;
    const double oldLo = LoValue(), oldHi = HiValue();
    FLimitForm->SetLow(oldLo);
    FLimitForm->SetHigh(oldHi);
    if (FLimitForm->Execute()) {
        SetRange(FLimitForm->GetLow(), FLimitForm->GetHigh());
        FUserSet = true;
        if (LoValue() != oldLo || HiValue() != oldHi) FireEvent(OnScaleChanging);
    }
    FireEvent(OnScaleChanged);
    FDragMode = kDragNone;
}

void TAxis::SetRangeAsDragged(double low, double high) {
    const double oldLo = LoValue(), oldHi = HiValue();
    MarkStale();
    InternalSetLo(low);
    InternalSetHi(high);
    if (FInEvent || (LoValue() == oldLo && HiValue() == oldHi)) return;
    FireEvent(OnScaleChanging);
    FireEvent(OnScaleChanged);
}

bool TAxis::FitToData() {
    if (!OnDataRange) return false;
    const std::optional<AxisRange> data = OnDataRange();
    AxisRange r;
    if (!data || !FitAxisRange(data->lo, data->hi, FLogarithmic, FFitMargin, r)) return false;
    SetRangeAsDragged(r.lo, r.hi);
    return true;
}

void TAxis::ResetRange() {
    FUserSet = false;
    SetRangeAsDragged(FStartLo, FStartHi);
}

void TAxis::contextMenuEvent(QContextMenuEvent* event) {
    // The menu takes the button's release: the press ends here as a release would.
    if (FDragMode != kDragNone) {
        FDragMode = kDragNone;
        if (FAllowLoScroll || FAllowHiScroll) FireEvent(OnScaleChanged);
    }
    bool data = false;
    try {
        data = OnDataRange && OnDataRange().has_value();
    } catch (const std::exception&) {
        // Data that cannot be measured cannot be fitted to.
    }
    FitAction->setEnabled(data);
    FMenu->exec(event->globalPos());
}
