// TAxis (unit saxes): one plot axis (scale, tick marks, labels, unit text) on a linear,
// decade-logarithmic or musical-note scale, and the single place where the
// plots convert between values and pixels. The user drags the ends or the
// whole range with the mouse; a double click (when allowed) opens
// TAxisLimitForm to type both ends; the context menu (right button) offers
// "Fit to data", "Limits..." and "Reset".
//
// Contract:
// - UI thread only.
// - LoValue/HiValue return the stored ends clamped through the limit
//   properties (and rounded with IsInteger); the stored ends are never
//   clamped, so the order in which properties are set does not matter.
// - Pixel p of the axis is pixel p of a plot of the same length placed beside
//   it: Height for posleft/posright, Width for posover/posunder. Vertical axes
//   have the low end at the bottom; Reverse mirrors the scale.
// - The conversions never throw; a value that cannot be placed gives pixel 0
//   along the axis, a pixel that cannot be read gives the low end.
// - A non-positive end on a logarithmic axis raises EAxisError when set and
//   stays stored; the axis keeps painting with linear ticks meanwhile.
// - OnScaleChanging fires on every mouse move of a drag, OnScaleChanged when
//   a change is complete (release, SetRange, the end setters, the dialog).
//   While either runs (FInEvent) MarkerValue and Position ignore new values
//   and the end setters fire nothing.
// - The tick table is a cache, recomputed by every paint and by TickCount,
//   TickPixel and TickText when a property or the size changed.
// - A range the user set (a drag, the limits dialog, "Fit to data") marks the
//   axis UserSet until "Reset"; owners that fit their axes to new data leave
//   such an axis alone. The menu's changes fire OnScaleChanging (the owner
//   repaints) and OnScaleChanged.
// - sizeHint gives the breadth the labels need (the width of a vertical axis,
//   the height of a horizontal one) in the axis' font; it follows the labels.
#pragma once

#include "axes/axis_limit_dialog.h"
#include "core/axes/axis_math.h"
#include "core/base/errors.h"

#include <QColor>
#include <QCursor>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;

using ravlon::posleft;
using ravlon::posover;
using ravlon::posright;
using ravlon::posunder;
using ravlon::tposition;

class EAxisError : public ravlon::Exception {
public:
    using ravlon::Exception::Exception;
};

// Cursor ids and names of the six drag cursors.
inline constexpr int crVUpper = 1201;
inline constexpr int crVLower = 1202;
inline constexpr int crVMiddle = 1203;
inline constexpr int crHUpper = 1204;
inline constexpr int crHLower = 1205;
inline constexpr int crHMiddle = 1206;

// The cursor registered under id (1201..1206); the arrow cursor for any other
// id. Needs a QGuiApplication; the cursors are built on first use.
QCursor AxisCursor(int id);
// "VUPPER", "VLOWER", "VMIDDLE", "HUPPER", "HLOWER", "HMIDDLE"; empty otherwise.
const char* AxisCursorName(int id);

class TAxis : public QWidget {
    Q_OBJECT
public:
    using TNotifyEvent = std::function<void(TAxis* sender)>;
    using TMouseEvent = std::function<void(TAxis* sender, Qt::MouseButton button,
                                           Qt::KeyboardModifiers shift, int x, int y)>;
    using TMouseMoveEvent = std::function<void(TAxis* sender, Qt::MouseButtons buttons,
                                               Qt::KeyboardModifiers shift, int x, int y)>;
    // The extent of the owner's data along this axis; empty when there is none.
    using TDataRangeEvent = std::function<std::optional<ravlon::AxisRange>()>;

    explicit TAxis(QWidget* parent = nullptr);
    ~TAxis() override;

    // End of loading: the stored properties are all applied.
    void Loaded();

    // --- Published properties ---
    bool AllowLoScroll() const { return FAllowLoScroll; }
    void SetAllowLoScroll(bool value) { FAllowLoScroll = value; }
    bool AllowHiScroll() const { return FAllowHiScroll; }
    void SetAllowHiScroll(bool value) { FAllowHiScroll = value; }
    bool AllowMidScroll() const { return FAllowMidScroll; }
    void SetAllowMidScroll(bool value) { FAllowMidScroll = value; }
    bool AllowDoubleClick() const { return FAllowDoubleClick; }
    void SetAllowDoubleClick(bool value) { FAllowDoubleClick = value; }

    double LoValue() const;
    void SetLoValue(double value);
    double HiValue() const;
    void SetHiValue(double value);
    // Both ends at once (Low first); OnScaleChanged once if either changed.
    void SetRange(double low, double high);

    double MinLoValue() const { return FLimits.MinLoValue; }
    void SetMinLoValue(double value);
    double MaxLoValue() const { return FLimits.MaxLoValue; }
    void SetMaxLoValue(double value);
    double MinHiValue() const { return FLimits.MinHiValue; }
    void SetMinHiValue(double value);
    double MaxHiValue() const { return FLimits.MaxHiValue; }
    void SetMaxHiValue(double value);
    double MinValueDifference() const { return FLimits.MinValueDifference; }
    void SetMinValueDifference(double value);
    double MaxValueDifference() const { return FLimits.MaxValueDifference; }
    void SetMaxValueDifference(double value);

