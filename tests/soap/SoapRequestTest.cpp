#include "soap/Soap.h"
#include "soap/SoapArray.h"
#include "soap/SoapFault.h"
#include "soap/SoapReachability.h"
#include "soap/SoapRequest.h"
#include "soap/SoapService.h"
#include "soap/SoapTypeRegistry.h"
#include "tests/support/LocalHttpServer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <atomic>

#include <gtest/gtest.h>

using testsupport::LocalHttpServer;

namespace {

const QString serviceNamespace = QStringLiteral("http://orvana.example/WebService/2009/07");

// Records what each callback receives.
class RecordingHandler : public QObject {
    Q_OBJECT
public:
    QVariantList loaded;
    QVariantList errors;
    QVariantList faults;
    QVariantList actions;
    QList<QThread *> threads;

    Q_INVOKABLE void onload(const QVariant &value)
    {
        loaded.append(value);
        threads.append(QThread::currentThread());
    }
    Q_INVOKABLE void onerror(const QVariant &value) { errors.append(value); }
    Q_INVOKABLE void onfault(const QVariant &value) { faults.append(value); }
    Q_INVOKABLE void onResult(const QVariant &value)
    {
        actions.append(value);
        threads.append(QThread::currentThread());
    }

    qsizetype total() const { return loaded.size() + errors.size() + faults.size() + actions.size(); }
};

// Takes no callback at all.
class SilentHandler : public QObject {
    Q_OBJECT
};

// A record decoded from the Result element.
class TestInfo : public SoapObject {
public:
    QString Name;
    qint32 Count = 0;
    bool decoded = false;

    QString className() const override { return QStringLiteral("OVWSTestInfo"); }
    void initWithNode(const CXMLElementPtr &element) override
    {
        SoapObject::initWithNode(element);
        decoded = true;
        Name = Soap::getNodeValue(element, QStringLiteral("Name"));
        Count = Soap::getNodeValue(element, QStringLiteral("Count")).toInt();
    }
};

QByteArray responseEnvelope(const QByteArray &inner, const QByteArray &prefix = "soap")
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?><" + prefix + ":Envelope xmlns:" + prefix +
           "=\"http://schemas.xmlsoap.org/soap/envelope/\"><" + prefix + ":Body>" + inner + "</" + prefix + ":Body></" +
           prefix + ":Envelope>";
}

QByteArray unprefixedEnvelope(const QByteArray &inner)
{
    return "<Envelope><Body>" + inner + "</Body></Envelope>";
}

QByteArray faultBody(const QByteArray &prefix)
{
    return "<" + prefix + "Fault><faultcode>soap:Server</faultcode><faultstring>Refused</faultstring>"
           "<detail>busy</detail></" + prefix + "Fault>";
}

bool waitFor(const std::function<bool()> &condition, int milliseconds = 5000)
{
    QDeadlineTimer deadline(milliseconds);
    while (!condition() && !deadline.hasExpired()) {
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return condition();
}

// Lets queued events run for a while (to see that nothing more arrives).
void settle(int milliseconds = 100)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

ErrorRecord errorOf(const QVariant &value)
{
    EXPECT_EQ(value.metaType(), QMetaType::fromType<ErrorRecord>());
    return value.value<ErrorRecord>();
}

class SoapRequestTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.start());
        // A machine with a network and the responder reachable: no 400/410 errors.
        SoapReachability::setNetworkStateSource([] {
            SoapReachability::NetworkState state;
            state.routes.append({0, 0, false});
            return std::optional<SoapReachability::NetworkState>(state);
        });
    }
    void TearDown() override
    {
        SoapReachability::setNetworkStateSource({});
        SoapReachability::setResolver({});
        server.stop();
    }

    SoapRequestPtr post(QObject *receiver, const QByteArray &action, const QVariant &deserializeTo = QVariant())
    {
        const QString envelope = Soap::createEnvelope(
            QStringLiteral("GetThing"), serviceNamespace,
            SoapParameterList{SoapParameter(QVariant(qint32(5)), QStringLiteral("ZoneID"))});
        return SoapRequest::create(receiver, action, server.urlString("/Orvana/WebServices/2009/07/"),
                                   serviceNamespace + QStringLiteral("/ISystemSvc/GetThing"), envelope,
                                   deserializeTo);
    }

    LocalHttpServer server;
    RecordingHandler handler;
};

