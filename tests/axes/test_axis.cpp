#include "axes/axis.h"
#include "core/base/numtext.h"
#include "platform/appexception.h"

#include <QApplication>
#include <QBitmap>
#include <QContextMenuEvent>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <stdexcept>
#include <string>

namespace {

void Press(TAxis& a, int x, int y, Qt::MouseButton b = Qt::LeftButton) {
    QTest::mousePress(&a, b, Qt::NoModifier, QPoint(x, y));
}

// QTest::mouseMove carries no buttons on widgets; a drag needs them in buttons().
void Move(TAxis& a, int x, int y, Qt::MouseButtons buttons = Qt::LeftButton) {
    const QPointF p(x, y);
    QMouseEvent e(QEvent::MouseMove, p, a.mapToGlobal(p), Qt::NoButton, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(&a, &e);
}

void Release(TAxis& a, int x, int y) {
    QTest::mouseRelease(&a, Qt::LeftButton, Qt::NoModifier, QPoint(x, y));
}

void DoubleClick(TAxis& a, int x, int y) {
    const QPointF p(x, y);
    QMouseEvent e(QEvent::MouseButtonDblClick, p, a.mapToGlobal(p), Qt::LeftButton, Qt::LeftButton,
                  Qt::NoModifier);
    QCoreApplication::sendEvent(&a, &e);
}

std::string AxisError(const std::function<void()>& f) {
    try {
        f();
    } catch (const EAxisError& e) {
        return e.what();
    }
    return "(no EAxisError)";
}

bool IsDark(QRgb c) {
    return qGray(c) < 128;
}

// --- Properties ------------------------------------------------------------------

TEST(TAxisProperties, NewAxisValues) {
    TAxis a;
    EXPECT_EQ(a.width(), 200);
    EXPECT_EQ(a.height(), 200);
    EXPECT_TRUE(a.AllowLoScroll());
    EXPECT_TRUE(a.AllowHiScroll());
    EXPECT_FALSE(a.AllowMidScroll());
    EXPECT_FALSE(a.AllowDoubleClick());
    EXPECT_EQ(a.LoValue(), 0);
    EXPECT_EQ(a.HiValue(), 1);
    EXPECT_EQ(a.MinLoValue(), -1e300);
    EXPECT_EQ(a.MaxLoValue(), 1e300);
    EXPECT_EQ(a.MinHiValue(), -1e300);
    EXPECT_EQ(a.MaxHiValue(), 1e300);
    EXPECT_EQ(a.MinValueDifference(), 0);
    EXPECT_EQ(a.MaxValueDifference(), 1e300);
    EXPECT_EQ(a.Position(), posleft);
    EXPECT_FALSE(a.Logarithmic());
    EXPECT_FALSE(a.MusicScale());
    EXPECT_EQ(a.BackgroundColor(), a.palette().color(QPalette::Button));
    EXPECT_EQ(a.TickMarkSize(), 5);
    EXPECT_EQ(a.TickSpaceAim(), 40);
    EXPECT_EQ(a.AxisText(), "");
    EXPECT_FALSE(a.Reverse());
    EXPECT_FALSE(a.MarkerVisible());
    EXPECT_EQ(a.MarkerValue(), 0);
    EXPECT_FALSE(a.IsInteger());
    EXPECT_FALSE(a.Autosize());
    EXPECT_NE(a.LimitForm(), nullptr);
}

TEST(TAxisProperties, EndsReadClampedAndIntegerReading) {
    TAxis a;
    a.SetIsInteger(true);
    a.SetMinLoValue(0.5);
    a.SetLoValue(0.2);
    a.SetHiValue(7.6);
    EXPECT_EQ(a.LoValue(), 1);
    EXPECT_EQ(a.HiValue(), 8);
    a.SetIsInteger(false);
    a.SetMaxHiValue(5);
    EXPECT_EQ(a.HiValue(), 5);
}

TEST(TAxisProperties, LogarithmicRejectsNonPositiveEndsButKeepsPainting) {
    TAxis a;
    EXPECT_EQ(AxisError([&] { a.SetLogarithmic(true); }), "LoValue=0, must be >0 for log scale!");
    EXPECT_FALSE(a.Logarithmic());
    a.SetRange(20, 20000);
    a.SetLogarithmic(true);
    EXPECT_EQ(AxisError([&] { a.SetLoValue(0); }), "LoValue=0, must be >0 for log scale!");
    EXPECT_EQ(a.LoValue(), 0); // the bad value stays stored
    EXPECT_EQ(AxisError([&] { a.SetHiValue(-2.5); }), "HiValue=-2.5, must be >0 for log scale!");
    EXPECT_GT(a.TickCount(), 0); // linear fallback
    EXPECT_EQ(a.ValueToPixel(100), a.height() - 1);
    const QImage img = a.grab().toImage();
    EXPECT_EQ(img.width(), 200);
    a.SetMusicScale(true);
    EXPECT_GT(a.TickCount(), 0);
    EXPECT_NO_THROW(a.grab());
}

TEST(TAxisProperties, ErrorMessageUsesTheUserDecimalSeparator) {
    ravlon::SetUserDecimalSeparator(',');
    TAxis a;
    a.SetRange(1, 10);
    a.SetLogarithmic(true);
    EXPECT_EQ(AxisError([&] { a.SetLoValue(-0.5); }), "LoValue=-0,5, must be >0 for log scale!");
    ravlon::SetUserDecimalSeparator('.');
}

TEST(TAxisProperties, TickIndexOutOfRange) {
    TAxis a;
    a.SetRange(0, 10);
    const int n = a.TickCount();
    ASSERT_GT(n, 0);
    EXPECT_EQ(AxisError([&] { a.TickPixel(n); }),
              "Tickmark index out of range:" + std::to_string(n));
    EXPECT_EQ(AxisError([&] { a.TickText(-1); }), "Tickmark index out of range:-1");
    EXPECT_FALSE(a.TickIsMajor(n));
    EXPECT_FALSE(a.TickIsMajor(-1));
}

TEST(TAxisProperties, TickTableFollowsSizeAndScale) {
    TAxis a;
    a.SetPosition(posunder);
    a.resize(101, 30);
    a.SetRange(45, 105);
    ASSERT_EQ(a.TickCount(), 5);
    EXPECT_EQ(a.TickText(0), "60");
    EXPECT_EQ(a.TickText(4), "140");

    a.resize(2000, 30);
    a.SetRange(20, 20000);
    a.SetLogarithmic(true);
    EXPECT_EQ(a.TickText(0), "30");
    EXPECT_EQ(a.TickText(a.TickCount() - 2), "20000");

    a.SetRange(100, 300); // ratio 3: linear rules on a log axis
    a.resize(269, 30);
    EXPECT_EQ(a.TickText(1), "150");

    a.SetRange(100, 1000);
    a.resize(1000, 30);
    a.SetMusicScale(true);
    bool a4 = false;
    bool c = false;
    for (int i = 0; i < a.TickCount(); ++i) {
        const std::string t = a.TickText(i);
        a4 = a4 || t == "A4";
        c = c || (!t.empty() && t[0] == 'C');
        EXPECT_EQ(t.find('#'), std::string::npos);
        if (!t.empty() && t[0] == 'C') {
            EXPECT_TRUE(a.TickIsMajor(i)) << t;
        }
    }
    EXPECT_TRUE(a4);
    EXPECT_TRUE(c);
}

TEST(TAxisProperties, ConversionsRoundTripWithReverse) {
    for (tposition pos : {posleft, posright, posover, posunder})
        for (bool reverse : {false, true}) {
            TAxis a;
            a.resize(313, 241);
            a.SetPosition(pos);
            a.SetReverse(reverse);
            a.SetRange(-7.5, 12);
            const bool vertical = pos == posleft || pos == posright;
            const double pixelWorth = 19.5 / (vertical ? 240 : 312);
            for (double v = -7.5; v <= 12; v += 0.37)
                EXPECT_NEAR(a.PixelToValue(a.ValueToPixel(v)), v, pixelWorth)
                    << pos << reverse << v;
        }
}

// --- Events ---------------------------------------------------------------------

TEST(TAxisEvents, SetRangeFiresOnceAndOnlyOnChange) {
    TAxis a;
    int changed = 0;
    a.OnScaleChanged = [&](TAxis* sender) {
        EXPECT_EQ(sender, &a);
        ++changed;
    };
    a.SetRange(2, 8);
    EXPECT_EQ(changed, 1);
    a.SetRange(2, 8);
    EXPECT_EQ(changed, 1);
    a.SetLoValue(3);
    EXPECT_EQ(changed, 2);
}

TEST(TAxisEvents, ThrowingHandlerLeavesTheEventFlagCleared) {
    TAxis a;
    a.OnScaleChanged = [](TAxis*) { throw std::runtime_error("handler"); };
    EXPECT_THROW(a.SetRange(2, 8), std::runtime_error);
    a.OnScaleChanged = nullptr;
    a.SetMarkerValue(5); // ignored if the flag had stayed set
    EXPECT_EQ(a.MarkerValue(), 5);
}

TEST(TAxisEvents, EndsPullTheMarkerIn) {
    TAxis a;
    a.SetRange(0, 10);
    a.SetMarkerValue(9);
    a.SetHiValue(6);
    EXPECT_EQ(a.MarkerValue(), 6);
}

// --- Mouse ----------------------------------------------------------------------

TEST(TAxisMouse, MidScrollZonesOnA240PixelVerticalAxis) {
    TAxis a;
    a.resize(40, 240);
    a.SetAllowMidScroll(true);
    int downY = -1;
    a.OnMouseDown = [&](TAxis*, Qt::MouseButton, Qt::KeyboardModifiers, int, int y) { downY = y; };
    Press(a, 20, 5);
    EXPECT_EQ(a.DragMode(), ravlon::kDragHighEnd);
    EXPECT_EQ(downY, 11);
    Release(a, 20, 5);
    EXPECT_EQ(a.DragMode(), ravlon::kDragNone);
    Press(a, 20, 120, Qt::RightButton);
    EXPECT_EQ(a.DragMode(), ravlon::kDragRange);
    Press(a, 20, 200, Qt::MiddleButton);
    EXPECT_EQ(a.DragMode(), ravlon::kDragLowEnd);
}

TEST(TAxisMouse, LinearDragMovesTheEndAndFiresChangedOnRelease) {
    TAxis a;
    a.resize(40, 240);
    a.SetRange(0, 10);
    int changing = 0;
    int changed = 0;
    a.OnScaleChanging = [&](TAxis*) { ++changing; };
    a.OnScaleChanged = [&](TAxis*) { ++changed; };
    Press(a, 20, 60); // upper half: high end
    ASSERT_EQ(a.DragMode(), ravlon::kDragHighEnd);
    Move(a, 20, 120);
    EXPECT_DOUBLE_EQ(a.HiValue(), 0 + (180.0 / 120.0) * 10);
    EXPECT_EQ(a.LoValue(), 0);
    Move(a, 20, 239); // clamped to H - 10
    EXPECT_DOUBLE_EQ(a.HiValue(), (180.0 / 10.0) * 10);
    EXPECT_EQ(changing, 2);
    EXPECT_EQ(changed, 0);
    Release(a, 20, 239);
    EXPECT_EQ(changed, 1);

    Press(a, 20, 180); // lower half: low end
    Move(a, 20, 90);
    EXPECT_DOUBLE_EQ(a.LoValue(), 180 + 2.0 * (0 - 180));
    Release(a, 20, 90);
}

TEST(TAxisMouse, RangeDragOnAHorizontalAxis) {
    TAxis a;
    a.SetPosition(posunder);
    a.resize(240, 30);
    a.SetRange(0, 10);
    a.SetAllowMidScroll(true);
    Press(a, 100, 10);
    ASSERT_EQ(a.DragMode(), ravlon::kDragRange);
    Move(a, 160, 10);
    EXPECT_DOUBLE_EQ(a.HiValue(), 7.5);
    EXPECT_DOUBLE_EQ(a.LoValue(), -2.5);
    // Moving without the left button changes nothing but still reports the drag step.
    int changing = 0;
    a.OnScaleChanging = [&](TAxis*) { ++changing; };
    Move(a, 200, 10, Qt::NoButton);
    EXPECT_DOUBLE_EQ(a.HiValue(), 7.5);
    EXPECT_EQ(changing, 1);
}

TEST(TAxisMouse, LogarithmicDrags) {
    TAxis a;
    a.SetPosition(posunder);
    a.resize(240, 30);
    a.SetRange(20, 20000);
    a.SetLogarithmic(true);
    Press(a, 200, 10); // right half: high end
    ASSERT_EQ(a.DragMode(), ravlon::kDragHighEnd);
    Move(a, 100, 10);
    EXPECT_NEAR(a.HiValue(), 20 * std::pow(1000.0, 2.0), 1e-3);
    Release(a, 100, 10);

    TAxis v;
    v.resize(40, 240);
    v.SetRange(20, 20000);
    v.SetLogarithmic(true);
    Press(v, 20, 180); // low end
    Move(v, 20, 90);
    EXPECT_NEAR(v.LoValue(), 20000 * std::pow(0.001, 2.0), 1e-9);
    // Far outside: the exponent grows, the end stays positive and moves on.
    Move(v, 20, -500);
    EXPECT_GT(v.LoValue(), 0);
}

TEST(TAxisMouse, ReleaseFiresChangedEvenWithoutChange) {
    TAxis a;
    int changed = 0;
    a.OnScaleChanged = [&](TAxis*) { ++changed; };
    Press(a, 20, 100);
    Release(a, 20, 100);
    EXPECT_EQ(changed, 1);
    a.SetAllowLoScroll(false);
    a.SetAllowHiScroll(false);
    Press(a, 20, 100);
    Release(a, 20, 100);
    EXPECT_EQ(changed, 1);
}

TEST(TAxisMouse, MarkerIgnoredInsideScaleChanging) {
    TAxis a;
    a.resize(40, 240);
    a.SetRange(0, 10);
    a.SetMarkerValue(2);
    a.OnScaleChanging = [](TAxis* s) { s->SetMarkerValue(5); };
    Press(a, 20, 60);
    Move(a, 20, 80);
    EXPECT_EQ(a.MarkerValue(), 2);
    Release(a, 20, 80);
    a.SetMarkerValue(5);
    EXPECT_EQ(a.MarkerValue(), 5);
}

TEST(TAxisMouse, CursorFollowsTheZone) {
    TAxis a;
    a.resize(40, 240);
    a.SetAllowMidScroll(true);
    Move(a, 20, 30, Qt::NoButton);
    EXPECT_EQ(a.cursor().hotSpot(), QPoint(15, 25));
    Move(a, 20, 120, Qt::NoButton);
    EXPECT_EQ(a.cursor().hotSpot(), QPoint(15, 15));
    Move(a, 20, 200, Qt::NoButton);
    EXPECT_EQ(a.cursor().hotSpot(), QPoint(15, 6));
    a.SetAllowLoScroll(false);
    a.SetAllowHiScroll(false);
    Move(a, 20, 200, Qt::NoButton);
    EXPECT_EQ(a.cursor().shape(), Qt::ArrowCursor);
}

TEST(TAxisCursors, HotSpotsAndNames) {
    const struct {
        int id;
        const char* name;
        QPoint hot;
    } expected[] = {{1201, "VUPPER", {15, 25}},  {1202, "VLOWER", {15, 6}},
                    {1203, "VMIDDLE", {15, 15}}, {1204, "HUPPER", {6, 15}},
                    {1205, "HLOWER", {25, 15}},  {1206, "HMIDDLE", {15, 15}}};
    for (const auto& e : expected) {
        const QCursor c = AxisCursor(e.id);
        EXPECT_STREQ(AxisCursorName(e.id), e.name);
        EXPECT_EQ(c.shape(), Qt::BitmapCursor);
        EXPECT_EQ(c.hotSpot(), e.hot) << e.name;
        const QImage bits = c.bitmap().toImage();
        ASSERT_EQ(bits.size(), QSize(32, 32));
        // The hot spot lies on the bar, drawn black.
        EXPECT_TRUE(IsDark(bits.pixel(e.hot))) << e.name;
    }
    // The upward arrow points up: its tip is above the bar, nothing below the bar.
    const QImage up = AxisCursor(crVUpper).bitmap().toImage();
    EXPECT_TRUE(IsDark(up.pixel(15, 3)));
    EXPECT_FALSE(IsDark(up.pixel(15, 29)));
    const QImage left = AxisCursor(crHLower).bitmap().toImage();
    EXPECT_TRUE(IsDark(left.pixel(3, 15)));
    EXPECT_FALSE(IsDark(left.pixel(29, 15)));
    EXPECT_EQ(AxisCursor(42).shape(), Qt::ArrowCursor);
    EXPECT_STREQ(AxisCursorName(42), "");
}

// --- Painting -------------------------------------------------------------------

TEST(TAxisPaint, LabelsBeyondTheTextLimitAreNotDrawn) {
    TAxis a;
    a.SetPosition(posunder);
    a.resize(269, 30);
    a.SetBackgroundColor(Qt::white);
    a.SetRange(0, 10);
    ASSERT_EQ(a.TickCount(), 7);
    EXPECT_EQ(a.TickPixel(5), 268);
    EXPECT_EQ(a.TickPixel(6), 268);
    const QImage img = a.grab().toImage();
    const auto darkIn = [&](int x0, int x1) {
        for (int y = a.TickMarkSize(); y < img.height(); ++y)
            for (int x = x0; x <= x1; ++x)
                if (IsDark(img.pixel(x, y))) return true;
        return false;
    };
    EXPECT_TRUE(darkIn(205, 225));  // "8" at 214
    EXPECT_FALSE(darkIn(245, 268)); // "10" and "12" at 268 would run past the end
    // Tick marks: TickMarkSize pixels at the top edge.
    EXPECT_TRUE(IsDark(img.pixel(268, 0)));
    EXPECT_TRUE(IsDark(img.pixel(268, 4)));
    EXPECT_FALSE(IsDark(img.pixel(268, 5)));
}

TEST(TAxisPaint, MarkerInvertsTheTickBandOnlyAndRepaintsOnlyTheAxis) {
    QWidget window;
    window.resize(400, 300);
    TAxis a(&window);
    a.setGeometry(0, 0, 60, 240);
    a.SetBackgroundColor(Qt::white);
    QWidget plot(&window);
    plot.setGeometry(60, 0, 300, 240);
    a.SetRange(20, 20000);
    a.SetLogarithmic(true);
    a.SetMarkerValue(1000);
    const QImage plain = a.grab().toImage();
    a.SetMarkerVisible(true);
    QImage img = a.grab().toImage();
    const int m = a.MarkerPixel();
    EXPECT_EQ(m, a.ValueToPixelClamped(1000));
    // The band between the labels and the plot is inverted; the label "1000"
    // beside it (dark pixels in these rows) is not struck through.
    const int band = 60 - 2 * a.TickMarkSize();
    EXPECT_TRUE(IsDark(img.pixel(band + 2, m)));
    int labelPixels = 0;
    for (int y = m - 8; y <= m + 8; ++y)
        for (int x = 0; x < band; ++x) {
            ASSERT_EQ(img.pixel(x, y), plain.pixel(x, y)) << x << "," << y;
            labelPixels += IsDark(img.pixel(x, y));
        }
    EXPECT_GT(labelPixels, 10);

    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    struct Counter : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::Paint) ++paints;
            return false;
        }
    } axisPaints, plotPaints;
    a.installEventFilter(&axisPaints);
    plot.installEventFilter(&plotPaints);
    a.SetMarkerValue(5000);
    QTest::qWait(50);
    EXPECT_GE(axisPaints.paints, 1);
    EXPECT_EQ(plotPaints.paints, 0);
    img = a.grab().toImage();
    EXPECT_TRUE(IsDark(img.pixel(band + 2, a.ValueToPixelClamped(5000))));
    EXPECT_FALSE(IsDark(img.pixel(band + 2, m)));
}