    tposition Position() const { return FPosition; }
    void SetPosition(tposition value);
    bool Logarithmic() const { return FLogarithmic; }
    void SetLogarithmic(bool value);
    bool MusicScale() const { return FMusicScale; }
    void SetMusicScale(bool value);
    // The label and axis-text font is the widget's font; SetFont is setFont.
    QFont Font() const { return font(); }
    void SetFont(const QFont& value) { setFont(value); }
    bool ShowTickmarks() const { return FShowTickmarks; }
    void SetShowTickmarks(bool value);
    QColor BackgroundColor() const { return FBackgroundColor; }
    void SetBackgroundColor(const QColor& value);
    int TickMarkSize() const { return FTickMarkSize; }
    void SetTickMarkSize(int value);
    int TickSpaceAim() const { return FTickSpaceAim; }
    void SetTickSpaceAim(int value);
    std::string AxisText() const { return FAxisText; }
    void SetAxisText(const std::string& value);
    bool Reverse() const { return FReverse; }
    void SetReverse(bool value);
    bool MarkerVisible() const { return FMarkerVisible; }
    void SetMarkerVisible(bool value);
    double MarkerValue() const { return FMarkerValue; }
    void SetMarkerValue(double value);
    int MarkerPixel() const;
    void SetMarkerPixel(int value);
    bool IsInteger() const { return FLimits.IsInteger; }
    void SetIsInteger(bool value);
    bool Autosize() const { return FAutosize; }
    void SetAutosize(bool value);

    TNotifyEvent OnScaleChanging;
    TNotifyEvent OnScaleChanged;
    TMouseEvent OnMouseDown;
    TMouseMoveEvent OnMouseMove;
    TMouseEvent OnMouseUp;

    // --- Fitting to the data and the context menu ---
    // Supplied by the owner for "Fit to data"; without it the entry is disabled.
    TDataRangeEvent OnDataRange;
    // Added at both ends when fitting, as a fraction of the data's span
    // (then rounded outwards to a 1-2-5 step); 0: exactly the data.
    double FitMargin() const { return FFitMargin; }
    void SetFitMargin(double value) { FFitMargin = value; }
    // The range to the owner's data (FitMargin added); false, nothing changed,
    // when there is no data. Fires OnScaleChanging and OnScaleChanged on a change.
    bool FitToData();
    // Back to the range the axis had when loading ended; no longer UserSet.
    void ResetRange();
    // The range was set by the user (drag, limits dialog, "Fit to data").
    bool UserSet() const { return FUserSet; }
    // The limits dialog, loaded with the ends; a confirmed range is set.
    void ExecuteLimitForm();
    // The context menu and its entries (tests drive them).
    QMenu* ContextMenu() const { return FMenu; }
    QAction* FitAction = nullptr;
    QAction* LimitsAction = nullptr;
    QAction* ResetAction = nullptr;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // --- Queries and conversions ---
    int TickCount();
    int TickPixel(int index);
    std::string TickText(int index);
    // From the current table without recomputation; false outside 0..TickCount-1.
    bool TickIsMajor(int index) const;
    int ValueToPixel(double value) const;
    int ValueToPixelClamped(double value) const;
    double PixelToValue(int pixel) const;

    // The owned limits dialog (tests drive it).
    TAxisLimitForm* LimitForm() const { return FLimitForm; }
    // The current drag mode: 0 none, 1 low end, 2 whole range, 3 high end.
    int DragMode() const { return FDragMode; }

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    ravlon::AxisTransform Transform() const;
    int Length() const;
    void MarkStale() { FTicksStale = true; }
    void RecalcTicks();
    // Recomputes the table when stale or made for another size.
    void EnsureTicks();
    void InternalSetLo(double value);
    void InternalSetHi(double value);
    void FireEvent(const TNotifyEvent& handler);
    void AdjustSize();
    void UpdateMarkerLine(int pixel);
    // Where the marker is drawn across the axis: the tick-mark band between
    // the labels and the plot, so no label is struck through.
    std::pair<int, int> MarkerBand() const;
    void ChooseCursor(int coord);
    // Breadth the current labels need across the axis.
    int LabelBreadth() const;
    // Both ends as a drag sets them: on a change the owner repaints
    // (OnScaleChanging) and is told the change is complete (OnScaleChanged).
    void SetRangeAsDragged(double low, double high);

    double FLoValue = 0;
    double FHiValue = 1;
    ravlon::AxisLimits FLimits;
    bool FAllowLoScroll = true;
    bool FAllowHiScroll = true;
    bool FAllowMidScroll = false;
    bool FAllowDoubleClick = false;
    tposition FPosition = posleft;
    bool FLogarithmic = false;
    bool FMusicScale = false;
    bool FShowTickmarks = false;
    QColor FBackgroundColor;
    int FTickMarkSize = 5;
    int FTickSpaceAim = 40;
    std::string FAxisText;
    bool FReverse = false;
    bool FMarkerVisible = false;
    double FMarkerValue = 0;
    bool FAutosize = false;

    std::vector<ravlon::AxisTick> FTicks;
    bool FTicksStale = true;
    QSize FTicksSize; // widget size the table was computed for
    int FTextLimit = 0;

    int FDragMode = ravlon::kDragNone;
    int FDragStart = 0;
    double FDragLoValue = 0;
    double FDragHiValue = 0;
    bool FInEvent = false;
    // Pixel where the marker line was last painted; -1 when not on screen.
    int FMarkerDrawnAt = -1;

    TAxisLimitForm* FLimitForm; // child widget, freed with the axis
    QMenu* FMenu;               // child widget, freed with the axis
    double FStartLo = 0, FStartHi = 1;
    bool FUserSet = false;
    double FFitMargin = 0;
    int FBreadth = 0; // LabelBreadth() when the table was last computed
};