TEST_F(SoapRequestTest, PostCarriesTheExactEnvelopeAndHeaders)
{
    server.enqueue(LocalHttpServer::Response::xml(responseEnvelope("<GetThingResponse>ok</GetThingResponse>")));
    SoapRequestPtr request = post(&handler, QByteArray());
    request->send();
    ASSERT_TRUE(waitFor([&] { return handler.total() > 0; }));
    ASSERT_EQ(server.requests().size(), 1);
    const LocalHttpServer::Request &received = server.requests().first();
    EXPECT_EQ(received.method, "POST");
    EXPECT_EQ(received.target, "/Orvana/WebServices/2009/07/");
    EXPECT_EQ(received.header("SOAPAction"), "http://orvana.example/WebService/2009/07/ISystemSvc/GetThing");
    EXPECT_EQ(received.header("Content-Type"), "text/xml; charset=utf-8");
    EXPECT_EQ(received.body, request->postData().toUtf8());
    EXPECT_TRUE(received.body.startsWith("<?xml version=\"1.0\" encoding=\"utf-8\"?><soap:Envelope "));
    EXPECT_TRUE(received.body.contains("<soap:Body><GetThing><ZoneID>5</ZoneID></GetThing></soap:Body>"));
    ASSERT_EQ(handler.loaded.size(), 1);
    EXPECT_EQ(handler.loaded.first().toString(), u"ok");
    EXPECT_EQ(handler.threads.first(), QThread::currentThread());
}

TEST_F(SoapRequestTest, GetHasNoBodyAndNoContentType)
{
    server.enqueue(LocalHttpServer::Response::xml(unprefixedEnvelope("<R>x</R>")));
    SoapRequestPtr request =
        SoapRequest::create(&handler, server.urlString("/get"), QString(), QString(), QVariant());
    request->send();
    ASSERT_TRUE(waitFor([&] { return handler.total() > 0; }));
    const LocalHttpServer::Request &received = server.requests().first();
    EXPECT_EQ(received.method, "GET");
    EXPECT_TRUE(received.body.isEmpty());
    EXPECT_FALSE(received.hasHeader("Content-Type"));
    EXPECT_FALSE(received.hasHeader("SOAPAction"));
}

TEST_F(SoapRequestTest, FaultGoesThroughTheActionWhenThereIsOne)
{
    server.enqueue(LocalHttpServer::Response::xml(unprefixedEnvelope(faultBody("")), 500));
    post(&handler, "onResult")->send();
    ASSERT_TRUE(waitFor([&] { return handler.total() > 0; }));
    ASSERT_EQ(handler.actions.size(), 1);
    EXPECT_TRUE(handler.faults.isEmpty());
    const SoapFault fault = handler.actions.first().value<SoapFault>();
    EXPECT_TRUE(fault.hasFault());
    EXPECT_EQ(fault.description(), u"soap:Server Refused\nbusy");
}

TEST_F(SoapRequestTest, FaultGoesToOnfaultWithoutAnAction)
{
    server.enqueue(LocalHttpServer::Response::xml(unprefixedEnvelope(faultBody("")), 500));
    post(&handler, QByteArray())->send();
    ASSERT_TRUE(waitFor([&] { return handler.total() > 0; }));
    ASSERT_EQ(handler.faults.size(), 1);
    EXPECT_TRUE(handler.loaded.isEmpty());
    EXPECT_EQ(handler.faults.first().value<SoapFault>().faultString(), u"Refused");
}