TEST(TAxisPaint, SizeHintHoldsTheLabelsAtAnyFont) {
    for (int pixels : {9, 14, 24}) {
        TAxis v;
        QFont f = v.font();
        f.setPixelSize(pixels);
        v.setFont(f);
        v.resize(30, 300);
        v.SetRange(-100000, 100000);
        v.SetTickMarkSize(5);
        const QFontMetrics fm(f);
        int widest = 0;
        for (int i = 0; i < v.TickCount(); ++i)
            widest = std::max(widest, fm.horizontalAdvance(QString::fromStdString(v.TickText(i))));
        EXPECT_GE(v.sizeHint().width(), widest + 2 * 5) << pixels;
        TAxis h;
        h.setFont(f);
        h.SetPosition(posunder);
        EXPECT_GE(h.sizeHint().height(), fm.height() + 5) << pixels;
    }
}

TEST(TAxisPaint, AutosizeFromTheFont) {
    TAxis a;
    a.SetAutosize(true);
    const QFontMetrics fm(a.font());
    EXPECT_EQ(a.width(), fm.horizontalAdvance("12345") + 5);
    TAxis h;
    h.SetPosition(posunder);
    h.SetTickMarkSize(7);
    h.SetAutosize(true);
    EXPECT_EQ(h.height(), fm.height() * 4 / 3 + 7);
}

