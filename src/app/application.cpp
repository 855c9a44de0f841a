#include "app/application.h"

#include "core/base/numtext.h"
#include "core/session/session_band_table.h"
#include "measure/audio_setup.h"
#include "measure/main_window.h"
#include "platform/appexception.h"
#include "platform/audio/chosen_backend.h"
#include "platform/audio/room_backend.h"
#include "services/window_places.h"
#include "session/export_actions.h"
#include "session/session_controller.h"
#include "views/bands_view.h"
#include "views/decay_view.h"
#include "views/radius_view.h"
#include "views/response_view.h"
#include "views/reverberation_time_view.h"
#include "views/warning_dialog.h"
#include "widgets/window_fit.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLayout>
#include <QLocale>
#include <QTimer>

#include <QMenu>
#include <QStatusBar>
#include <QToolBar>

#include <algorithm>
#include <exception>
#include <filesystem>
#include <vector>

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

namespace {

// The windows whose size and place last from one session to the next, each
// kept under its class name (the dialogs open centred every time).
std::vector<QWidget*> PlacedWindows(const RavlonWindows& w) {
    return {w.Form1.get(), w.Form2.get(), w.Form3.get(), w.Form4.get(), w.Form6.get()};
}

} // namespace

RavlonWindows::~RavlonWindows() {
    if (Places)
        for (QWidget* window : PlacedWindows(*this))
            if (window) Places->Store(*window, window->metaObject()->className());
    // The session and the exports go first: they use the main window and the views.
    Exports.reset();
    Sessions.reset();
    Audio.reset(); // it adds controls to the main window and takes them away
    // The views go first: they hold the main window's show actions.
    Bands.reset();
    Form6.reset();
    Form5.reset();
    Form4.reset();
    Form3.reset();
    Form2.reset();
    Form1.reset();
}

namespace {

constexpr const char kSessionAverage[] = "Session average";

// The devices of the back end, as a session position records them.
std::pair<std::string, std::string> DescribeDevices(ravlon::audio::WaveBackend& backend) {
    using namespace ravlon::audio;
    if (auto* chosen = dynamic_cast<ChosenWaveBackend*>(&backend)) {
        if (chosen->overridden()) return {chosen->statusText(), chosen->statusText()};
        const AudioChoice& c = chosen->choice();
        if (c.settings.IsRoom()) return {"Simulated room", "Simulated room"};
        return {c.outputName.empty() ? "default output device" : c.outputName,
                c.inputName.empty() ? "default input device" : c.inputName};
    }
    if (dynamic_cast<RoomBackend*>(&backend)) {
        const std::vector<std::string> out = backend.deviceNames(Direction::Output);
        const std::vector<std::string> in = backend.deviceNames(Direction::Input);
        return {out.empty() ? "" : out.front(), in.empty() ? "" : in.front()};
    }
    return {"default output device", "default input device"};
}

// The session's average as a source of the band results, added once a session is open.
void ShowSessionAverage(RavlonWindows& w) {
    TBandsView& bands = *w.Bands;
    if (bands.sourcecombo->findText(kSessionAverage) < 0)
        bands.AddSource(kSessionAverage, [&w](ravlon::TBandSet set) {
            return w.Sessions ? ravlon::SessionBandTable(w.Sessions->Average(), set)
                              : ravlon::TBandTable{};
        });
    bands.SourceChanged();
}

} // namespace

std::unique_ptr<RavlonWindows> CreateForms(std::shared_ptr<ravlon::audio::WaveBackend> backend) {
    QApplication::setQuitOnLastWindowClosed(false); // closing the main window ends the program
    if (!backend) backend = std::make_shared<ravlon::audio::ChosenWaveBackend>();
    auto w = std::make_unique<RavlonWindows>();
    w->Form1 = std::make_unique<TForm1>(w->Model, backend);
    TForm1& main = *w->Form1;
    w->Form2 = std::make_unique<TForm2>(w->Model, main.Showdecayaction);
    w->Form3 = std::make_unique<TForm3>(w->Model, main.showresponseaction);
    w->Form4 = std::make_unique<TForm4>(w->Model, main.ShowT60Action);
    w->Form5 = std::make_unique<TForm5>(&main);
    w->Form6 = std::make_unique<TForm6>(w->Model, main.Showrraction);
    QAction* showBands = TBandsView::MakeShowAction(&main);
    w->Bands = std::make_unique<TBandsView>(w->Model, showBands);
    main.ToolBar1->addAction(showBands); // the settings panel's layout makes room for it
    main.Menu("&View")->addAction(showBands);
    main.Menu("&Edit")->addAction(w->Bands->CopyAction);
    main.file1->insertAction(main.Exit1, w->Bands->ExportAction);
    main.file1->insertSeparator(main.Exit1);
    // The band results' cycle read-out has its own place in the status bar.
    auto* cycleStatus = new QLabel(&main);
    cycleStatus->setWordWrap(true); // lines, not width, like the other notices
    main.statusBar()->addWidget(cycleStatus, 1);
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
    w->Audio = std::make_unique<ravlon::TAudioSetup>(main, backend);
    w->Sessions = std::make_unique<TSessionController>(main, w->Model);
    w->Sessions->Devices = [backend] { return DescribeDevices(*backend); };
    RavlonWindows* windows = w.get();
    QObject::connect(w->Sessions.get(), &TSessionController::Changed, w->Bands.get(),
                     ravlon::Guarded(w->Bands.get(), [windows] { ShowSessionAverage(*windows); }));
    w->Exports = std::make_unique<TExportActions>(main, w->Sessions->ExportReportAction);
    w->Exports->AddView("Spectrogram", main.Panel2);
    w->Exports->AddView("Decay", w->Form2->Panel1);
    w->Exports->AddView("Response", w->Form3->Panel1);
    w->Exports->AddView("Reverberation time", w->Form4->Panel1);
    w->Exports->AddView("Reverberation radius", w->Form6->Panel1);
    w->Exports->AddView("Band results", w->Bands->Panel1);
    // What the features added to the main window may need more room.
    FitStartSize(main, main.size());
    main.Loaded();
    w->Places = std::make_unique<ravlon::TWindowPlaces>(main.ProgId1);
    for (QWidget* window : PlacedWindows(*w))
        w->Places->Restore(*window, window->metaObject()->className(), FittingSize(*window));
    main.show();
    w->Audio->Start();
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