TEST_F(SoapRequestTest, PrefixedFaultIsNeverTakenForAResult)
{
    server.enqueue(LocalHttpServer::Response::xml(responseEnvelope(faultBody("s:"), "s"), 500));
    post(&handler, "onResult")->send();
    ASSERT_TRUE(waitFor([&] { return handler.total() > 0; }));
    ASSERT_EQ(handler.actions.size(), 1);
    EXPECT_EQ(handler.actions.first().metaType(), QMetaType::fromType<SoapFault>());
    EXPECT_EQ(handler.actions.first().value<SoapFault>().faultCode(), u"soap:Server");
}

TEST_F(SoapRequestTest, PrefixedBodyYieldsItsResult)
{
    server.enqueue(LocalHttpServer::Response::xml(
        responseEnvelope("<GetThingResponse><GetThingResult>12</GetThingResult></GetThingResponse>", "s")));
    post(&handler, "onResult", QStringLiteral("int"))->send();
    ASSERT_TRUE(waitFor([&] { return handler.total() > 0; }));
    ASSERT_EQ(handler.actions.size(), 1);
    EXPECT_EQ(handler.actions.first(), QVariant(qint32(12)));
}

TEST_F(SoapRequestTest, RecordResultIsInitialisedFromTheResultElement)
{
    server.enqueue(LocalHttpServer::Response::xml(responseEnvelope(
        "<GetThingResponse><GetThingResult><Name>Kitchen &amp; Hall</Name><Count>3</Count></GetThingResult>"
        "</GetThingResponse>")));
    QSharedPointer<TestInfo> info(new TestInfo());
    post(&handler, QByteArray(), SoapObject::box(info))->send();
    ASSERT_TRUE(waitFor([&] { return handler.total() > 0; }));
    ASSERT_EQ(handler.loaded.size(), 1);
    QSharedPointer<TestInfo> delivered = SoapObject::unboxAs<TestInfo>(handler.loaded.first());
    ASSERT_TRUE(delivered);
    EXPECT_EQ(delivered, info);
    EXPECT_EQ(delivered->Name, u"Kitchen & Hall");
    EXPECT_EQ(delivered->Count, 3);
}

TEST_F(SoapRequestTest, ResultGoesToTheDefaultHandlerWhenTheHandlerTakesNothing)
{
    server.enqueue(LocalHttpServer::Response::xml(unprefixedEnvelope("<R>value</R>")));
    SilentHandler silent;
    SoapService service(server.urlString("/"));
    service.setDefaultHandler(&handler);
    SoapRequest::create(&silent, QByteArray(), service, QStringLiteral("a"), QStringLiteral("<x/>"), QVariant())->send();
    ASSERT_TRUE(waitFor([&] { return handler.total() > 0; }));
    ASSERT_EQ(handler.loaded.size(), 1);
    EXPECT_EQ(handler.loaded.first().toString(), u"value");
}

TEST_F(SoapRequestTest, ResultDisappearsWhenNobodyTakesIt)
{
    server.enqueue(LocalHttpServer::Response::xml(unprefixedEnvelope("<R>value</R>")));
    SilentHandler silent;
    QPointer<SoapRequest> watched;
    {
        SoapRequestPtr request = post(&silent, QByteArray());
        watched = request.data();
        request->send();
    }
    // The dropped handle does not end the exchange; the request goes after its last callback.
    ASSERT_TRUE(server.waitForRequests(1));
    ASSERT_TRUE(waitFor([&] { return watched.isNull(); }));
    EXPECT_EQ(handler.total(), 0);
}

TEST_F(SoapRequestTest, NullHandlerGetsTheDoNothingHandler)
{
    server.enqueue(LocalHttpServer::Response::xml(unprefixedEnvelope("<R>value</R>")));
    SoapRequestPtr request = post(nullptr, QByteArray());
    request->send();
    ASSERT_NE(request->handler(), nullptr);
    ASSERT_TRUE(waitFor([&] { return !request->isRunning(); }));
}

TEST_F(SoapRequestTest, FaultForAnActionTheHandlerLacksIsOnlyLogged)
{
    server.enqueue(LocalHttpServer::Response::xml(unprefixedEnvelope(faultBody("")), 500));
    SilentHandler silent;
    SoapService service(server.urlString("/"));
    service.setDefaultHandler(&handler);
    SoapRequestPtr request =
        SoapRequest::create(&silent, "onResult", service, QStringLiteral("a"), QStringLiteral("<x/>"), QVariant());
    request->send();
    ASSERT_TRUE(waitFor([&] { return !request->isRunning(); }));
    settle();
    EXPECT_EQ(handler.total(), 0);
}

