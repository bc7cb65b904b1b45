#include "service/OVWSContract.h"
#include "tests/support/SimulatorProcess.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

struct Answer
{
    int status = 0;
    QByteArray body;
    QByteArray authenticate;
};

Answer post(const QString &url, const QString &soapAction, const QByteArray &body, const QByteArray &authorization = {},
            bool asGet = false)
{
    QNetworkAccessManager manager;
    QNetworkRequest request{QUrl(url)};
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("text/xml; charset=utf-8"));
    if (!soapAction.isNull())
        request.setRawHeader("SOAPAction", soapAction.toUtf8());
    if (!authorization.isEmpty())
        request.setRawHeader("Authorization", authorization);
    request.setTransferTimeout(10000);
    QNetworkReply *reply = asGet ? manager.get(request) : manager.post(request, body);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    Answer answer;
    answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    answer.body = reply->readAll();
    answer.authenticate = reply->rawHeader("WWW-Authenticate");
    reply->deleteLater();
    return answer;
}

QByteArray envelope(const QString &operation, const QString &parameters)
{
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?><soap:Envelope "
                          "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                          "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
                          "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" xmlns=\"%1\"><soap:Body><%2>%3</%2>"
                          "</soap:Body></soap:Envelope>")
        .arg(OVWSContract::serviceNamespace(), operation, parameters)
        .toUtf8();
}

// Plausible parameter elements for an operation, as the client writes them.
QString sampleParameters(const OVWSContract::Operation &operation)
{
    QString text;
    for (const auto &parameter : operation.parameters) {
        const QString name = QLatin1String(parameter.name);
        QString value = QStringLiteral("7");
        if (parameter.kind == OVWSContract::Kind::Bool)
            value = QStringLiteral("1");
        else if (parameter.kind == OVWSContract::Kind::String)
            value = QStringLiteral("text &amp; more");
        else if (parameter.kind == OVWSContract::Kind::Record)
            value = QStringLiteral("<%1>1</%1>")
                        .arg(QLatin1String(OVWSContract::record(QLatin1String(parameter.typeName))->fields[0].name));
        text += QStringLiteral("<%1>%2</%1>").arg(name, value);
    }
    return text;
}

// The local names of the Body's element path: the response element, its first
// child and that element's children.
struct ResponseShape
{
    bool wellFormed = false;
    QString responseElement;
    QString resultElement;
    QStringList resultChildren;
    QString resultText;
    QString faultString;
};

ResponseShape shape(const QByteArray &body)
{
    ResponseShape result;
    QXmlStreamReader reader(body);
    QStringList path;
    while (!reader.atEnd()) {
        const auto token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            path.append(reader.name().toString());
            if (path.size() == 3)
                result.responseElement = path.last();
            else if (path.size() == 4 && result.resultElement.isEmpty())
                result.resultElement = path.last();
            else if (path.size() == 5 && path[3] == result.resultElement)
                result.resultChildren.append(path.last());
            if (path.last() == u"faultstring")
                result.faultString = reader.readElementText(), path.removeLast();
        } else if (token == QXmlStreamReader::EndElement) {
            path.removeLast();
        } else if (token == QXmlStreamReader::Characters && path.size() == 4) {
            result.resultText += reader.text();
        }
    }
    result.wellFormed = !reader.hasError();
    return result;
}

class Simulator : public ::testing::Test
{
protected:
    void start(const QStringList &options = {})
    {
        simulator = std::make_unique<SimulatorProcess>();
        const QString why = simulator->start({}, {}, options, 0);
        ASSERT_TRUE(why.isNull()) << why.toStdString();
    }

    Answer call(const QString &operation, const QString &parameters, const QString &soapAction = QString())
    {
        return post(simulator->serviceUrl(),
                    soapAction.isNull() ? OVWSContract::soapAction(operation) : soapAction,
                    envelope(operation, parameters));
    }

    QJsonObject lastLogEntry(qsizetype expectedCount)
    {
        EXPECT_TRUE(simulator->waitForLogEntries(expectedCount));
        const auto entries = simulator->logEntries();
        return entries.isEmpty() ? QJsonObject() : entries.last();
    }