// --- Limits dialog ----------------------------------------------------------------

// Answers the next modal dialog of the axis.
void Answer(TAxis& a, const QString& low, const QString& high, bool ok) {
    QTimer::singleShot(0, [&a, low, high, ok] {
        TAxisLimitForm* f = a.LimitForm();
        ASSERT_TRUE(f->isVisible());
        f->LowEdit->setText(low);
        f->HighEdit->setText(high);
        (ok ? f->OkButton : f->CancelButton)->click();
    });
}

TEST(TAxisLimitDialog, LayoutAndTexts) {
    TAxisLimitForm f;
    EXPECT_EQ(f.windowTitle(), "Axis limits");
    EXPECT_EQ(f.HighLabel->text(), "High value");
    EXPECT_EQ(f.LowLabel->text(), "Low value");
    EXPECT_EQ(f.HighEdit->text(), "High");
    EXPECT_EQ(f.LowEdit->text(), "Low");
    EXPECT_EQ(f.OkButton->text(), "&Ok");
    EXPECT_EQ(f.CancelButton->text(), "&Cancel");
    EXPECT_TRUE(f.OkButton->isDefault());
    // Tab order: HighEdit, LowEdit, OK, Cancel.
    const auto nextTab = [](QWidget* w) {
        do w = w->nextInFocusChain();
        while (!(w->focusPolicy() & Qt::TabFocus));
        return w;
    };
    EXPECT_EQ(nextTab(f.HighEdit), f.LowEdit);
    EXPECT_EQ(nextTab(f.LowEdit), f.OkButton);
    EXPECT_EQ(nextTab(f.OkButton), f.CancelButton);
    // Laid out: no text is cut, also at a large font; the edits stay below their labels.
    for (int pixels : {11, 30}) {
        QFont font = f.font();
        font.setPixelSize(pixels);
        f.setFont(font);
        f.show();
        QCoreApplication::processEvents();
        for (QWidget* w :
             std::initializer_list<QWidget*>{f.HighLabel, f.LowLabel, f.OkButton, f.CancelButton})
            EXPECT_GE(w->width(), w->sizeHint().width())
                << pixels << " " << w->metaObject()->className();
        EXPECT_LT(f.LowLabel->geometry().bottom(), f.LowEdit->geometry().top());
        EXPECT_LT(f.HighEdit->geometry().bottom(), f.LowLabel->geometry().top());
        f.hide();
    }
}

