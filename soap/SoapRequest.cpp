#include "soap/SoapRequest.h"

#include "platform/SystemLog.h"
#include "platform/ValueLimit.h"
#include "soap/Soap.h"
#include "soap/SoapHandler.h"
#include "soap/SoapReachability.h"
#include "soap/SoapService.h"
#include "xml/CXMLDocument.h"

#include <QAuthenticator>
#include <QCoreApplication>
#include <QHostAddress>
#include <QMetaMethod>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSet>

#include <algorithm>
#include <utility>

namespace {

// The exchanges in flight (main thread only). Whatever still runs when the
// application object goes is abandoned first: a network access manager left
// running past it ends the process in Qt's network thread.
QSet<SoapRequest *> &runningRequests()
{
    static QSet<SoapRequest *> requests;
    return requests;
}

void abandonRunningRequests()
{
    const QSet<SoapRequest *> requests = std::exchange(runningRequests(), {});
    for (SoapRequest *request : requests)
        request->abandon();
}

} // namespace

const QString SoapRequest::RuntimeErrorDomain = QStringLiteral("SoapRuntime");
const QString SoapRequest::RequestErrorDomain = QStringLiteral("SoapRequest");
const QString SoapRequest::TransportErrorDomain = QStringLiteral("QtNetwork");
const QString SoapRequest::ResponseErrorDomain = QStringLiteral("SoapResponse");

