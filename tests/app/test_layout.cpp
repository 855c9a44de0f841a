// Every window and dialog at the desktop's font and at a 12-point font; ctest
// runs this program at scale 1 and at QT_SCALE_FACTOR=2. No text is cut:
// every label, check box and button is at least as large as it asks to be,
// lies inside its window and is not elided, and every title fits its title
// bar. The windows keep their size and place from one session to the next.
#include "app_fixture.h"

#include "services/about_box.h"
#include "services/window_places.h"
#include "widgets/window_fit.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLayout>
#include <QScreen>
#include <QToolBar>

using namespace ravlon;

namespace {

// Layout requests travel up one parent per turn of the event loop.
void Settle() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

void ExpectNothingCut(QWidget* window) {
    SCOPED_TRACE(window->windowTitle().toStdString());
    ASSERT_TRUE(window->isVisible());
    EXPECT_GE(window->width(), TitleBarWidth(*window));
    for (QWidget* w : window->findChildren<QWidget*>()) {
        QString text;
        if (auto* label = qobject_cast<QLabel*>(w))
            text = label->text();
        else if (auto* button = qobject_cast<QAbstractButton*>(w))
            text = button->text();
        else
            continue;
        if (!w->isVisibleTo(window)) continue;
        SCOPED_TRACE(text.toStdString());
        // A wrapped text may take lines instead of width.
        const QSize hint = w->hasHeightForWidth()
                               ? QSize(w->minimumSizeHint().width(), w->heightForWidth(w->width()))
                               : w->sizeHint();
        EXPECT_GE(w->width(), hint.width());
        EXPECT_GE(w->height(), hint.height());
        EXPECT_EQ(w->visibleRegion().boundingRect(), w->rect()) << "clipped by its window";
        EXPECT_FALSE(text.contains(QChar(0x2026))) << "elided";
    }
}

} // namespace

class Layout : public AppFixture {
protected:
    // Closes the program's windows, as at the end of a session.
    void EndSession() {
        Form1->close();
        windows.reset();
        Form1 = nullptr;
    }
    void TearDown() override {
        AppFixture::TearDown();
        QApplication::setFont(desktopFont);
    }
    const QFont desktopFont = QApplication::font();
};

TEST_F(Layout, NoTextIsCutAtTheDesktopFontNorAtTwelvePoints) {
    for (int points : {0, 12}) {
        SCOPED_TRACE(points);
        QFont font = desktopFont;
        if (points > 0) font.setPointSize(points);
        QApplication::setFont(font);
        // The second session restores the sizes of the first, made for a smaller font.
        StartForms("room:t60=0.5,pace=fast");

        // During a run: the progress and a notice of dropped audio in the
        // status bar, and all five tool buttons shown.
        PressRun();
        ASSERT_TRUE(Form1->Running);
        ASSERT_TRUE(WaitForCycles(1));
        Form1->MPCRecord1.OnDropout();
        ASSERT_NE(Form1->StatusText(), "");
        Settle();
        ExpectNothingCut(Form1);
        for (QAction* a : Form1->ToolBar1->actions())
            EXPECT_TRUE(Form1->ToolBar1->widgetForAction(a)->isVisible());
        Form1->RunAction->trigger();

        // The views with their status texts filled, the two dialogs open.
        for (QAction* a : {Form1->Showdecayaction, Form1->showresponseaction, Form1->ShowT60Action,
                           Form1->Showrraction})
            a->trigger();
        Form2->PaintBox1MouseDown(Qt::LeftButton, 20, 20);
        Form2->PaintBox1MouseMove(Qt::LeftButton, 60, Form2->PaintBox1->height() - 3);
        Form3->PaintBox1MouseMove(Qt::LeftButton, 30, Form3->PaintBox1->height() - 3);
        Form3->SetTime(2.12345);
        Form4->PaintBox1MouseMove(Qt::NoButton, Form4->PaintBox1->width() / 2, 10);
        QDialog* about = Form1->OstrelAbout1->Dialog();
        Form5->show();
        about->show();
        Settle();
        EXPECT_NE(Form2->StatusText(2), "");
        for (QWidget* window :
             std::initializer_list<QWidget*>{Form1, Form2, Form3, Form4, Form5, Form6, about})
            ExpectNothingCut(window);
        Form5->hide();
        about->hide();
        EndSession();
    }
}

TEST_F(Layout, WindowsKeepTheirSizeAndPlaceBetweenSessions) {
    const QList<QRect> screens{{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}};
    const std::pair<QRect, bool> places[] = {
        {{100, 100, 400, 300}, true},
        {{2000, 50, 400, 300}, true},   // on the second screen
        {{1700, 100, 400, 300}, true},  // across both
        {{3180, 100, 400, 300}, false}, // 20 pixels of it shown
        {{100, 1070, 400, 300}, false}, // 10 pixels of it shown
        {{100, -50, 400, 300}, false},  // its title bar above the screens
        {{-5000, -5000, 400, 300}, false},
        {{3190, 1004, 10, 10}, true}, // a small window, all of it shown
    };
    for (auto [place, used] : places)
        EXPECT_EQ(PlaceOnScreens(place, screens), used) << place.x() << "," << place.y();

    // The first session: the main window as it starts, where its texts fit.
    StartForms("room:pace=fast");
    EXPECT_EQ(Form1->size(), QSize(640, 400));
    Settle();
    // At least 395 x 371, more where the tool bar's buttons need it.
    EXPECT_GE(Form1->minimumSize().width(), 395);
    EXPECT_EQ(Form1->minimumSize().height(), 371);
    Form4->setGeometry(30, 40, 500, 420);
    Form1->resize(700, 450);
    const QSize response = Form3->size();
    Form3->move(-5000, -5000);
    EndSession();

    StartForms("room:pace=fast");
    EXPECT_EQ(Form4->geometry(), QRect(30, 40, 500, 420));
    EXPECT_EQ(Form1->size(), QSize(700, 450));
    // A place off every screen is not used: the window opens centred.
    EXPECT_EQ(Form3->size(), response);
    const QPoint centre = QGuiApplication::primaryScreen()->availableGeometry().center();
    EXPECT_LE((Form3->geometry().center() - centre).manhattanLength(), 2);
}
