#include "app/application.h"

#include "core/base/numtext.h"
#include "measure/main_window.h"
#include "platform/appexception.h"
#include "views/decay_view.h"
#include "views/radius_view.h"
#include "views/response_view.h"
#include "views/reverberation_time_view.h"
#include "views/warning_dialog.h"

#include <QAction>
#include <QCheckBox>
#include <QLocale>
#include <QTimer>

#include <exception>
#include <filesystem>

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
    } catch (const ravlon::EInputError& e) {
        ravlon::ShowInputError(e.what());
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

    // Each show action shows its view exactly while it is checked.
    const std::pair<QAction*, QWidget*> shows[] = {{main.Showdecayaction, w->Form2.get()},
                                                   {main.showresponseaction, w->Form3.get()},
                                                   {main.ShowT60Action, w->Form4.get()},
                                                   {main.Showrraction, w->Form6.get()}};
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

void OpenRecordingAtStart(TForm1& main, const std::string& name) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(name, ec);
    // The recent-files list and later messages name the file the same way wherever
    // the program was started from.
    const std::string path = ec ? name : absolute.lexically_normal().string();
    QTimer::singleShot(
        0, &main, [&main, path] { ravlon::RunGuarded(&main, [&] { main.OpenRecording(path); }); });
}
