// TInputMeterView: the input level of a TInputMeter (core/measure/input_meter.h)
// as a bar from MinLevel to 0 dBFS: the RMS of the last buffer filled, its
// peak as a line, the held peak as a tick, and a "CLIP" mark that lights
// once any sample since the meter's reset was at full scale; below it the
// peak and the RMS as numbers. Idle (no run, no level setting) it shows an
// empty bar and no numbers.
//
// The view reads the meter when it paints; its owner calls update() when a
// buffer arrived. The meter must outlive the view. UI thread only.
#pragma once

#include <QWidget>

namespace ravlon {
class TInputMeter;
}

class TInputMeterView : public QWidget {
    Q_OBJECT
public:
    static constexpr double MinLevel = -60.0; // dBFS at the bar's left end

    explicit TInputMeterView(const ravlon::TInputMeter& meter, QWidget* parent = nullptr);

    void SetActive(bool active);
    bool Active() const { return active_; }
    // The numbers as shown: "Peak -12.3 dBFS\nRMS -15.3 dBFS"; "" when idle.
    QString LevelText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int BarHeight() const;
    int ClipWidth() const;

    const ravlon::TInputMeter& meter_;
    bool active_ = false;
};
