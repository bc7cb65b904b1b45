// What counts as the answer to an operation whose response element is
// expected: anything but a 2xx envelope holding it (or a fault) is an error,
// and redirects are reported, never followed.

#include "platform/ValueLimit.h"
#include "soap/SoapFault.h"
#include "soap/SoapReachability.h"
#include "soap/SoapRequest.h"
#include "tests/support/LocalHttpServer.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <functional>

#include <gtest/gtest.h>

using testsupport::LocalHttpServer;

namespace {

const QString expected = QStringLiteral("RefreshMediaCollectionByMediaTypeResponse");
const QByteArray goodEnvelope =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?><s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\">"
    "<s:Body><RefreshMediaCollectionByMediaTypeResponse xmlns=\"http://tempuri.org/\"/></s:Body></s:Envelope>";

class AnswerRecorder : public QObject {
    Q_OBJECT
public:
    QVariantList values;
    Q_INVOKABLE void onAnswer(const QVariant &value) { values.append(value); }
};

// Answers every request with bytes written as they are (status line,
// headers and all), then closes the connection.
class RawResponder {
public:
    explicit RawResponder(QByteArray answer) : m_answer(std::move(answer))
    {
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    m_received += socket->readAll();
                    if (!m_received.contains("\r\n\r\n") || m_answered)
                        return;
                    m_answered = true;
                    socket->write(m_answer);
                    socket->flush();
                    socket->disconnectFromHost();
                });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    bool start() { return m_server.listen(QHostAddress::LocalHost); }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1/Orvana/WebServices/2009/07/").arg(m_server.serverPort()); }

private:
    QTcpServer m_server;
    QByteArray m_answer;
    QByteArray m_received;
    bool m_answered = false;
};

bool waitFor(const std::function<bool()> &condition, int milliseconds = 10000)
{
    QDeadlineTimer deadline(milliseconds);
    while (!condition() && !deadline.hasExpired()) {
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return condition();
}

QByteArray rawAnswer(int status, const QByteArray &reason, const QByteArray &contentType, const QByteArray &body,
                     qsizetype announcedLength = -1)
{
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason + "\r\nContent-Type: " + contentType
        + "\r\nContent-Length: " + QByteArray::number(announcedLength < 0 ? body.size() : announcedLength)
        + "\r\nConnection: close\r\n\r\n" + body;
}

class SoapAnswerCheckTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A machine with a network: only the answers are under test.
        SoapReachability::setNetworkStateSource([] {
            SoapReachability::NetworkState state;
            state.routes.append({0, 0, false});
            return std::optional<SoapReachability::NetworkState>(state);
        });
    }
    void TearDown() override { SoapReachability::setNetworkStateSource({}); }

    // Sends the refresh to url and answers the one value delivered.
    QVariant refreshAt(const QString &url)
    {
        const SoapRequestPtr request = SoapRequest::create(&recorder, "onAnswer", url,
                                                           QStringLiteral("a"), QStringLiteral("<x/>"), QVariant());
        request->send();
        request->setExpectedResponseElement(expected);
        EXPECT_TRUE(waitFor([&] { return !recorder.values.isEmpty(); }));
        // Nothing more arrives after the one answer.
        waitFor([] { return false; }, 100);
        EXPECT_EQ(recorder.values.size(), 1);
        return recorder.values.value(0);
    }

    AnswerRecorder recorder;
};

ErrorRecord errorOf(const QVariant &value)
{
    EXPECT_EQ(value.metaType(), QMetaType::fromType<ErrorRecord>()) << value.typeName();
    return value.value<ErrorRecord>();
}

} // namespace

TEST_F(SoapAnswerCheckTest, AnswersThatAreNotTheResponseAreErrors)
{
    const QByteArray html = "<html><head><title>Not here</title></head><body><p>Nothing</p></body></html>";
    const struct {
        const char *name;
        QByteArray answer;
        QString domain;
        qint64 code;
        QString description;
    } cases[] = {
        {"404 HTML page", rawAnswer(404, "Not Found", "text/html", html), SoapRequest::ResponseErrorDomain, 502,
         QStringLiteral("The server answered HTTP 404 Not Found instead of a ") + expected},
        {"200 HTML page", rawAnswer(200, "OK", "text/html", html), SoapRequest::ResponseErrorDomain, 502,
         QStringLiteral("The answer is not a SOAP envelope")},
        {"200 envelope of another operation",
         rawAnswer(200, "OK", "text/xml", QByteArray(goodEnvelope).replace("RefreshMediaCollectionByMediaType", "GetZones")),
         SoapRequest::ResponseErrorDomain, 502, QStringLiteral("The SOAP answer holds no ") + expected},
        {"200 empty body", rawAnswer(200, "OK", "text/xml", ""), QString(), -1, QString()},
        {"truncated envelope", rawAnswer(200, "OK", "text/xml", goodEnvelope.left(goodEnvelope.size() - 20)),
         SoapRequest::ResponseErrorDomain, 502, QStringLiteral("The SOAP answer is cut short")},
        {"closed mid-body", rawAnswer(200, "OK", "text/xml", goodEnvelope.left(60), goodEnvelope.size()),
         SoapRequest::TransportErrorDomain, -1, QString()},
        {"fault string longer than the cap",
         rawAnswer(500, "Internal Server Error", "text/xml",
                   "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body><s:Fault>"
                   "<faultcode>s:Server</faultcode><faultstring>" + QByteArray(ValueLimit::Bytes + 1, 'x') +
                   "</faultstring></s:Fault></s:Body></s:Envelope>"),
         SoapRequest::ResponseErrorDomain, SoapRequest::ValueTooLongCode,
         QStringLiteral("The answer holds a value longer than 1 MiB")},
    };
    for (const auto &entry : cases) {
        SCOPED_TRACE(entry.name);
        recorder.values.clear();
        RawResponder responder(entry.answer);
        ASSERT_TRUE(responder.start());
        const ErrorRecord error = errorOf(refreshAt(responder.url()));
        if (!entry.domain.isNull()) {
            EXPECT_EQ(error.domain().toStdString(), entry.domain.toStdString());
        }
        if (entry.code >= 0) {
            EXPECT_EQ(error.code(), entry.code);
        }
        if (!entry.description.isNull()) {
            EXPECT_EQ(error.localizedDescription().toStdString(), entry.description.toStdString());
        }
    }
}

