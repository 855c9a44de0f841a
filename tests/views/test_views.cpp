// The result views' behaviour through their data and status texts: the shared
// frequency selection, the drops, the hand-drawn line, the selected time,
// closing and repainting.
#include "views_fixture.h"

#include <QLabel>
#include <QStatusBar>

using namespace ravlon;

namespace {

class Views : public ViewsFixture {};

const double kSnapped1000 = 5 * 24000.0 / 127; // 944.88 Hz

} // namespace

TEST_F(Views, SetFrequencySnapsToTheBinOfTheStore) {
    // Before any analysis k = 1: the main window's first activation shows 1000 Hz.
    EXPECT_EQ(Form2->StatusText(0), "1000 Hz");
    EXPECT_EQ(Form1->faxis->MarkerValue(), 1000);

    BuildStore([](int32_t) { return 1.2; });
    Form2->SetFrequency(1000);
    EXPECT_EQ(Form2->Frequency(), 1000);
    EXPECT_NEAR(Form2->SnappedFrequency(), kSnapped1000, 1e-9);
    EXPECT_EQ(Form2->StatusText(0), "944.88 Hz");
    EXPECT_NEAR(Form1->faxis->MarkerValue(), kSnapped1000, 1e-9);

    // No range check: a frequency above half the rate keeps its own bin number.
    Form2->SetFrequency(30000);
    EXPECT_EQ(Form2->StatusText(0), FormatSignificant(5, 159 * 24000.0 / 127) + " Hz");
}

TEST_F(Views, LeftDragOnAnyFrequencyPlotSelectsTheFrequencyForAllViews) {
    BuildStore([](int32_t) { return 1.2; });
    for (TResultView* view : std::initializer_list<TResultView*>{Form3, Form4, Form6}) {
        SCOPED_TRACE(view->windowTitle().toStdString());
        view->show();
        TAxis* faxis = view == Form3 ? Form3->faxis : view == Form4 ? Form4->faxis : Form6->faxis;
        const int x = view->PaintBox1->width() / 3;
        const double f = faxis->PixelToValue(x);
        Form2->SetFrequency(5000);

        // Without the left button nothing changes.
        Move(view, Qt::NoButton, x, 10);
        Press(view, Qt::RightButton, x, 10);
        Move(view, Qt::RightButton, x, 10);
        EXPECT_EQ(Form2->Frequency(), 5000);

        // A press is handled as a move: it selects at once.
        Press(view, Qt::LeftButton, x, 10);
        EXPECT_EQ(Form2->Frequency(), f);
        const double snapped = SnappedFrequency(f, kBins, 48000);
        EXPECT_EQ(Form2->StatusText(0), FormatSignificant(5, snapped) + " Hz");
        EXPECT_NEAR(Form1->faxis->MarkerValue(), snapped, 1e-9);
        Move(view, Qt::LeftButton, x + 7, 10);
        EXPECT_EQ(Form2->Frequency(), faxis->PixelToValue(x + 7));
        // The dotted line of every frequency plot moves to the bin.
        const double moved = SnappedFrequency(faxis->PixelToValue(x + 7), kBins, 48000);
        using Plot = std::pair<TResultView*, TAxis*>;
        for (auto [plot, axis] :
             {Plot{Form3, Form3->faxis}, Plot{Form4, Form4->faxis}, Plot{Form6, Form6->faxis}}) {
            QImage img = Grab(plot);
            EXPECT_GT(CountColumn(img, axis->ValueToPixelClamped(moved), kDotted),
                      img.height() / 4);
        }
    }
    // The response view also reads out frequency and level under the mouse.
    Press(Form3, Qt::LeftButton, 40, 30);
    EXPECT_EQ(Form3->StatusText(1), FormatSignificant(5, Form3->faxis->PixelToValue(40)) + " Hz, " +
                                        FormatFloat("0.00", Form3->laxis->PixelToValue(30)) +
                                        " dB");
}

