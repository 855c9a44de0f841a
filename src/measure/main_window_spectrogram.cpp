// The main window's spectrogram panel: layout, the grayscale image, the
// legend strip and the mouse selecting frequency and time.
#include "axes/axis.h"
#include "core/base/numtext.h"
#include "core/measure/spectrogram_image.h"
#include "core/views/view_math.h"
#include "measure/main_window.h"
#include "widgets/paint_box.h"
#include "widgets/panel.h"

#include <QPainter>

#include <vector>

using namespace ravlon;

void TForm1::Panel2Resize() {
    // The axes are as broad as their labels need.
    faxis->resize(faxis->sizeHint().width(), faxis->height());
    taxis->resize(taxis->width(), taxis->sizeHint().height());
    int w = Panel2->width(), h = Panel2->height();
    faxis->move(2, 2);
    taxis->move(taxis->x(), h - taxis->height() - 2);
    faxis->resize(faxis->width(), std::max(1, taxis->y() - 2));
    taxis->move(faxis->x() + faxis->width(), taxis->y());
    taxis->resize(std::max(1, w - taxis->x() - 2), taxis->height());
    PaintBox1->setGeometry(taxis->x(), faxis->y(), taxis->width(), faxis->height());
}

void TForm1::PaintBox1Paint(QPainter& canvas) {
    store_.UpdateNoiseReference();
    const int w = PaintBox1->width(), h = PaintBox1->height();
    if (SpecBitmap.height() != h || SpecBitmap.width() != w)
        SpecBitmap = QImage(std::max(1, w), std::max(1, h), QImage::Format_RGB32);
    SpecBitmap.fill(Qt::white);
    {
        QPainter bitmap(&SpecBitmap);
        bitmap.setPen(Qt::black);
        bitmap.drawRect(0, 0, w - 1, h - 1);
    }
    std::vector<double> rowFreq(static_cast<size_t>(h)), colTime(static_cast<size_t>(w));
    for (int y = 0; y < h; ++y) rowFreq[static_cast<size_t>(y)] = faxis->PixelToValue(y);
    for (int x = 0; x < w; ++x) colTime[static_cast<size_t>(x)] = taxis->PixelToValue(x);
    RenderSpectrogram(store_, rowFreq, colTime, laxis->LoValue(), laxis->HiValue(),
                      reinterpret_cast<uint32_t*>(SpecBitmap.bits()),
                      SpecBitmap.bytesPerLine() / 4);
    {
        // Grid and frame are always drawn, whatever happened to the image.
        QPainter bitmap(&SpecBitmap);
        auto gridPen = [&](TAxis* axis, int i) {
            bitmap.setPen(axis->TickIsMajor(i) ? QColor(150, 150, 200) : QColor(150, 150, 170));
        };
        for (int i = 0, n = taxis->TickCount(); i < n; ++i) {
            gridPen(taxis, i);
            int x = taxis->TickPixel(i);
            bitmap.drawLine(x, 0, x, h - 1);
        }
        for (int i = 0, n = faxis->TickCount(); i < n; ++i) {
            gridPen(faxis, i);
            int y = faxis->TickPixel(i);
            bitmap.drawLine(0, y, w - 1, y);
        }
        bitmap.setPen(Qt::black);
        bitmap.setBrush(Qt::NoBrush);
        bitmap.drawRect(0, 0, w - 1, h - 1);
    }
    canvas.drawImage(0, 0, SpecBitmap);
    // The noise reference grew: the views repaint from the store.
    model_.Changed(ChangeStore);
}

void TForm1::PaintBox2Paint(QPainter& canvas) {
    const int w = PaintBox2->width();
    try {
        for (int i = 0; i < PaintBox2->height(); ++i) {
            double level = laxis->PixelToValue(i);
            int c = LevelToGrayValue(PowerOfTen(level / 10), laxis->LoValue(), laxis->HiValue());
            canvas.setPen(QColor(c, c, c));
            canvas.drawLine(0, i, w - 1, i);
        }
    } catch (const std::exception&) {
        // A level axis without range has no legend.
    }
}

void TForm1::PaintBox1MouseMove(Qt::MouseButtons buttons, int x, int y) {
    if (!(buttons & Qt::LeftButton)) return;
    model_.SetFrequency(faxis->PixelToValue(y));
    model_.SetTime(taxis->PixelToValue(x));
}