TEST_F(SoapRequestTest, ListResultIsInitialisedFromTheResultElement)
{
    server.enqueue(LocalHttpServer::Response::xml(
        responseEnvelope("<R><RResult><string>a</string><string>b</string></RResult></R>")));
    SoapArrayPtr fresh(new SoapArray());
    post(&handler, "onResult", SoapObject::box(fresh))->send();
    ASSERT_TRUE(waitFor([&] { return handler.total() > 0; }));
    ASSERT_EQ(handler.actions.size(), 1);
    const SoapArrayPtr list = SoapObject::unboxAs<SoapArray>(handler.actions.first());
    ASSERT_EQ(list, fresh);
    EXPECT_EQ(list->items(), (QVariantList{QStringLiteral("a"), QStringLiteral("b")}));
}

TEST_F(SoapRequestTest, RecordResultWithoutAResponseElementIsInitialisedFromNothing)
{
    server.enqueue(LocalHttpServer::Response::xml(responseEnvelope("")));
    QSharedPointer<TestInfo> info(new TestInfo());
    post(&handler, QByteArray(), SoapObject::box(info))->send();
    ASSERT_TRUE(waitFor([&] { return handler.total() > 0; }));
    ASSERT_EQ(handler.loaded.size(), 1);
    EXPECT_TRUE(info->decoded);
    EXPECT_TRUE(info->Name.isNull());
}

TEST_F(SoapRequestTest, CallbacksArriveOnTheSendingThread)
{
    server.enqueue(LocalHttpServer::Response::xml(unprefixedEnvelope("<R>worker</R>")));
    const QString url = server.urlString("/");
    QThread *callbackThread = nullptr;
    QString received;
    std::atomic<bool> finished = false;
    QThread *worker = QThread::create([&] {
        RecordingHandler local;
        SoapRequestPtr request =
            SoapRequest::create(&local, url, QStringLiteral("a"), QStringLiteral("<x/>"), QVariant());
        request->send();
        QDeadlineTimer deadline(5000);
        while (local.total() == 0 && !deadline.hasExpired()) {
            QEventLoop loop;
            QTimer::singleShot(5, &loop, &QEventLoop::quit);
            loop.exec();
        }
        if (!local.threads.isEmpty())
            callbackThread = local.threads.first();
        if (!local.loaded.isEmpty())
            received = local.loaded.first().toString();
        request.reset();
        finished = true;
    });
    worker->start();
    // The responder answers from this thread's event loop.
    ASSERT_TRUE(waitFor([&] { return finished.load(); }));
    worker->wait();
    EXPECT_EQ(callbackThread, worker);
    EXPECT_EQ(received, u"worker");
    delete worker;
}

TEST_F(SoapRequestTest, ChallengeIsAnsweredOnceThenRefusedWith403)
{
    server.requireBasicAuthentication("user", "secret");
    server.setDefaultResponse(LocalHttpServer::Response::xml(unprefixedEnvelope("<R>in</R>")));

    SoapService goodService(server.urlString("/"));
    goodService.setUsername(QStringLiteral("user"));
    goodService.setPassword(QStringLiteral("secret"));
    SoapRequest::create(&handler, QByteArray(), goodService, QStringLiteral("a"), QStringLiteral("<x/>"), QVariant())
        ->send();
    ASSERT_TRUE(waitFor([&] { return handler.total() > 0; }));
    ASSERT_EQ(handler.loaded.size(), 1);
    EXPECT_EQ(handler.loaded.first().toString(), u"in");

    RecordingHandler refused;
    SoapService badService(QStringLiteral("user"), QStringLiteral("wrong"));
    badService.setServiceUrl(server.urlString("/"));
    const qsizetype before = server.requests().size();
    SoapRequest::create(&refused, QByteArray(), badService, QStringLiteral("a"), QStringLiteral("<x/>"), QVariant())
        ->send();
    ASSERT_TRUE(waitFor([&] { return refused.total() > 0; }));
    settle();
    ASSERT_EQ(refused.errors.size(), 1);
    EXPECT_TRUE(refused.loaded.isEmpty());
    const ErrorRecord error = errorOf(refused.errors.first());
    EXPECT_EQ(error.domain(), u"SoapRequest");
    EXPECT_EQ(error.code(), 403);
    EXPECT_EQ(error.localizedDescription(), u"Could not authenticate this request");
    // The first unauthenticated try and exactly one try with the credentials.
    EXPECT_EQ(server.requests().size() - before, 2);
}