namespace {

// 127.0.0.0/8, ::1 and "localhost": reachable whatever the network's state.
bool isLoopbackHost(const QString &host)
{
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

// Failures of the connection itself, as opposed to HTTP error statuses:
// an answer cut short is no answer, whatever its status line said.
bool isTransportFailure(QNetworkReply::NetworkError error)
{
    return (error > QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied)
        || error == QNetworkReply::ProtocolFailure || error == QNetworkReply::UnknownNetworkError;
}

} // namespace

SoapRequest::SoapRequest() = default;

SoapRequest::~SoapRequest()
{
    runningRequests().remove(this);
    if (m_conn) {
        m_abandoned = true;
        m_conn->disconnect(this);
        m_conn->abort();
    }
}

SoapRequestPtr SoapRequest::create(QObject *handler, const QByteArray &action, const SoapService &service,
                                   const QString &soapAction, const QString &postData, const QVariant &deserializeTo)
{
    SoapRequestPtr request = create(handler, action, service.serviceUrl(), soapAction, postData, deserializeTo);
    request->m_defaultHandler = service.defaultHandler();
    request->m_logging = service.logging();
    request->m_username = service.username();
    request->m_password = service.password();
    return request;
}

SoapRequestPtr SoapRequest::create(QObject *handler, const QByteArray &action, const QString &urlString,
                                   const QString &soapAction, const QString &postData, const QVariant &deserializeTo)
{
    // deleteLater: the last handle may go inside one of the request's own callbacks.
    SoapRequestPtr request(new SoapRequest(), &QObject::deleteLater);
    request->m_weakSelf = request;
    request->m_url = QUrl(urlString);
    request->m_soapAction = soapAction;
    request->m_postData = postData;
    request->m_handler = handler;
    request->m_deserializeTo = deserializeTo;
    request->m_action = action;
    return request;
}

SoapRequestPtr SoapRequest::create(QObject *handler, const QString &urlString, const QString &soapAction,
                                   const QString &postData, const QVariant &deserializeTo)
{
    return create(handler, QByteArray(), urlString, soapAction, postData, deserializeTo);
}

bool SoapRequest::isRunning() const
{
    return m_conn != nullptr;
}

void SoapRequest::send()
{
    if (!m_handler) {
        if (!m_ownHandler)
            m_ownHandler = new SoapHandler(this);
        m_handler = m_ownHandler;
    }
    // Kept alive through the checks below, whose callbacks may drop the caller's handle.
    const SoapRequestPtr self = m_weakSelf.toStrongRef();
    if (!isLoopbackHost(m_url.host()) && !SoapReachability::connectedToNetwork())
        handleError(ErrorRecord::withDescription(RuntimeErrorDomain, 400, QStringLiteral("The network is not available")));
    if (!SoapReachability::hostAvailable(m_url.host()))
        handleError(ErrorRecord::withDescription(RuntimeErrorDomain, 410, QStringLiteral("The host is not available")));
    if (m_logging)
        systemLog(QStringLiteral("Loading: %1").arg(m_url.toString()));

    QNetworkRequest request(m_url);
    request.setTransferTimeout(m_timeoutInterval);
    // The service has one fixed endpoint: a redirect is reported, never
    // followed (a followed 301 would turn the POST into a GET).
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    if (!m_soapAction.isNull())
        request.setRawHeader("SOAPAction", m_soapAction.toUtf8());
    if (!m_manager) {
        m_manager = new QNetworkAccessManager(this);
        connect(m_manager, &QNetworkAccessManager::authenticationRequired, this,
                &SoapRequest::connectionDidReceiveAuthenticationChallenge);
    }
    QNetworkReply *reply = nullptr;
    if (!m_postData.isNull()) {
        request.setRawHeader("Content-Type", QByteArrayLiteral("text/xml; charset=utf-8"));
        if (m_logging)
            systemLog(m_postData);
        reply = m_manager->post(request, m_postData.toUtf8());
    } else {
        reply = m_manager->get(request);
    }
    if (!reply) {
        handleError(ErrorRecord::withDescription(RequestErrorDomain, 404, QStringLiteral("Could not create connection")));
        return;
    }
    m_conn = reply;
    m_receivedData = QByteArray("");
    m_httpStatus = 0;
    m_httpReason.clear();
    m_redirectTarget.clear();
    m_challengeCount = 0;
    m_authenticationRefused = false;
    m_abandoned = false;
    m_keepAlive = self;
    static const bool cleanupRegistered = [] {
        qAddPostRoutine(abandonRunningRequests);
        return true;
    }();
    Q_UNUSED(cleanupRegistered);
    runningRequests().insert(this);
    connect(reply, &QNetworkReply::metaDataChanged, this, &SoapRequest::connectionDidReceiveResponse);
    connect(reply, &QNetworkReply::readyRead, this, &SoapRequest::connectionDidReceiveData);
    connect(reply, &QNetworkReply::finished, this, &SoapRequest::replyFinished);
}

bool SoapRequest::cancel()
{
    if (!m_conn)
        return false;
    m_abandoned = true;
    m_conn->disconnect(this);
    m_conn->abort();
    finishConnection();
    return true;
}

void SoapRequest::connectionDidReceiveResponse()
{
    // Each response (after a redirect, say) starts the body again.
    m_receivedData = QByteArray("");
}

void SoapRequest::connectionDidReceiveData()
{
    if (!m_conn || m_abandoned || !m_conn->isOpen())
        return;
    m_receivedData.append(m_conn->readAll());
    if (m_receivedData.size() > m_maximumResponseSize) {
        m_abandoned = true;
        m_receivedData = QByteArray("");
        m_conn->disconnect(this);
        m_conn->abort();
        finishConnection();
        handleError(ErrorRecord::withDescription(
            RuntimeErrorDomain, ResponseTooLargeCode,
            QStringLiteral("The response is larger than %1 bytes and was abandoned").arg(m_maximumResponseSize)));
    }
}

void SoapRequest::connectionDidFailWithError(const ErrorRecord &error)
{
    finishConnection();
    handleError(error);
}

void SoapRequest::connectionDidReceiveAuthenticationChallenge(QNetworkReply *reply, QAuthenticator *authenticator)
{
    if (reply != m_conn)
        return;
    ++m_challengeCount;
    if (m_challengeCount > 1) {
        // One try only: left unanswered, the reply ends as refused.
        m_authenticationRefused = true;
        return;
    }
    authenticator->setUser(m_username);
    authenticator->setPassword(m_password);
}

void SoapRequest::replyFinished()
{
    QNetworkReply *reply = m_conn;
    if (!reply || m_abandoned)
        return;
    connectionDidReceiveData();
    if (m_abandoned)
        return;
    const QNetworkReply::NetworkError error = reply->error();
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const bool answered = status.isValid();
    m_httpStatus = status.toInt();
    m_httpReason = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray();
    m_redirectTarget = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl().toString();
    if (error == QNetworkReply::AuthenticationRequiredError && (m_authenticationRefused || m_challengeCount > 0)) {
        finishConnection();
        handleError(ErrorRecord::withDescription(RequestErrorDomain, 403,
                                                 QStringLiteral("Could not authenticate this request")));
        return;
    }
    if (m_httpStatus >= 300 && m_httpStatus < 400) {
        finishConnection();
        handleError(ErrorRecord::withDescription(
            ResponseErrorDomain, m_httpStatus,
            QStringLiteral("The server answered with a redirect (HTTP %1) to %2, which is not followed")
                .arg(m_httpStatus)
                .arg(m_redirectTarget.isEmpty() ? QStringLiteral("nowhere") : m_redirectTarget)));
        return;
    }
    // HTTP error statuses are answers like any other (a fault comes with
    // 500); a connection that failed mid-answer is not.
    if (error == QNetworkReply::NoError || (answered && !isTransportFailure(error))) {
        connectionDidFinishLoading();
        return;
    }
    if (error == QNetworkReply::OperationCanceledError) {
        connectionDidFailWithError(ErrorRecord::withDescription(TransportErrorDomain, QNetworkReply::TimeoutError,
                                                                QStringLiteral("The request timed out.")));
        return;
    }
    connectionDidFailWithError(ErrorRecord::withDescription(TransportErrorDomain, error, reply->errorString()));
}

void SoapRequest::connectionDidFinishLoading()
{
    // Kept alive until the callbacks below have run.
    const SoapRequestPtr self = m_keepAlive;
    finishConnection();
    decodeResponse();
}

namespace {

// The longest value of the answer: a tag's inside (its attributes) runs
// from a '<' to the first '>', a text from there to the next '<'.
qsizetype longestValueLength(const QByteArray &data)
{
    qsizetype longest = 0;
    qsizetype start = 0;
    while (start < data.size()) {
        qsizetype next = data.indexOf('<', start);
        if (next < 0)
            next = data.size();
        const qsizetype tagEnd = data.indexOf('>', start);
        const qsizetype split = tagEnd < 0 || tagEnd > next ? start : tagEnd + 1;
        longest = std::max({longest, split - start, next - split});
        start = next + 1;
    }
    return longest;
}

} // namespace

void SoapRequest::decodeResponse()
{
    if (m_logging)
        systemLog(QString::fromUtf8(m_receivedData));
    // Refused before it is parsed: one value would otherwise be copied
    // whole into the tree, the fault, the log and the report.
    if (longestValueLength(m_receivedData) > ValueLimit::Bytes) {
        handleError(ErrorRecord::withDescription(
            ResponseErrorDomain, ValueTooLongCode,
            QStringLiteral("The answer holds a value longer than %1").arg(ValueLimit::text())));
        return;
    }
    ErrorRecord parseError;
    const CXMLDocumentPtr document = CXMLDocument::initWithData(m_receivedData, 0, &parseError);
    if (!document) {
        handleError(parseError);
        return;
    }
    const SoapFault fault = SoapFault::faultWithXMLDocument(document);
    if (fault.hasFault()) {
        if (!m_action.isNull()) {
            if (!deliver(m_handler.data(), m_action, QVariant::fromValue(fault)))
                systemLog(QStringLiteral("SOAP Fault: %1").arg(fault.description()));
        } else {
            handleFault(fault);
        }
        return;
    }
    CXMLNodePtr responseElement;
    const CXMLElementPtr root = document->rootElement();
    if (const CXMLNodePtr body = Soap::getNode(root, QStringLiteral("Body"), Soap::envelopeNamespace()))
        responseElement = body->childAtIndex(0);
    if (!m_expectedResponseElement.isNull()) {
        if (const QString complaint = unexpectedAnswer(document, responseElement); !complaint.isNull()) {
            handleError(ErrorRecord::withDescription(ResponseErrorDomain, NotTheExpectedResponseCode, complaint));
            return;
        }
    }
    const QVariant result = resultFromResponseElement(responseElement);
    if (m_action.isNull())
        m_action = QByteArrayLiteral("onload");
    if (!deliver(m_handler.data(), m_action, result))
        deliver(m_defaultHandler.data(), QByteArrayLiteral("onload"), result);
}

QString SoapRequest::unexpectedAnswer(const CXMLDocumentPtr &document, const CXMLNodePtr &responseElement) const
{
    if (m_httpStatus < 200 || m_httpStatus >= 300) {
        return QStringLiteral("The server answered HTTP %1 %2 instead of a %3")
            .arg(m_httpStatus)
            .arg(QString::fromLatin1(m_httpReason), m_expectedResponseElement)
            .simplified();
    }
    const CXMLElementPtr root = document->rootElement();
    if (!root || root->localName() != u"Envelope" || root->URI() != Soap::envelopeNamespace())
        return QStringLiteral("The answer is not a SOAP envelope");
    // The parser accepts a document whose end is missing: a complete answer
    // ends with the envelope's end tag.
    if (!m_receivedData.trimmed().endsWith("Envelope>"))
        return QStringLiteral("The SOAP answer is cut short");
    if (!responseElement || responseElement->kind() != CXMLNode::ElementKind
        || responseElement->localName() != m_expectedResponseElement)
        return QStringLiteral("The SOAP answer holds no %1").arg(m_expectedResponseElement);
    return {};
}

QVariant SoapRequest::resultFromResponseElement(const CXMLNodePtr &responseElement) const
{
    if (!m_deserializeTo.isValid())
        return Soap::deserialize(responseElement);
    const CXMLNodePtr resultNode = responseElement ? responseElement->childAtIndex(0) : nullptr;
    if (const SoapObjectPtr record = SoapObject::unbox(m_deserializeTo)) {
        record->initWithNode(std::dynamic_pointer_cast<CXMLElement>(resultNode));
        return SoapObject::box(record);
    }
    const CXMLNodePtr text = resultNode ? resultNode->childAtIndex(0) : nullptr;
    return Soap::convert(text ? text->stringValue() : QString(), m_deserializeTo.toString());
}

void SoapRequest::handleError(const ErrorRecord &error)
{
    const QByteArray method = m_action.isNull() ? QByteArrayLiteral("onerror") : m_action;
    const QVariant value = QVariant::fromValue(error);
    if (!deliver(m_handler.data(), method, value))
        deliver(m_defaultHandler.data(), method, value);
    if (m_logging)
        systemLog(QStringLiteral("Error: %1").arg(error.localizedDescription()));
}

void SoapRequest::handleFault(const SoapFault &fault)
{
    const QByteArray method = QByteArrayLiteral("onfault");
    const QVariant value = QVariant::fromValue(fault);
    if (!deliver(m_handler.data(), method, value))
        deliver(m_defaultHandler.data(), method, value);
    if (m_logging)
        systemLog(QStringLiteral("Fault: %1").arg(fault.description()));
}

bool SoapRequest::deliver(QObject *target, const QByteArray &method, const QVariant &value)
{
    if (!target || method.isEmpty())
        return false;
    // The handler is the target's invokable method(QVariant), found by name.
    const QMetaObject *meta = target->metaObject();
    const QByteArray signature = QMetaObject::normalizedSignature(QByteArray(method + "(QVariant)").constData());
    const int index = meta->indexOfMethod(signature.constData());
    if (index < 0)
        return false;
    return meta->method(index).invoke(target, Qt::DirectConnection, Q_ARG(QVariant, value));
}

void SoapRequest::abandon()
{
    if (m_conn) {
        m_abandoned = true;
        m_conn->disconnect(this);
        m_conn->abort();
        m_conn = nullptr;
    }
    // The manager and its reply go now, while the application still exists.
    delete m_manager;
    m_manager = nullptr;
    runningRequests().remove(this);
    const SoapRequestPtr released = std::move(m_keepAlive);
}

void SoapRequest::finishConnection()
{
    runningRequests().remove(this);
    if (m_conn) {
        m_conn->disconnect(this);
        m_conn->deleteLater();
        m_conn = nullptr;
    }
    // Dropping the last handle here only schedules the deletion.
    const SoapRequestPtr released = std::move(m_keepAlive);
}
