#include "soap/Soap.h"

#include "soap/SoapLimits.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

QByteArray Soap::callService(const QString &url, const QString &data, const QString &action, const char *)
{
    QNetworkAccessManager manager;
    QNetworkRequest request{QUrl(url)};
    request.setTransferTimeout(SoapLimits::DefaultTimeoutMilliseconds);
    request.setRawHeader("SOAPAction", action.toUtf8());
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("text/xml"));
    QNetworkReply *reply = manager.post(request, data.toUtf8());
    QEventLoop loop;
    QByteArray body;
    bool tooLarge = false;
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] {
        body.append(reply->readAll());
        if (body.size() > SoapLimits::DefaultMaximumResponseSize) {
            tooLarge = true;
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    body.append(reply->readAll());
    const bool answered = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
    reply->deleteLater();
    if (tooLarge || !answered)
        return QByteArray();
    if (body.isNull())
        body = QByteArray("");
    return body;
}