    std::unique_ptr<SimulatorProcess> simulator;
};

TEST_F(Simulator, AnswersEveryOperationWithItsResultType)
{
    start();
    int count = 0;
    for (const auto &operation : OVWSContract::operations()) {
        const QString name = QLatin1String(operation.name);
        const Answer answer = call(name, sampleParameters(operation));
        ++count;
        ASSERT_EQ(answer.status, 200) << operation.name << answer.body.toStdString();
        const ResponseShape response = shape(answer.body);
        ASSERT_TRUE(response.wellFormed) << operation.name;
        EXPECT_EQ(response.responseElement, name + u"Response");
        if (operation.resultKind == OVWSContract::ResultKind::None) {
            EXPECT_TRUE(response.resultElement.isEmpty()) << operation.name;
            continue;
        }
        EXPECT_EQ(response.resultElement, name + u"Result");
        if (operation.resultKind == OVWSContract::ResultKind::Record) {
            QStringList fields;
            for (const auto &field : OVWSContract::record(QLatin1String(operation.result))->fields)
                fields.append(QLatin1String(field.name));
            EXPECT_EQ(response.resultChildren, fields) << operation.name;
        } else if (operation.resultKind == OVWSContract::ResultKind::List) {
            const auto *list = OVWSContract::list(QLatin1String(operation.result));
            const QString item = list->itemElement ? QLatin1String(list->itemElement) : QStringLiteral("string");
            EXPECT_EQ(response.resultChildren, QStringList(2, item)) << operation.name;
        } else {
            EXPECT_FALSE(response.resultText.isEmpty()) << operation.name;
        }
    }
    const auto entries = simulator->logEntries();
    ASSERT_EQ(entries.size(), count);
    for (const QJsonObject &entry : entries)
        EXPECT_EQ(entry.value(u"outcome").toString(), u"result") << entry.value(u"problem").toString().toStdString();
}

TEST_F(Simulator, LogsOperationSoapActionAndParametersAsReceived)
{
    start();
    call(QStringLiteral("SetZoneVolume"), QStringLiteral("<ZoneID>3</ZoneID><Volume>-12</Volume>"));
    const QJsonObject entry = lastLogEntry(1);
    EXPECT_EQ(entry.value(u"operation").toString(), u"SetZoneVolume");
    EXPECT_EQ(entry.value(u"soapAction").toString(), OVWSContract::soapAction(u"SetZoneVolume"));
    EXPECT_EQ(entry.value(u"parameters").toArray(),
              (QJsonArray{QJsonObject{{u"name"_s, u"ZoneID"_s}, {u"value"_s, u"3"_s}},
                          QJsonObject{{u"name"_s, u"Volume"_s}, {u"value"_s, u"-12"_s}}}));
    EXPECT_FALSE(entry.value(u"time").toString().isEmpty());
}

TEST_F(Simulator, LogsNilStringsAndRecordParameters)
{
    start();
    call(QStringLiteral("SaveQueueAsPlaylist"),
         QStringLiteral("<ZoneID>1</ZoneID><Info><Dynamic>true</Dynamic><Name>A &amp; B</Name><RepeatMode>2</RepeatMode>"
                        "<ShuffleMode>false</ShuffleMode></Info>"));
    call(QStringLiteral("SetZoneName"), QStringLiteral("<ZoneID>1</ZoneID><Name xsi:nil=\"true\"/>"));
    ASSERT_TRUE(simulator->waitForLogEntries(2));
    const auto entries = simulator->logEntries();
    const QJsonObject info = entries[0].value(u"parameters").toArray()[1].toObject().value(u"value").toObject();
    EXPECT_EQ(info.value(u"Name").toString(), u"A & B");
    EXPECT_EQ(info.value(u"Dynamic").toString(), u"true");
    EXPECT_FALSE(info.contains(u"PlaylistID"));
    EXPECT_EQ(entries[0].value(u"outcome").toString(), u"result");
    EXPECT_TRUE(entries[1].value(u"parameters").toArray()[1].toObject().value(u"value").isNull());
    EXPECT_EQ(entries[1].value(u"outcome").toString(), u"result");
}

