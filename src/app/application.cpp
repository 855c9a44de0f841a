#include "app/application.h"

#include "core/base/numtext.h"
#include "measure/main_window.h"
#include "platform/appexception.h"
#include "views/bands_view.h"
#include "views/decay_view.h"
#include "views/radius_view.h"
#include "views/response_view.h"
#include "views/reverberation_time_view.h"
#include "views/warning_dialog.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLayout>
#include <QLocale>
#include <QMenu>
#include <QStatusBar>
#include <QToolBar>

#include <algorithm>
#include <exception>

RavlonApplication::RavlonApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName("Ravlon");
    setOrganizationName("GessumData");
    setApplicationVersion("1.0.0.0");
    // Numbers shown to the user follow the user's locale; files always use '.'.
    QString point = QLocale().decimalPoint();
    if (point.size() == 1 && point[0].unicode() < 128)
        ravlon::SetUserDecimalSeparator(static_cast<char>(point[0].unicode()));
}

bool RavlonApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ravlon::HandleApplicationException(receiver, e.what());
    } catch (...) {
        ravlon::HandleApplicationException(receiver, "Unknown exception");
    }
    return false;
}

RavlonWindows::RavlonWindows() = default;

RavlonWindows::~RavlonWindows() {
    // The views go first: they hold the main window's show actions.
    Bands.reset();
    Form6.reset();
    Form5.reset();
    Form4.reset();
    Form3.reset();
    Form2.reset();
    Form1.reset();
}

std::unique_ptr<RavlonWindows> CreateForms(std::shared_ptr<ravlon::audio::WaveBackend> backend) {
    QApplication::setQuitOnLastWindowClosed(false); // closing the main window ends the program
    auto w = std::make_unique<RavlonWindows>();
    w->Form1 = std::make_unique<TForm1>(w->Model, std::move(backend));
    TForm1& main = *w->Form1;
    w->Form2 = std::make_unique<TForm2>(w->Model, main.Showdecayaction);
    w->Form3 = std::make_unique<TForm3>(w->Model, main.showresponseaction);
    w->Form4 = std::make_unique<TForm4>(w->Model, main.ShowT60Action);
    w->Form5 = std::make_unique<TForm5>(&main);
    w->Form6 = std::make_unique<TForm6>(w->Model, main.Showrraction);
    QAction* showBands = TBandsView::MakeShowAction(&main);
    w->Bands = std::make_unique<TBandsView>(w->Model, showBands);
    main.ToolBar1->addAction(showBands);
    // The settings panel grows as far as the sixth button needs.
    const QMargins margins = main.Panel1->layout()->contentsMargins();
    main.Panel1->setFixedWidth(
        std::max(main.Panel1->width(),
                 main.ToolBar1->sizeHint().width() + margins.left() + margins.right()));
    main.Menu("&View")->addAction(showBands);
    main.Menu("&Edit")->addAction(w->Bands->CopyAction);
    main.file1->insertAction(main.Exit1, w->Bands->ExportAction);
    main.file1->insertSeparator(main.Exit1);
    // The band results' cycle read-out has its own place in the status bar.
    auto* cycleStatus = new QLabel(&main);
    main.statusBar()->addPermanentWidget(cycleStatus);
    w->Bands->OnCycleSummary = [cycleStatus](const std::string& text) {
        cycleStatus->setText(QString::fromStdString(text));
    };
    w->Bands->StopRun = [&main] {
        if (!main.Running) return false;
        main.SetRunning(false);
        return true;
    };

    // Each show action shows its view exactly while it is checked.
    const std::pair<QAction*, QWidget*> shows[] = {{main.Showdecayaction, w->Form2.get()},
                                                   {main.showresponseaction, w->Form3.get()},
                                                   {main.ShowT60Action, w->Form4.get()},
                                                   {main.Showrraction, w->Form6.get()},
                                                   {showBands, w->Bands.get()}};
    for (auto [action, view] : shows)
        QObject::connect(action, &QAction::triggered, view, ravlon::Guarded(view, [action, view] {
                             view->setVisible(action->isChecked());
                         }));
    // The warning lasts the whole session: once ticked, it is not shown again.
    TForm5* warning = w->Form5.get();
    main.WarnBeforeRun = [warning] {
        if (!warning->nowarncheck->isChecked()) warning->exec();
    };
    main.Loaded();
    main.show();
    return w;
}