TEST_F(Views, DropEditsSetTheDropsAndKeepThemOnBadText) {
    EXPECT_EQ(Form2->InitialDrop(), 5);
    EXPECT_EQ(Form2->AdditionalDrop(), 30);
    Form2->initialleveledit->setText(
        QString::fromStdString("7" + std::string(1, UserDecimalSeparator()) + "50"));
    EXPECT_EQ(Form2->InitialDrop(), 7.5);
    // Written back in the general form.
    EXPECT_EQ(Form2->initialleveledit->text().toStdString(), FloatToStr(7.5));

    for (const char* bad : {"abc", "", "-", "1e999"}) {
        Form2->additionalleveledit->setText(bad);
        EXPECT_EQ(Form2->AdditionalDrop(), 30) << bad;
        EXPECT_EQ(Form2->additionalleveledit->text(), bad);
    }
    Form2->SetAdditionalDrop(12.25);
    EXPECT_EQ(Form2->AdditionalDrop(), 12.25);
    EXPECT_EQ(Form2->additionalleveledit->text().toStdString(), FloatToStr(12.25));
}

TEST_F(Views, AdditionalDropZeroGivesNoT60AndEqualFrames) {
    BuildStore([](int32_t) { return 1.2; });
    Grab(Form4);
    ASSERT_EQ(Form4->T60Values().size(), size_t(kBins));
    EXPECT_NEAR(Form4->T60Values()[5], 1.2, 0.01);

    Form2->additionalleveledit->setText("0");
    ASSERT_EQ(Form2->AdditionalDrop(), 0);
    Grab(Form4);
    for (int32_t b = 0; b < kBins; ++b) {
        EXPECT_EQ(Form4->T60Values()[size_t(b)], 0) << b;
        EXPECT_EQ(Form4->StartFrames()[size_t(b)], 79) << b; // 5 dB at 0.2667 dB a frame
        EXPECT_EQ(Form4->EndFrames()[size_t(b)], 79) << b;
    }
}

TEST_F(Views, NoiseWithoutPreNoiseOrNoiseFramesFindsNoCrossingInFrameZero) {
    // Pos1 = Pos2 = 0: the noise reference and the scan both start at frame 0.
    // Frame 0 is then pulled below both thresholds; the rest stays at 0 dB.
    BuildStore([](int32_t) { return 0.0; }, -100, 0, 0, 300);
    std::vector<double> zero(kBins, 0.0);
    for (int i = 0; i < 9999; ++i) Store().AddSpectrum(0, zero);
    Grab(Form4);
    ASSERT_EQ(Form4->T60Values().size(), size_t(kBins));
    for (int32_t b = 0; b < kBins; ++b) {
        EXPECT_EQ(Form4->T60Values()[size_t(b)], 0);
        EXPECT_EQ(Form4->StartFrames()[size_t(b)], 0);
        EXPECT_EQ(Form4->EndFrames()[size_t(b)], 0);
    }
}

