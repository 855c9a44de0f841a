#include "platform/network.h"

#include "platform/shellopen.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkInformation>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

namespace ravlon {

namespace {

std::function<bool()>& StateHandler() {
    static std::function<bool()> handler;
    return handler;
}

} // namespace

bool IsInternetConnected() {
    if (StateHandler()) return StateHandler()();
    if (!QNetworkInformation::instance() &&
        !QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability))
        return true;
    const auto* info = QNetworkInformation::instance();
    if (!info) return true;
    switch (info->reachability()) {
    case QNetworkInformation::Reachability::Disconnected:
    case QNetworkInformation::Reachability::Local:
        return false;
    default:
        return true;
    }
}

void SetConnectionStateHandler(std::function<bool()> handler) {
    StateHandler() = std::move(handler);
}

HttpGetResult HttpGet(const std::string& url, int timeoutMs, std::size_t maxBytes) {
    HttpGetResult result;
    if (!IsWebAddress(url)) {
        result.error = "Not an http or https address: " + url;
        return result;
    }
    QNetworkAccessManager manager;
    QNetworkRequest request{QUrl(QString::fromStdString(url))};
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(timeoutMs);
    QNetworkReply* reply = manager.get(request);
    QByteArray body;
    bool tooLarge = false;
    bool timedOut = false;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        reply->abort();
    });
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] {
        body += reply->readAll();
        if (static_cast<std::size_t>(body.size()) > maxBytes) {
            tooLarge = true;
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    timer.start(timeoutMs);
    if (!reply->isFinished()) loop.exec(QEventLoop::ExcludeUserInputEvents);
    timer.stop();
    if (!tooLarge) body += reply->readAll();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (tooLarge || static_cast<std::size_t>(body.size()) > maxBytes)
        result.error = "The answer is larger than " + std::to_string(maxBytes) + " bytes";
    else if (timedOut)
        result.error = "No answer within " + std::to_string(timeoutMs) + " ms";
    else if (reply->error() != QNetworkReply::NoError)
        result.error = reply->errorString().toStdString();
    else if (status < 200 || status > 299)
        result.error = "HTTP status " + std::to_string(status);
    else {
        result.ok = true;
        result.body = body.toStdString();
    }
    return result;
}

} // namespace ravlon