TEST(TAxisLimitDialog, FallbacksAndUserSeparator) {
    TAxisLimitForm f;
    f.SetLow(-2.5);
    f.SetHigh(40);
    EXPECT_EQ(f.LowEdit->text(), "-2.5");
    EXPECT_EQ(f.HighEdit->text(), "40");
    f.LowEdit->setText("abc");
    f.HighEdit->setText("");
    EXPECT_EQ(f.GetLow(), -2.5);
    EXPECT_EQ(f.GetHigh(), 40);
    f.HighEdit->setText("inf");
    EXPECT_EQ(f.GetHigh(), 40);
    ravlon::SetUserDecimalSeparator(',');
    f.SetLow(0.25);
    EXPECT_EQ(f.LowEdit->text(), "0,25");
    f.HighEdit->setText("1,5");
    EXPECT_EQ(f.GetHigh(), 1.5);
    ravlon::SetUserDecimalSeparator('.');
}

TEST(TAxisLimitDialog, LettersAsLowValueKeepTheLowEnd) {
    TAxis a;
    a.SetRange(-50, 50);
    a.SetAllowDoubleClick(true);
    int changed = 0;
    a.OnScaleChanged = [&](TAxis*) { ++changed; };
    Answer(a, "abc", "80", true);
    DoubleClick(a, 20, 100);
    EXPECT_EQ(a.LoValue(), -50);
    EXPECT_EQ(a.HiValue(), 80);
    EXPECT_EQ(changed, 2); // SetRange and the dialog's own notification
    EXPECT_EQ(a.DragMode(), ravlon::kDragNone);
}