TEST_F(Simulator, FaultsOnEveryBreachOfTheContract)
{
    start();
    const struct
    {
        const char *operation;
        const char *parameters;
        const char *soapAction; // null: the right one
        const char *problem;
    } breaches[] = {
        {"SetZoneVolume", "<Volume>3</Volume><ZoneID>1</ZoneID>", nullptr, "found parameter Volume where ZoneID belongs"},
        {"SetZoneVolume", "<ZoneID>1</ZoneID>", nullptr, "parameter Volume is missing"},
        {"SetZoneVolume", "<ZoneID>1</ZoneID><Volume>3</Volume><Extra>1</Extra>", nullptr, "unexpected parameter Extra"},
        {"SetZoneVolume", "<ZoneID>one</ZoneID><Volume>3</Volume>", nullptr, "is not a 32-bit integer"},
        {"SetZoneVolume", "<ZoneID>99999999999</ZoneID><Volume>3</Volume>", nullptr, "is not a 32-bit integer"},
        {"SetZoneMute", "<ZoneID>1</ZoneID><Mute>yes</Mute>", nullptr, "is not a boolean"},
        {"SetZoneMute", "<ZoneID xsi:nil=\"true\"/><Mute>1</Mute>", nullptr, "may not be nil"},
        {"SaveQueueAsPlaylist", "<ZoneID>1</ZoneID><Info><Bogus>1</Bogus></Info>", nullptr, "Bogus is not a field"},
        {"SaveQueueAsPlaylist", "<ZoneID>1</ZoneID><Info><Name>a</Name><Dynamic>true</Dynamic></Info>", nullptr,
         "out of order"},
        {"NoSuchOperation", "", "x", "Unknown operation NoSuchOperation"},
        {"GetSystemInfo", "", "GetSystemInfo", "does not match the operation"},
        {"GetSystemInfo", "", "http://orvana.local/WebService/2009/07/ISystemSvc/GetZoneInfo", "does not match"},
    };
    for (const auto &breach : breaches) {
        const Answer answer = call(QLatin1String(breach.operation), QLatin1String(breach.parameters),
                                   breach.soapAction ? QLatin1String(breach.soapAction) : QString());
        EXPECT_EQ(answer.status, 500) << breach.problem;
        const ResponseShape response = shape(answer.body);
        EXPECT_TRUE(response.wellFormed);
        EXPECT_EQ(response.responseElement, u"Fault") << breach.problem;
        EXPECT_TRUE(response.faultString.contains(QLatin1String(breach.problem)))
            << breach.problem << " / " << response.faultString.toStdString();
    }
    const auto entries = simulator->logEntries();
    ASSERT_EQ(entries.size(), qsizetype(std::size(breaches)));
    for (const QJsonObject &entry : entries)
        EXPECT_EQ(entry.value(u"outcome").toString(), u"fault");
}

TEST_F(Simulator, FaultsOnEnvelopesThatAreNotSoap)
{
    start();
    const QString action = OVWSContract::soapAction(u"GetSystemInfo");
    const QByteArray bodies[] = {
        "not xml at all <",
        "<Envelope><Body><GetSystemInfo/></Body></Envelope>",
        "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body/></soap:Envelope>",
        "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body><GetSystemInfo/>"
        "</soap:Body></soap:Envelope>", // not in the service namespace
        "<?xml version=\"1.0\"?><!DOCTYPE x [<!ENTITY e SYSTEM \"file:///etc/passwd\">]><x>&e;</x>",
        "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body>\xC3(</soap:Body>"
        "</soap:Envelope>", // not UTF-8
    };
    for (const QByteArray &body : bodies) {
        const Answer answer = post(simulator->serviceUrl(), action, body);
        EXPECT_EQ(answer.status, 500) << body.toStdString();
        EXPECT_EQ(shape(answer.body).responseElement, u"Fault") << body.toStdString();
        EXPECT_FALSE(answer.body.contains("root:")) << "an external entity was read";
    }
}

