// Arithmetic of a plot axis, without any drawing: reading the ends through
// their limits, value <-> pixel conversion for the four positions, the tick
// table (linear, decade and musical-note rules, label thinning, emphasis) and
// the mouse drag zones and formulas. The widget TAxis (axes/saxes.h) holds the
// state and paints; everything it computes comes from here.
//
// All routines are pure and allocate only for the tick table. Conversions
// never throw: arithmetic failures give the documented fallback values.
#pragma once

#include <string>
#include <vector>

namespace ravlon {

// Where the axis sits next to its plot. Vertical axes (posleft, posright) have
// the low end at the bottom, horizontal axes (posover, posunder) at the left.
enum tposition { posleft = 0, posright = 1, posover = 2, posunder = 3 };

inline bool IsVerticalPosition(tposition p) {
    return p == posleft || p == posright;
}

// --- Ends read through their limits --------------------------------------------
struct AxisLimits {
    double MinLoValue = -1e300;
    double MaxLoValue = 1e300;
    double MinHiValue = -1e300;
    double MaxHiValue = 1e300;
    double MinValueDifference = 0;
    double MaxValueDifference = 1e300;
    bool IsInteger = false;
};

// The low end as read: FLoValue (rounded when IsInteger) clamped to
// [MinLoValue, MaxLoValue], the maximum applied last.
double ClampedLoValue(double fLo, const AxisLimits& limits);
// The high end as read: FHiValue (rounded when IsInteger) clamped to its
// bounds, then kept within [MinValueDifference, MaxValueDifference] of the
// unclamped fLo; the minimum difference wins over everything else.
double ClampedHiValue(double fHi, double fLo, const AxisLimits& limits);

// --- Coordinate transform -----------------------------------------------------
// lo and hi are the ends as read (clamped). Width and Height are the control's
// size; the axis length L is Height for vertical and Width for horizontal axes.
struct AxisTransform {
    double lo = 0;
    double hi = 1;
    int width = 200;
    int height = 200;
    tposition position = posleft;
    bool reverse = false;
    bool logarithmic = false;

    bool Vertical() const { return IsVerticalPosition(position); }
    int Length() const { return Vertical() ? height : width; }
};

// Pixel of a value, not clamped (0 along the axis when the value cannot be
// placed, for example a value <= 0 on a logarithmic axis or NaN). A value
// beyond an end, however far (1e300, infinity, a range of 1e-12), lies beyond
// that end; pixels saturate to the int range.
int ValueToPixel(const AxisTransform& t, double v);
// The same, clamped to 0..L-1.
int ValueToPixelClamped(const AxisTransform& t, double v);
// Value at a pixel, clamped to [lo, hi] (the low end first).
double PixelToValue(const AxisTransform& t, int p);

// --- Tick table ------------------------------------------------------------------
// Measures label text in pixels. The widget passes its font metrics, tests a
// fixed-width measurer.
class AxisTextMeasurer {
public:
    virtual ~AxisTextMeasurer() = default;
    virtual int TextWidth(const std::string& text) const = 0;
    virtual int TextHeight(const std::string& text) const = 0;
};

// Every character charWidth pixels wide, every text height pixels high.
class FixedTextMeasurer : public AxisTextMeasurer {
public:
    FixedTextMeasurer(int charWidth, int height) : charWidth_(charWidth), height_(height) {}
    int TextWidth(const std::string& text) const override {
        return charWidth_ * static_cast<int>(text.size());
    }
    int TextHeight(const std::string&) const override { return height_; }

private:
    int charWidth_;
    int height_;
};

struct AxisTick {
    double value = 0;
    int pixel = 0;
    std::string text; // empty when the label was thinned away
    bool major = false;
};

struct AxisTickSettings {
    AxisTransform transform;
    // The ends exactly as stored; the linear labels print "0" for values tiny
    // against their difference.
    double rawLo = 0;
    double rawHi = 1;
    bool musicScale = false;
    int tickSpaceAim = 40;
};

// Tables with more entries than this are refused like a failed allocation
// (empty table): they only come from degenerate settings and would freeze painting.
inline constexpr int kMaxAxisTicks = 100000;

// The whole tick table. Logarithmic axes use the decade rules when lo > 0 and
// hi / lo > 4, the note rules with musicScale while both ends are positive,
// and the linear rules otherwise. Linear labels that would touch along the
// axis (a long axis with short steps, wide labels) are thinned to every other
// tick, or else to a 1-2-5 label step; tick marks and their emphasis stay as
// they are.
std::vector<AxisTick> ComputeAxisTicks(const AxisTickSettings& s, const AxisTextMeasurer& m);

// Next decade tick above x (1..9 times a power of ten).
double NextDecadeTick(double x);
// Frequency of the next natural note above x.
double NextWhiteKey(double x);
// Linear tick step for the axis length and the ends (1 when it cannot be
// computed, for example hi < lo).
double LinearTickStep(int length, int tickSpaceAim, double lo, double hi);

// --- Fitting a range to data ------------------------------------------------------
struct AxisRange {
    double lo = 0;
    double hi = 1;
};
// The range an axis shows for data from lo to hi: margin (a fraction of the
// span, on a logarithmic axis of the span in decades) is added at both ends
// and, with a margin, a linear range is rounded outwards to a 1-2-5 step. A
// margin never carries an end across zero. Equal ends are widened by 1 (10 %
// of the value when larger; a factor 2 on a logarithmic axis). False for ends
// that are not finite, lo > hi, or an end <= 0 on a logarithmic axis.
bool FitAxisRange(double lo, double hi, bool logarithmic, double margin, AxisRange& out);

// --- Mouse dragging -------------------------------------------------------------
// Drag modes: 0 none, 1 low end, 2 whole range, 3 high end.
inline constexpr int kDragNone = 0;
inline constexpr int kDragLowEnd = 1;
inline constexpr int kDragRange = 2;
inline constexpr int kDragHighEnd = 3;

struct AxisDragPermissions {
    bool allowLo = true;
    bool allowHi = true;
    bool allowMid = false;
};

// The coordinate along the axis where a drag starts, kept 11 pixels from both ends.
int ClampDragStart(int coord, int length);
// The drag mode for a coordinate along the axis (zone rule of press and cursor).
int DragModeAt(bool vertical, int coord, int width, int height, const AxisDragPermissions& p);
// The current coordinate as the drag formula of the mode clamps it.
int ClampDragCoordinate(bool vertical, int mode, int coord, int width, int height);

// New ends for one drag step: which ends change and their values. start and
// coord are pixel coordinates along the axis; coord is clamped as
// ClampDragCoordinate says. Throws an EMathError when the formula fails.
struct AxisDragResult {
    bool setLo = false;
    bool setHi = false;
    double lo = 0;
    double hi = 0;
};
AxisDragResult DragEnds(bool vertical, bool logarithmic, int mode, int start, int coord, int width,
                        int height, double lo0, double hi0);

} // namespace ravlon
