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

namespace {

std::string Caption() {
    std::string caption = QCoreApplication::applicationName().toStdString();
    return caption.empty() ? "Ravlon" : caption;
}

} // namespace

void ShowExceptionMessage(const std::string& message) {
    ShowMessageBox(message, Caption(), MB_OK | MB_ICONERROR);
}

void ShowInputError(const std::string& message) {
    ShowMessageBox(message, Caption(), MB_OK | MB_ICONEXCLAMATION);
}

} // namespace ravlon
