// Renders the main window and the four result views to PNG files after a short
// measurement through the simulated room (offscreen). Usage:
//   ravlon_views_screenshot <output folder> [room settings] [cycles]
#include "app/application.h"
#include "axes/saxes.h"
#include "measure/mainwindow.h"
#include "platform/messagebox.h"
#include "views/decayview.h"
#include "views/radiusview.h"
#include "views/responseview.h"
#include "views/t60view.h"
#include "views/warningdialog.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPixmap>

#include <cstdio>
#include <string>

namespace {

bool Save(QWidget* window, const QString& folder, const char* name) {
    QString path = QDir(folder).filePath(name);
    bool ok = window->grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", path.toLocal8Bit().constData());
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString folder = argc > 1 ? argv[1] : "screenshots";
    const std::string room = argc > 2 ? argv[2] : "room:t60=125:0.6/1000:1.0/8000:0.5,pace=fast";
    const int cycles = argc > 3 ? std::atoi(argv[3]) : 4;
    QDir().mkpath(folder);

    ravlon::SetMessageBoxHandler([](const std::string& text, const std::string&, int) {
        std::fprintf(stderr, "message: %s\n", text.c_str());
        return ravlon::IDOK;
    });
    CreateForms(ravlon::audio::MakeWaveBackend(room));
    Form5->nowarncheck->setChecked(true); // no warning before the run
    Form1->postnoiseedit->setText("1.5");
    Form1->RunAction->trigger();
    if (!Form1->Running) {
        std::fprintf(stderr, "the measurement did not start\n");
        DestroyForms();
        return 1;
    }
    const uint64_t start = Form1->Spec().RepaintRequests();
    QElapsedTimer timer;
    timer.start();
    while (Form1->Spec().RepaintRequests() < start + static_cast<uint64_t>(cycles) &&
           timer.elapsed() < 120000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    Form1->RunAction->trigger();

    // A selected time in the decay and a line laid over the decay curve.
    Form3->SetTime(2.2);
    Form2->LineStarted = true;
    Form2->LineTime1 = 2.1;
    Form2->LineLevel1 = 30;
    Form2->LineTime2 = 2.6;
    Form2->LineLevel2 = 0;
    for (QAction* a : {Form1->ShowT60Action, Form1->Showdecayaction, Form1->showresponseaction,
                       Form1->Showrraction})
        a->trigger();
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);

    bool ok = Save(Form1, folder, "mainwindow.png");
    ok &= Save(Form2, folder, "decay.png");
    ok &= Save(Form3, folder, "response.png");
    ok &= Save(Form4, folder, "reverberationtime.png");
    ok &= Save(Form6, folder, "radius.png");
    Form1->close();
    DestroyForms();
    ravlon::SetMessageBoxHandler(nullptr);
    return ok ? 0 : 1;
}
