#include "platform/shellopen.h"

#include <QDesktopServices>
#include <QUrl>

namespace ravlon {

namespace {

ShellOpenHandler& Handler() {
    static ShellOpenHandler handler;
    return handler;
}

} // namespace

bool ShellOpen(const std::string& target) {
    if (target.empty()) return false;
    if (Handler()) return Handler()(target);
    const QString text = QString::fromStdString(target);
    const QUrl url = text.startsWith('/') ? QUrl::fromLocalFile(text) : QUrl(text);
    return url.isValid() && QDesktopServices::openUrl(url);
}

void SetShellOpenHandler(ShellOpenHandler handler) {
    Handler() = std::move(handler);
}

bool IsWebAddress(const std::string& address) {
    const QUrl url(QString::fromStdString(address), QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty()) return false;
    const QString scheme = url.scheme().toLower();
    return scheme == "http" || scheme == "https";
}

} // namespace ravlon