TEST(TAxisLimitDialog, CancelChangesNothing) {
    TAxis a;
    a.SetRange(-50, 50);
    a.SetAllowDoubleClick(true);
    Answer(a, "1", "2", false);
    DoubleClick(a, 20, 100);
    EXPECT_EQ(a.LoValue(), -50);
    EXPECT_EQ(a.HiValue(), 50);

    QTimer::singleShot(0, [&a] { QTest::keyClick(a.LimitForm(), Qt::Key_Escape); });
    EXPECT_FALSE(a.LimitForm()->Execute());
}

TEST(TAxisLimitDialog, EnterConfirms) {
    TAxis a;
    a.LimitForm()->SetLow(1);
    a.LimitForm()->SetHigh(3);
    QTimer::singleShot(0, [&a] { QTest::keyClick(a.LimitForm()->HighEdit, Qt::Key_Return); });
    EXPECT_TRUE(a.LimitForm()->Execute());
}

TEST(TAxisLimitDialog, RejectedEndRaisesAfterTheDialog) {
    TAxis a;
    a.SetRange(20, 20000);
    a.SetLogarithmic(true);
    a.SetAllowDoubleClick(true);
    Answer(a, "0", "100", true);
    // The error reaches the application's handler, not the caller of the event.
    std::vector<std::string> handled;
    ravlon::SetApplicationExceptionHandler(
        [&](QObject*, const std::string& m) { handled.push_back(m); });
    DoubleClick(a, 20, 100);
    ravlon::SetApplicationExceptionHandler({});
    EXPECT_EQ(handled, std::vector<std::string>{"LoValue=0, must be >0 for log scale!"});
    EXPECT_FALSE(a.LimitForm()->isVisible());
}