TEST_F(Simulator, AnswersOtherPathsAndMethodsWithHttpErrors)
{
    start();
    const QString root = QStringLiteral("http://127.0.0.1:%1/").arg(simulator->port());
    EXPECT_EQ(post(root + u"elsewhere", QString(), envelope(u"GetSystemInfo"_s, {})).status, 404);
    EXPECT_EQ(post(simulator->serviceUrl(), QString(), {}, {}, true).status, 405);
    EXPECT_TRUE(simulator->waitForLogEntries(2));
}

TEST_F(Simulator, AnswersWithAFaultWhenAsked)
{
    start({QStringLiteral("--fault")});
    const Answer answer = call(QStringLiteral("GetSystemInfo"), {});
    EXPECT_EQ(answer.status, 500);
    EXPECT_EQ(shape(answer.body).faultString, u"Simulated fault");
}

TEST_F(Simulator, AnswersWithAnHttpErrorWhenAsked)
{
    start({QStringLiteral("--http-error"), QStringLiteral("503")});
    EXPECT_EQ(call(QStringLiteral("GetSystemInfo"), {}).status, 503);
    EXPECT_EQ(lastLogEntry(1).value(u"outcome").toString(), u"http error");
}

TEST_F(Simulator, AnswersWithGarbageWhenAsked)
{
    start({QStringLiteral("--garbage")});
    const Answer answer = call(QStringLiteral("GetSystemInfo"), {});
    EXPECT_EQ(answer.status, 200);
    EXPECT_FALSE(shape(answer.body).wellFormed);
}

TEST_F(Simulator, WaitsBeforeAnsweringWhenAsked)
{
    start({QStringLiteral("--delay"), QStringLiteral("400")});
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(call(QStringLiteral("GetSystemInfo"), {}).status, 200);
    EXPECT_GE(timer.elapsed(), 350);
}

TEST_F(Simulator, RequiresBasicAuthenticationWhenAsked)
{
    start({QStringLiteral("--auth"), QStringLiteral("music:s3cret")});
    const QByteArray body = envelope(QStringLiteral("GetSystemInfo"), {});
    const QString action = OVWSContract::soapAction(u"GetSystemInfo");
    const Answer refused = post(simulator->serviceUrl(), action, body);
    EXPECT_EQ(refused.status, 401);
    EXPECT_TRUE(refused.authenticate.startsWith("Basic"));
    EXPECT_EQ(post(simulator->serviceUrl(), action, body, "Basic " + QByteArray("music:wrong").toBase64()).status, 401);
    EXPECT_EQ(post(simulator->serviceUrl(), action, body, "Basic " + QByteArray("music:s3cret").toBase64()).status, 200);
}

TEST(SimulatorOptions, RejectsBadOptions)
{
    for (const QStringList &options : {QStringList{u"--port"_s, u"70000"_s}, QStringList{u"--bogus"_s},
                                       QStringList{u"--auth"_s, u"nocolon"_s}, QStringList{u"--delay"_s}}) {
        QProcess process;
        process.start(QStringLiteral(ORVANA_SIMULATOR_PATH), options);
        ASSERT_TRUE(process.waitForFinished(5000));
        EXPECT_EQ(process.exitCode(), 2) << options.join(u' ').toStdString();
        EXPECT_TRUE(process.readAllStandardError().contains("usage:"));
    }
}