TEST_F(SoapRequestTest, BodyThatIsNotXmlGivesTheParseError)
{
    server.enqueue(LocalHttpServer::Response::text("<<< this is not xml", 500));
    post(&handler, QByteArray())->send();
    ASSERT_TRUE(waitFor([&] { return handler.total() > 0; }));
    ASSERT_EQ(handler.errors.size(), 1);
    EXPECT_EQ(errorOf(handler.errors.first()).domain(), u"CXMLErrorDomain");
    EXPECT_EQ(errorOf(handler.errors.first()).code(), 1);
}

TEST_F(SoapRequestTest, LoopbackIsReachableEvenWithNoNetworkState)
{
    server.enqueue(LocalHttpServer::Response::xml(unprefixedEnvelope("<R>late</R>")));
    SoapRequestPtr request = SoapRequest::create(&handler, "onResult", server.urlString("/"), QStringLiteral("a"),
                                                 QStringLiteral("<x/>"), QVariant());
    SoapReachability::setNetworkStateSource([] { return std::optional<SoapReachability::NetworkState>(); });
    request->send();
    // No 400 or 410 error for 127.0.0.1: the one value is the answer.
    EXPECT_TRUE(handler.actions.isEmpty());
    ASSERT_TRUE(waitFor([&] { return handler.actions.size() == 1; }));
    EXPECT_EQ(handler.actions.at(0).toString(), u"late");
    settle();
    EXPECT_EQ(handler.actions.size(), 1);
}

TEST_F(SoapRequestTest, HostThatDoesNotResolveGives410ThroughOnerrorAndStillSends)
{
    // The lookup of the checks fails; the connection itself reaches the responder.
    SoapReachability::setResolver([](const QString &) { return QString(); });
    server.enqueue(LocalHttpServer::Response::xml(unprefixedEnvelope("<R>late</R>")));
    const QString url = QStringLiteral("http://localhost:%1/").arg(server.port());
    SoapRequest::create(&handler, url, QStringLiteral("a"), QStringLiteral("<x/>"), QVariant())->send();
    ASSERT_EQ(handler.errors.size(), 1);
    EXPECT_EQ(errorOf(handler.errors.first()).code(), 410);
    ASSERT_TRUE(waitFor([&] { return handler.loaded.size() + handler.errors.size() > 1; }));
    ASSERT_EQ(handler.loaded.size(), 1);
    EXPECT_EQ(handler.loaded.first().toString(), u"late");
}

TEST_F(SoapRequestTest, UnresolvableNameGives410ThroughOnerror)
{
    SoapReachability::setResolver([](const QString &) { return QString(); });
    EXPECT_FALSE(SoapReachability::hostAvailable(QStringLiteral("music-server.test")));
    EXPECT_TRUE(SoapReachability::getIPAddressForHost(QStringLiteral("music-server.test")).isNull());
    // A dotted address needs no lookup at all.
    EXPECT_EQ(SoapReachability::getIPAddressForHost(QStringLiteral("127.0.0.1")), u"127.0.0.1");
    EXPECT_TRUE(SoapReachability::hostAvailable(QStringLiteral("127.0.0.1")));
}