TEST(TAxisLimitDialog, DoubleClickWithoutPermissionIsAPress) {
    TAxis a;
    DoubleClick(a, 20, 30);
    EXPECT_EQ(a.DragMode(), ravlon::kDragHighEnd);
    EXPECT_FALSE(a.LimitForm()->isVisible());
}

// --- Context menu ------------------------------------------------------------------

TEST(TAxisMenu, FitLimitsAndReset) {
    TAxis a;
    a.SetRange(-50, 50);
    a.Loaded();
    int changing = 0;
    a.OnScaleChanging = [&](TAxis*) { ++changing; };
    std::optional<ravlon::AxisRange> data = ravlon::AxisRange{-8, 61};
    a.OnDataRange = [&] { return data; };
    a.SetFitMargin(0.1);
    a.FitAction->trigger();
    EXPECT_EQ(a.LoValue(), -20);
    EXPECT_EQ(a.HiValue(), 70);
    EXPECT_EQ(changing, 1); // the owner repaints
    EXPECT_TRUE(a.UserSet());
    a.ResetAction->trigger();
    EXPECT_EQ(a.HiValue(), 50);
    EXPECT_FALSE(a.UserSet());
    // A fit by the owner (new data) is not the user's; without data nothing changes.
    EXPECT_TRUE(a.FitToData());
    EXPECT_FALSE(a.UserSet());
    data.reset();
    EXPECT_FALSE(a.FitToData());
    // "Limits..." opens the dialog even where a double click does not.
    Answer(a, "1", "3", true);
    a.LimitsAction->trigger();
    EXPECT_EQ(a.HiValue(), 3);
    EXPECT_TRUE(a.UserSet());
}

TEST(TAxisMenu, RightButtonOpensTheMenuAndEndsThePress) {
    TAxis a;
    a.resize(40, 240);
    int changed = 0;
    a.OnScaleChanged = [&](TAxis*) { ++changed; };
    bool shown = false, fitEnabled = true;
    QTimer::singleShot(0, [&] {
        shown = a.ContextMenu()->isVisible();
        fitEnabled = a.FitAction->isEnabled();
        a.ContextMenu()->close();
    });
    Press(a, 20, 60, Qt::RightButton); // a press as with any button
    EXPECT_EQ(a.DragMode(), ravlon::kDragHighEnd);
    QContextMenuEvent e(QContextMenuEvent::Mouse, QPoint(20, 60), a.mapToGlobal(QPoint(20, 60)));
    QCoreApplication::sendEvent(&a, &e);
    EXPECT_TRUE(shown);
    EXPECT_FALSE(fitEnabled); // no data to fit to
    // The release went to the menu: the press ended as a release would end it.
    EXPECT_EQ(a.DragMode(), ravlon::kDragNone);
    EXPECT_EQ(changed, 1);
}

} // namespace