class SimulatorShare : public Simulator
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(share.isValid());
        QDir root(share.path());
        root.mkpath(QStringLiteral("Library"));
        root.mkpath(QStringLiteral("Music/Artist/Album"));
        root.mkpath(QStringLiteral("Artwork"));
        testsupport::writeFile(root.filePath(QStringLiteral("Music/Artist/Album/01 Song.mp3")), "ID3");
        testsupport::writeFile(root.filePath(QStringLiteral("Artwork/ABC.jpg")), "JPEG");
    }

    QJsonObject refresh()
    {
        start({QStringLiteral("--share"), share.path()});
        call(QStringLiteral("RefreshMediaCollectionByMediaType"), QStringLiteral("<MediaType>16384</MediaType>"));
        return lastLogEntry(1).value(u"share").toObject();
    }

    void writeShareFile(const QString &relative, const QByteArray &text)
    {
        testsupport::writeFile(QDir(share.path()).filePath(relative), text);
    }

    QTemporaryDir share;
};

TEST_F(SimulatorShare, CountsSongsPlaylistsAndCoversAndListsMissingFiles)
{
    writeShareFile(QStringLiteral("Library/9F1C.xml"),
                   "<Library ID=\"9F1C\" Type=\"iTunes\" Name=\"Home\" SyncVersion=\"1\">\r\n\t<Songs>\r\n"
                   "\t\t<Song Album=\"Album\" ID=\"A1\" \r\n Location=\"\\\\192.0.2.1\\OrvanaMusic\\Music\\Artist\\Album\\01 Song.mp3\"></Song>\r\n"
                   "\t\t<Song Album=\"Album\" ID=\"A2\" \r\n Location=\"\\\\192.0.2.1\\OrvanaMusic\\Music\\Artist\\Album\\02 Gone.mp3\"></Song>\r\n"
                   "\t\t<Song ID=\"A3\" \r\n Location=\"\\\\192.0.2.1\\OrvanaMusic\\..\\..\\etc\\passwd\"></Song>\r\n"
                   "\t</Songs>\r\n\t<Playlists>\r\n\t\t<Playlist ID=\"P1\" Name=\"Mix\">\r\n\t\t\t<Track ID=\"A1\" />\r\n"
                   "\t\t\t<Track ID=\"A2\" />\r\n\t\t</Playlist>\r\n\t</Playlists>\r\n</Library>\r\n");
    writeShareFile(QStringLiteral("Artwork/Artwork.xml"),
                   "<Library><AlbumCovers><AlbumCover AlbumID=\"ABC\" Path=\"\\\\192.0.2.1\\OrvanaMusic\\Artwork\\ABC.jpg\"/>"
                   "<AlbumCover AlbumID=\"DEF\" Path=\"\\\\192.0.2.1\\OrvanaMusic\\Artwork\\DEF.jpg\"/></AlbumCovers></Library>");
    const QJsonObject found = refresh();
    EXPECT_EQ(found.value(u"songs").toInt(), 3);
    EXPECT_EQ(found.value(u"playlists").toInt(), 1);
    EXPECT_EQ(found.value(u"covers").toInt(), 2);
    EXPECT_EQ(found.value(u"libraries").toArray()[0].toObject().value(u"playlistTracks").toInt(), 2);
    EXPECT_EQ(found.value(u"missing").toArray(),
              (QJsonArray{u"\\\\192.0.2.1\\OrvanaMusic\\Music\\Artist\\Album\\02 Gone.mp3"_s,
                          u"\\\\192.0.2.1\\OrvanaMusic\\..\\..\\etc\\passwd"_s,
                          u"\\\\192.0.2.1\\OrvanaMusic\\Artwork\\DEF.jpg"_s}));
    EXPECT_FALSE(found.contains(u"artworkError"));
}

TEST_F(SimulatorShare, ReportsUnreadableFilesAndStillAnswers)
{
    writeShareFile(QStringLiteral("Library/broken.xml"), "<Library><Songs>");
    const QJsonObject found = refresh();
    const QJsonObject library = found.value(u"libraries").toArray()[0].toObject();
    EXPECT_EQ(library.value(u"file").toString(), u"Library/broken.xml");
    EXPECT_FALSE(library.value(u"error").toString().isEmpty());
    EXPECT_EQ(found.value(u"artworkError").toString(), u"no Artwork/Artwork.xml");
    EXPECT_EQ(simulator->logEntries().last().value(u"outcome").toString(), u"result");
}

} // namespace
