#pragma once

#include "platform/ErrorRecord.h"
#include "soap/SoapFault.h"
#include "soap/SoapLimits.h"
#include "xml/CXMLNode.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QSharedPointer>
#include <QString>
#include <QUrl>
#include <QVariant>

class QNetworkAccessManager;
class QNetworkReply;
class QAuthenticator;
class SoapRequest;
class SoapService;

using SoapRequestPtr = QSharedPointer<SoapRequest>;

// One asynchronous SOAP exchange over HTTP: posts the envelope, collects the
// body, and delivers one value to the handler on the thread that called
// send (which must run its event loop): a result, an ErrorRecord or a
// SoapFault.
//
// The action is the name of an invokable method of the handler taking one
// QVariant (e.g. "onRefreshResult" for
// Q_INVOKABLE void onRefreshResult(const QVariant &)); a null action means
// "onload". With an action, results, errors and faults all come through it;
// without one, through onload, onerror and onfault.
//
// The result descriptor (deserializeTo) is one of: an invalid QVariant
// (Soap::deserialize of the response element); a boxed fresh record or list
// (SoapObject::box), initialised with initWithNode of the Result element
// and delivered; or a type-token QString for Soap::convert.
//
// A sent request keeps itself alive until its last callback has run, so
// the caller may drop the handle that create returns.
class SoapRequest : public QObject {
    Q_OBJECT
public:
    // Codes 400 and 410 (network, host), and the response size limit.
    static const QString RuntimeErrorDomain; // "SoapRuntime"
    // Codes 403 (authentication) and 404 (no connection).
    static const QString RequestErrorDomain; // "SoapRequest"
    // Transport failures: the QNetworkReply::NetworkError code and text.
    static const QString TransportErrorDomain; // "QtNetwork"
    static constexpr qint64 ResponseTooLargeCode = 413;
    // An answer that is not the expected SOAP response (code 502), and
    // redirects, which are never followed (code: the HTTP status).
    static const QString ResponseErrorDomain; // "SoapResponse"
    static constexpr qint64 NotTheExpectedResponseCode = 502;
    // An answer holding a single value longer than ValueLimit.
    static constexpr qint64 ValueTooLongCode = 507;
    static constexpr int DefaultTimeoutMilliseconds = SoapLimits::DefaultTimeoutMilliseconds;
    static constexpr qint64 DefaultMaximumResponseSize = SoapLimits::DefaultMaximumResponseSize;

    // The form every generated operation uses: url, defaultHandler,
    // logging, username and password come from the service. Not sent yet.
    static SoapRequestPtr create(QObject *handler, const QByteArray &action, const SoapService &service,
                                 const QString &soapAction, const QString &postData, const QVariant &deserializeTo);
    static SoapRequestPtr create(QObject *handler, const QByteArray &action, const QString &urlString,
                                 const QString &soapAction, const QString &postData, const QVariant &deserializeTo);
    static SoapRequestPtr create(QObject *handler, const QString &urlString, const QString &soapAction,
                                 const QString &postData, const QVariant &deserializeTo);

    ~SoapRequest() override;

    // Starts the exchange; results arrive later through the callbacks.
    void send();
    // Stops a running exchange (true) with no callback after it; false when
    // nothing runs.
    bool cancel();
    bool isRunning() const;

    // Deliver an error (through the action, else onerror) or a fault
    // (through onfault), to the handler or else the default handler.
    void handleError(const ErrorRecord &error);
    void handleFault(const SoapFault &fault);

    const QUrl &url() const { return m_url; }
    const QString &soapAction() const { return m_soapAction; }
    const QString &username() const { return m_username; }
    void setUsername(const QString &value) { m_username = value; }
    const QString &password() const { return m_password; }
    void setPassword(const QString &value) { m_password = value; }
    // Present: a POST with this body; null: a GET without body.
    const QString &postData() const { return m_postData; }
    const QByteArray &receivedData() const { return m_receivedData; }
    QObject *handler() const { return m_handler.data(); }
    const QVariant &deserializeTo() const { return m_deserializeTo; }
    const QByteArray &action() const { return m_action; }
    bool logging() const { return m_logging; }
    void setLogging(bool value) { m_logging = value; }
    QObject *defaultHandler() const { return m_defaultHandler.data(); }
    void setDefaultHandler(QObject *value) { m_defaultHandler = value; }
    // Inactivity time-out of the exchange (60 s unless changed before send).
    int timeoutInterval() const { return m_timeoutInterval; }
    void setTimeoutInterval(int milliseconds) { m_timeoutInterval = milliseconds; }
    // Set: only a 2xx answer holding a whole envelope whose Body starts
    // with an element of this local name (or a fault) counts; any other
    // answer is an error in ResponseErrorDomain. May be set after send,
    // before the answer is in. Null: every parsed answer is decoded.
    const QString &expectedResponseElement() const { return m_expectedResponseElement; }
    void setExpectedResponseElement(const QString &name) { m_expectedResponseElement = name; }
    // The HTTP status of the answer (0 before one came).
    int httpStatus() const { return m_httpStatus; }
    // A body beyond this size is abandoned with ResponseTooLargeCode.
    qint64 maximumResponseSize() const { return m_maximumResponseSize; }
    void setMaximumResponseSize(qint64 bytes) { m_maximumResponseSize = bytes; }

    // Ends the exchange without calling anyone and frees its network
    // objects at once (the application is going away).
    void abandon();

private:
    SoapRequest();

    void connectionDidReceiveResponse();
    void connectionDidReceiveData();
    void connectionDidFailWithError(const ErrorRecord &error);
    void connectionDidFinishLoading();
    void connectionDidReceiveAuthenticationChallenge(QNetworkReply *reply, QAuthenticator *authenticator);
    void replyFinished();
    void decodeResponse();
    QString unexpectedAnswer(const CXMLDocumentPtr &document, const CXMLNodePtr &responseElement) const;
    QVariant resultFromResponseElement(const CXMLNodePtr &responseElement) const;
    bool deliver(QObject *target, const QByteArray &method, const QVariant &value);
    void finishConnection();

    QUrl m_url;
    QString m_soapAction;
    QString m_username;
    QString m_password;
    QString m_postData;
    QByteArray m_receivedData;
    QNetworkReply *m_conn = nullptr;
    QPointer<QObject> m_handler;
    QObject *m_ownHandler = nullptr;
    QVariant m_deserializeTo;
    QByteArray m_action;
    bool m_logging = false;
    QPointer<QObject> m_defaultHandler;
    int m_timeoutInterval = DefaultTimeoutMilliseconds;
    qint64 m_maximumResponseSize = DefaultMaximumResponseSize;
    QString m_expectedResponseElement;
    int m_httpStatus = 0;
    QByteArray m_httpReason;
    QString m_redirectTarget;
    QNetworkAccessManager *m_manager = nullptr;
    int m_challengeCount = 0;
    bool m_authenticationRefused = false;
    bool m_abandoned = false;
    // Held while the exchange runs, so a dropped handle does not end it.
    SoapRequestPtr m_keepAlive;
    QWeakPointer<SoapRequest> m_weakSelf;
};
