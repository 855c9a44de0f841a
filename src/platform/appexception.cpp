#include "platform/appexception.h"

#include "platform/messagebox.h"

#include <QCoreApplication>

namespace ravlon {

namespace {

ApplicationExceptionHandler& Handler() {
    static ApplicationExceptionHandler handler;
    return handler;
}

} // namespace

void SetApplicationExceptionHandler(ApplicationExceptionHandler handler) {
    Handler() = std::move(handler);
}

void HandleApplicationException(QObject* receiver, const std::string& message) {
    if (Handler())
        Handler()(receiver, message);
    else
        ShowExceptionMessage(message);
}

void ShowExceptionMessage(const std::string& message) {
    std::string caption = QCoreApplication::applicationName().toStdString();
    if (caption.empty()) caption = "Ravlon";
    ShowMessageBox(message, caption, MB_OK | MB_ICONERROR);
}

} // namespace ravlon
