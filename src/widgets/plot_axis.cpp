#include "widgets/plot_axis.h"

void ConfigurePlotAxis(TAxis& axis, tposition position, bool logarithmic, double lo, double hi,
                       const std::string& text, const QColor& background) {
    // Ends first, then their limits, then the scale: the order a stored form applies them.
    axis.SetLoValue(lo);
    axis.SetHiValue(hi);
    axis.SetMinLoValue(-1e300);
    axis.SetMinHiValue(-1e300);
    axis.SetMaxLoValue(1e300);
    axis.SetMaxHiValue(1e300);
    axis.SetMaxValueDifference(1e300);
    axis.SetTickSpaceAim(40);
    axis.SetAllowLoScroll(true);
    axis.SetAllowHiScroll(true);
    axis.SetAllowMidScroll(true);
    axis.SetAllowDoubleClick(false);
    axis.SetReverse(false);
    axis.SetMusicScale(false);
    axis.SetPosition(position);
    axis.SetLogarithmic(logarithmic);
    axis.SetAxisText(text);
    axis.SetBackgroundColor(background);
    axis.SetMarkerVisible(false);
    axis.Loaded();
}

void SetPlotAxisBreadth(TAxis& axis, int breadth) {
    if (axis.Autosize()) return;
    if (axis.Position() == posleft || axis.Position() == posright)
        axis.resize(breadth, axis.height());
    else
        axis.resize(axis.width(), breadth);
}