TEST_F(Views, HandDrawnLineFollowsTheMouseRules) {
    Form2->show();
    TAxis* taxis = Form2->taxis;
    TAxis* laxis = Form2->laxis;
    // One pixel = 0.01 s and 0.5 dB, so the pixels below hold round values.
    taxis->SetRange(0, (taxis->width() - 1) * 0.01);
    laxis->SetRange(-(laxis->height() - 1) * 0.5, 0);
    auto x = [&](double t) { return taxis->ValueToPixel(t); };
    auto y = [&](double l) { return laxis->ValueToPixel(l); };
    ASSERT_NEAR(taxis->PixelToValue(x(0.5)), 0.5, 1e-9);
    ASSERT_NEAR(laxis->PixelToValue(y(-40)), -40, 1e-9);
    EXPECT_FALSE(Form2->LineStarted);

    // The press places both ends; equal levels have no T60.
    Press(Form2, Qt::LeftButton, x(0.5), y(-10));
    EXPECT_TRUE(Form2->LineStarted);
    EXPECT_NEAR(Form2->LineTime1, 0.5, 1e-9);
    EXPECT_NEAR(Form2->LineTime2, 0.5, 1e-9);
    EXPECT_NEAR(Form2->LineLevel1, -10, 1e-9);
    EXPECT_NEAR(Form2->LineLevel2, -10, 1e-9);
    EXPECT_EQ(Form2->StatusText(1), "T60= ?");
    EXPECT_EQ(Form2->StatusText(2), "0" + std::string(1, UserDecimalSeparator()) + "5 s, -10" +
                                        UserDecimalSeparator() + "00 dB");

    // The tie sends the drag to the second end: 30 dB in 0.5 s.
    Move(Form2, Qt::LeftButton, x(1.0), y(-40));
    EXPECT_NEAR(Form2->LineTime1, 0.5, 1e-9);
    EXPECT_NEAR(Form2->LineTime2, 1.0, 1e-9);
    EXPECT_NEAR(Form2->LineLevel2, -40, 1e-9);
    EXPECT_EQ(Form2->StatusText(1), "T60=1 s");

    // A later press near the first end moves that end at once: 20 dB in 0.5 s.
    Press(Form2, Qt::LeftButton, x(0.5), y(-20));
    EXPECT_NEAR(Form2->LineTime1, 0.5, 1e-9);
    EXPECT_NEAR(Form2->LineLevel1, -20, 1e-9);
    EXPECT_NEAR(Form2->LineTime2, 1.0, 1e-9);
    EXPECT_EQ(Form2->StatusText(1), "T60=1" + std::string(1, UserDecimalSeparator()) + "5 s");

    // A right move clears LineStarted and leaves the line where it is ...
    Move(Form2, Qt::RightButton, x(0.1), y(-1));
    EXPECT_FALSE(Form2->LineStarted);
    EXPECT_NEAR(Form2->LineTime1, 0.5, 1e-9);
    EXPECT_NEAR(Form2->LineTime2, 1.0, 1e-9);
    // ... and the next left press replaces both ends.
    Press(Form2, Qt::LeftButton, x(0.2), y(-20));
    EXPECT_TRUE(Form2->LineStarted);
    EXPECT_NEAR(Form2->LineTime1, 0.2, 1e-9);
    EXPECT_NEAR(Form2->LineTime2, 0.2, 1e-9);

    // A right press while the line is not started collapses it to the press point.
    Move(Form2, Qt::RightButton, 0, 0);
    Press(Form2, Qt::RightButton, x(0.3), y(-30));
    EXPECT_FALSE(Form2->LineStarted);
    EXPECT_NEAR(Form2->LineTime1, 0.3, 1e-9);
    EXPECT_NEAR(Form2->LineTime2, 0.3, 1e-9);
    EXPECT_NEAR(Form2->LineLevel1, -30, 1e-9);
    EXPECT_NEAR(Form2->LineLevel2, -30, 1e-9);

    // A move without buttons changes nothing.
    Move(Form2, Qt::NoButton, x(1.5), y(-45));
    EXPECT_NEAR(Form2->LineTime2, 0.3, 1e-9);
}

TEST_F(Views, SetTimeAndSnappedTime) {
    EXPECT_EQ(Form3->Time(), 0);
    EXPECT_EQ(Form3->StatusText(0), "");
    // Before any analysis the time is not snapped.
    Form3->SetTime(1.2345);
    EXPECT_EQ(Form3->StatusText(0), FormatSignificant(5, 1.2345) + " s");
    EXPECT_EQ(Form3->SnappedTime(), 1.2345);

    BuildStore([](int32_t) { return 1.2; });
    Form3->SetTime(0.6);
    EXPECT_EQ(Form3->StatusText(0), FormatSignificant(5, 0.6) + " s");
    // 300 frames over 1.6 s: 0.6 s is frame Round(299 * 0.6 / 1.6) = 112.
    EXPECT_NEAR(Form3->SnappedTime(), 112 * 1.6 / 299, 1e-12);
    Form3->SetTime(99);
    EXPECT_NEAR(Form3->SnappedTime(), 18501 * 1.6 / 299, 1e-9); // snapped, not limited
}

TEST_F(Views, ClosingAViewUnchecksItsAction) {
    const std::vector<std::pair<TResultView*, QAction*>> views{{Form2, Form1->Showdecayaction},
                                                               {Form3, Form1->showresponseaction},
                                                               {Form4, Form1->ShowT60Action},
                                                               {Form6, Form1->Showrraction}};
    for (auto [view, action] : views) {
        SCOPED_TRACE(view->windowTitle().toStdString());
        EXPECT_FALSE(view->isVisible());
        action->trigger();
        EXPECT_TRUE(action->isChecked());
        EXPECT_TRUE(view->isVisible());
        view->close();
        EXPECT_FALSE(view->isVisible());
        EXPECT_FALSE(action->isChecked());
    }
    // The first showing marked every plot but the radius view's opaque, and
    // limited the reverberation time view's time axis.
    EXPECT_TRUE(Form2->PaintBox1->Opaque());
    EXPECT_TRUE(Form3->PaintBox1->Opaque());
    EXPECT_TRUE(Form4->PaintBox1->Opaque());
    EXPECT_FALSE(Form6->PaintBox1->Opaque());
    Form4->taxis->SetRange(-5, 0.001);
    EXPECT_EQ(Form4->taxis->LoValue(), 0);
    EXPECT_EQ(Form4->taxis->HiValue(), 0.01);
}