TEST_F(SoapAnswerCheckTest, TheExpectedResponseAndAFaultAreAnswers)
{
    RawResponder good(rawAnswer(200, "OK", "text/xml; charset=utf-8", goodEnvelope));
    ASSERT_TRUE(good.start());
    EXPECT_NE(refreshAt(good.url()).metaType(), QMetaType::fromType<ErrorRecord>());

    recorder.values.clear();
    RawResponder fault(rawAnswer(500, "Internal Server Error", "text/xml",
                                 "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body><s:Fault>"
                                 "<faultcode>s:Server</faultcode><faultstring>Busy</faultstring></s:Fault></s:Body>"
                                 "</s:Envelope>"));
    ASSERT_TRUE(fault.start());
    EXPECT_EQ(refreshAt(fault.url()).metaType(), QMetaType::fromType<SoapFault>());

    // A value as long as the cap is still read.
    recorder.values.clear();
    RawResponder longFault(rawAnswer(500, "Internal Server Error", "text/xml",
                                     "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body><s:Fault>"
                                     "<faultcode>s:Server</faultcode><faultstring>" +
                                         QByteArray(ValueLimit::Bytes, 'x') +
                                         "</faultstring></s:Fault></s:Body></s:Envelope>"));
    ASSERT_TRUE(longFault.start());
    const QVariant answer = refreshAt(longFault.url());
    ASSERT_EQ(answer.metaType(), QMetaType::fromType<SoapFault>()) << answer.value<ErrorRecord>().localizedDescription().toStdString();
    EXPECT_TRUE(answer.value<SoapFault>().description().contains(QString(ValueLimit::Bytes, QLatin1Char('x'))));
}

TEST_F(SoapAnswerCheckTest, RedirectsAreReportedAndNeverFollowed)
{
    LocalHttpServer elsewhere;
    ASSERT_TRUE(elsewhere.start());
    elsewhere.setDefaultResponse(LocalHttpServer::Response::xml(goodEnvelope));
    for (const int status : {301, 302, 307, 308}) {
        SCOPED_TRACE(status);
        recorder.values.clear();
        LocalHttpServer redirecting;
        ASSERT_TRUE(redirecting.start());
        LocalHttpServer::Response moved = LocalHttpServer::Response::text("moved", status);
        moved.headers.append(qMakePair(QByteArray("Location"), elsewhere.urlString("/other").toUtf8()));
        redirecting.setDefaultResponse(moved);
        const ErrorRecord error = errorOf(refreshAt(redirecting.urlString("/Orvana/WebServices/2009/07/")));
        EXPECT_EQ(error.domain(), SoapRequest::ResponseErrorDomain);
        EXPECT_EQ(error.code(), status);
        EXPECT_TRUE(error.localizedDescription().contains(elsewhere.urlString("/other"))) << error.localizedDescription().toStdString();
    }
    {
        recorder.values.clear();
        LocalHttpServer redirecting;
        ASSERT_TRUE(redirecting.start());
        LocalHttpServer::Response moved = LocalHttpServer::Response::text("moved", 301);
        moved.headers.append(qMakePair(QByteArray("Location"), QByteArray("file:///etc/passwd")));
        redirecting.setDefaultResponse(moved);
        const ErrorRecord error = errorOf(refreshAt(redirecting.urlString("/")));
        EXPECT_EQ(error.code(), 301);
        EXPECT_TRUE(error.localizedDescription().contains(QStringLiteral("file:///etc/passwd")));
    }
    EXPECT_EQ(elsewhere.requests().size(), 0);
}

TEST_F(SoapAnswerCheckTest, LoopbackIsReachableOnAMachineWithoutANetwork)
{
    SoapReachability::setNetworkStateSource([] {
        SoapReachability::NetworkState state;
        state.routes.append({0x7F000000, 0xFF000000, true});
        return std::optional<SoapReachability::NetworkState>(state);
    });
    RawResponder good(rawAnswer(200, "OK", "text/xml", goodEnvelope));
    ASSERT_TRUE(good.start());
    EXPECT_NE(refreshAt(good.url()).metaType(), QMetaType::fromType<ErrorRecord>());
}

#include "SoapAnswerCheckTest.moc"
