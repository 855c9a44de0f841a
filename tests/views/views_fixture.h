// The program's windows on an idle simulated room, with helpers that fill the
// main window's store with known spectra, drive a plot with the mouse and read
// its pixels.
#pragma once

#include "../app/app_fixture.h"

#include "axes/axis.h"
#include "core/base/numtext.h"
#include "core/views/view_math.h"
#include "widgets/paint_box.h"

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPixmap>

#include <algorithm>
#include <cmath>
#include <functional>

class ViewsFixture : public AppFixture {
protected:
    static constexpr int32_t kBins = 128;
    static constexpr double kFrameTime = 256.0 / 48000; // s

    void SetUp() override { StartForms("room:pace=fast"); }

    // The store of the windows' model; the tests write it directly and then
    // tell the model (Changed).
    ravlon::TSpectrogram& Store() { return windows->Model.Store(); }

    // 48000 Hz, FFT 256 (128 bins): pre-noise frames [0, pos1) at -60 dB, noise
    // [pos1, pos2) at 0 dB, then every bin falls linearly in dB with its own T60
    // (0: no decay) down to floorDb, up to frame pos3 - 1. The noise reference
    // (frames pos1 .. pos2) is taken once: 0 dB in every bin.
    void BuildStore(const std::function<double(int32_t)>& t60OfBin, double floorDb = -100,
                    int32_t pos1 = 10, int32_t pos2 = 60, int32_t pos3 = 300,
                    int32_t filledFrames = -1) {
        ravlon::TSpectrogram& s = Store();
        s.SetSampFreq(48000);
        s.SetupWindow(0);
        Form1->FFT1.SetFFTSize(256);
        Form1->FFT1.SetWindowSize(256);
        s.SetPositions(pos1 * 256, pos2 * 256, pos3 * 256);
        s.ClearStore();
        s.ResetCounters();
        if (filledFrames < 0) filledFrames = pos3;
        std::vector<double> p(kBins);
        for (int32_t fr = 0; fr < filledFrames; ++fr) {
            for (int32_t b = 0; b < kBins; ++b)
                p[static_cast<size_t>(b)] =
                    std::pow(10.0, Level(fr, t60OfBin(b), floorDb, pos1, pos2) / 10);
            s.AddSpectrum(fr, p);
        }
        s.UpdateNoiseReference();
        windows->Model.Changed(ravlon::ChangeStore);
    }
    static double Level(int32_t fr, double t60, double floorDb, int32_t pos1, int32_t pos2) {
        if (fr < pos1) return -60;
        if (fr < pos2 || t60 <= 0) return 0;
        return std::max(floorDb, -60.0 * (fr - pos2) * kFrameTime / t60);
    }

    // A mouse event straight to the plot: the button that changed and the
    // buttons held afterwards (the handlers look at the latter).
    static void Mouse(TResultView* view, QEvent::Type type, Qt::MouseButton button,
                      Qt::MouseButtons held, int x, int y) {
        QPointF p(x, y);
        QMouseEvent e(type, p, view->PaintBox1->mapToGlobal(p), button, held, Qt::NoModifier);
        QApplication::sendEvent(view->PaintBox1, &e);
    }
    static void Press(TResultView* view, Qt::MouseButton button, int x, int y) {
        Mouse(view, QEvent::MouseButtonPress, button, button, x, y);
    }
    static void Move(TResultView* view, Qt::MouseButtons held, int x, int y) {
        Mouse(view, QEvent::MouseMove, Qt::NoButton, held, x, y);
    }

    // Shows the view and paints its plot into an image.
    static QImage Grab(TResultView* view) {
        if (!view->isVisible()) view->show();
        QImage img = view->PaintBox1->grab().toImage();
        if (qEnvironmentVariableIsSet("DEBUG_GRAB")) {
            static int n = 0;
            img.save(QString("/tmp/grab%1.png").arg(n++));
        }
        return img;
    }
    static bool Is(const QImage& img, int x, int y, QColor c) {
        return x >= 0 && y >= 0 && x < img.width() && y < img.height() &&
               img.pixelColor(x, y).rgb() == c.rgb();
    }
    static int CountColumn(const QImage& img, int x, QColor c) {
        int n = 0;
        for (int y = 0; y < img.height(); ++y) n += Is(img, x, y, c);
        return n;
    }
    static int CountRow(const QImage& img, int y, QColor c) {
        int n = 0;
        for (int x = 0; x < img.width(); ++x) n += Is(img, x, y, c);
        return n;
    }
    static int Count(const QImage& img, QColor c) {
        int n = 0;
        for (int y = 0; y < img.height(); ++y) n += CountRow(img, y, c);
        return n;
    }

    inline static const QColor kRed{255, 0, 0}, kBlue{0, 0, 255}, kSilver{192, 192, 192},
        kGreen{0, 128, 0}, kDotted{200, 100, 100}, kDashed{100, 100, 200}, kLine{0, 150, 0};
};