TEST_F(Views, WindowsAsTheUserSeesThem) {
    struct Expect {
        TResultView* view;
        const char* caption;
        std::vector<int> panels;
    };
    for (const Expect& e : {Expect{Form2, "Ravlon - decay", {60, 100, 50}},
                            Expect{Form3, "Ravlon - Response", {100, 50}},
                            Expect{Form4, "Ravlon - Reverberation time", {100, 50}},
                            Expect{Form6, "Ravlon - Reverberation radius", {100, 50}}}) {
        SCOPED_TRACE(e.caption);
        EXPECT_EQ(e.view->windowTitle().toStdString(), e.caption);
        // 256 x 300, wider where the title or the status panels need it.
        EXPECT_EQ(e.view->height(), 300);
        EXPECT_GE(e.view->width(), 256);
        e.view->show();
        // The panels are at least as wide as they were made, and as their texts.
        const QList<QLabel*> panels =
            e.view->StatusBar1->findChildren<QLabel*>(Qt::FindDirectChildrenOnly);
        ASSERT_EQ(size_t(panels.size()), e.panels.size());
        for (qsizetype i = 0; i < panels.size(); ++i) {
            EXPECT_GE(panels[i]->width(), e.panels[size_t(i)]);
            EXPECT_GE(panels[i]->width(), panels[i]->sizeHint().width());
        }
        // The plot lies right of the vertical axis and above the horizontal one,
        // 2 pixels from the panel's top, right and bottom edges.
        QRect plot = e.view->PaintBox1->geometry();
        EXPECT_EQ(plot.top(), 2);
        EXPECT_EQ(e.view->Panel1->width() - plot.right() - 1, 2);
        EXPECT_EQ(e.view->Panel1->height() - plot.bottom() - 1 -
                      (e.view == Form2   ? Form2->taxis->height()
                       : e.view == Form3 ? Form3->faxis->height()
                       : e.view == Form4 ? Form4->faxis->height()
                                         : Form6->faxis->height()),
                  2);
    }
    EXPECT_EQ(Form2->Label1->text(), "Initial drop [dB]");
    EXPECT_EQ(Form2->Label2->text(), "Additional drop [dB]");
    EXPECT_EQ(Form6->Label1->text(), "Room volume [m3]");
    EXPECT_EQ(Form6->volumeedit->text(), "100");
    // 53 pixels where label and edit fit.
    EXPECT_EQ(Form2->Panel2->height(), 53);
    EXPECT_EQ(Form6->Panel2->height(), 53);
}

TEST_F(Views, ReverberationTimeViewReadsOutTheBinUnderTheMouseOrTheSelectedOne) {
    // Before any analysis: the selected frequency, no T60.
    Form4->show();
    EXPECT_EQ(Form4->StatusText(0), "1000 Hz");
    EXPECT_EQ(Form4->StatusText(1), "T60= ?");

    // Bins up to 89 decay with 1.2 s, the others do not decay at all.
    BuildStore([](int32_t b) { return b < 90 ? 1.2 : 0.0; });
    Form2->SetFrequency(1000);
    ASSERT_EQ(Form4->T60Values().size(), size_t(kBins));
    EXPECT_EQ(Form4->StatusText(0), "944.88 Hz");
    EXPECT_EQ(Form4->StatusText(1), "T60=" + FormatSignificant(5, Form4->T60Values()[5]) + " s");
    EXPECT_NEAR(Form4->T60Values()[5], 1.2, 0.02);

    // The mouse over the plot, no button held: the bin under it, nothing selected.
    const int x = Form4->faxis->ValueToPixel(20000); // bin 106: no decay
    Move(Form4, Qt::NoButton, x, 10);
    const double f = SnappedFrequency(Form4->faxis->PixelToValue(x), kBins, 48000);
    EXPECT_EQ(Form4->StatusText(0), FormatSignificant(5, f) + " Hz");
    EXPECT_EQ(Form4->StatusText(1), "T60= ?");
    EXPECT_EQ(Form2->Frequency(), 1000);
    // Off the plot again: the selected frequency.
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(Form4->PaintBox1, &leave);
    EXPECT_EQ(Form4->StatusText(0), "944.88 Hz");
    EXPECT_EQ(Form4->StatusText(1), "T60=" + FormatSignificant(5, Form4->T60Values()[5]) + " s");
}
