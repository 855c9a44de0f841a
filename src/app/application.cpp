#include "app/application.h"

#include "measure/mainwindow.h"
#include "platform/appexception.h"
#include "recording/numtext.h"
#include "views/decayview.h"
#include "views/radiusview.h"
#include "views/responseview.h"
#include "views/t60view.h"
#include "views/warningdialog.h"

#include <QLocale>
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

void CreateForms(std::shared_ptr<ravlon::audio::WaveBackend> backend) {
    QApplication::setQuitOnLastWindowClosed(false); // closing the main window ends the program
    Form1 = new TForm1(std::move(backend));
    Form2 = new TForm2();
    Form3 = new TForm3();
    Form4 = new TForm4();
    Form5 = new TForm5(Form1);
    Form6 = new TForm6();
    Form1->Loaded();
    Form1->show();
}

void DestroyForms() {
    delete Form6;
    Form6 = nullptr;
    delete Form5;
    Form5 = nullptr;
    delete Form4;
    Form4 = nullptr;
    delete Form3;
    Form3 = nullptr;
    delete Form2;
    Form2 = nullptr;
    delete Form1;
    Form1 = nullptr;
}