TEST_F(SoapRequestTest, ServerThatNeverAnswersTimesOut)
{
    LocalHttpServer::Response silence;
    silence.neverAnswer = true;
    server.enqueue(silence);
    SoapRequestPtr request = post(&handler, QByteArray());
    EXPECT_EQ(request->timeoutInterval(), 60000);
    request->setTimeoutInterval(300);
    request->send();
    ASSERT_TRUE(waitFor([&] { return handler.total() > 0; }));
    ASSERT_EQ(handler.errors.size(), 1);
    const ErrorRecord error = errorOf(handler.errors.first());
    EXPECT_EQ(error.domain(), SoapRequest::TransportErrorDomain);
    EXPECT_EQ(error.localizedDescription(), u"The request timed out.");
}

TEST_F(SoapRequestTest, BodyOverTheCapIsAbandoned)
{
    server.enqueue(LocalHttpServer::Response::xml(QByteArray(4096, 'x')));
    SoapRequestPtr request = post(&handler, QByteArray());
    EXPECT_EQ(request->maximumResponseSize(), 64 * 1024 * 1024);
    request->setMaximumResponseSize(1000);
    request->send();
    ASSERT_TRUE(waitFor([&] { return handler.total() > 0; }));
    settle();
    ASSERT_EQ(handler.errors.size(), 1);
    const ErrorRecord error = errorOf(handler.errors.first());
    EXPECT_EQ(error.domain(), SoapRequest::RuntimeErrorDomain);
    EXPECT_EQ(error.code(), SoapRequest::ResponseTooLargeCode);
    EXPECT_TRUE(error.localizedDescription().contains(QStringLiteral("larger than 1000 bytes")));
    EXPECT_TRUE(request->receivedData().isEmpty());
}

TEST_F(SoapRequestTest, BodyOverTheDefaultCapIsAbandoned)
{
    server.enqueue(LocalHttpServer::Response::xml(QByteArray(SoapRequest::DefaultMaximumResponseSize + 1, ' ')));
    post(&handler, QByteArray())->send();
    ASSERT_TRUE(waitFor([&] { return handler.total() > 0; }, 30000));
    ASSERT_EQ(handler.errors.size(), 1);
    EXPECT_EQ(errorOf(handler.errors.first()).code(), SoapRequest::ResponseTooLargeCode);
}

TEST_F(SoapRequestTest, CancelStopsEveryCallback)
{
    LocalHttpServer::Response slow = LocalHttpServer::Response::xml(unprefixedEnvelope("<R>x</R>"));
    slow.delayMilliseconds = 200;
    server.enqueue(slow);
    SoapRequestPtr request = post(&handler, QByteArray());
    EXPECT_FALSE(request->cancel());
    request->send();
    ASSERT_TRUE(server.waitForRequests(1));
    EXPECT_TRUE(request->cancel());
    EXPECT_FALSE(request->cancel());
    settle(400);
    EXPECT_EQ(handler.total(), 0);
}

TEST_F(SoapRequestTest, ConnectionRefusedIsATransportError)
{
    const QString url = server.urlString("/");
    server.stop();
    SoapRequest::create(&handler, url, QStringLiteral("a"), QStringLiteral("<x/>"), QVariant())->send();
    ASSERT_TRUE(waitFor([&] { return handler.total() > 0; }));
    ASSERT_EQ(handler.errors.size(), 1);
    EXPECT_EQ(errorOf(handler.errors.first()).domain(), SoapRequest::TransportErrorDomain);
}

TEST_F(SoapRequestTest, SynchronousCallReturnsTheBody)
{
    server.enqueue(LocalHttpServer::Response::xml("<R>sync</R>"));
    const QByteArray body = Soap::callService(server.urlString("/"), QStringLiteral("<x/>"), QStringLiteral("act"));
    EXPECT_EQ(body, "<R>sync</R>");
    EXPECT_EQ(server.requests().first().header("Content-Type"), "text/xml");
    EXPECT_EQ(server.requests().first().header("SOAPAction"), "act");
    const QString url = server.urlString("/");
    server.stop();
    EXPECT_TRUE(Soap::callService(url, QStringLiteral("<x/>"), QStringLiteral("act")).isNull());
}

} // namespace

#include "SoapRequestTest.moc"
