#include "platform/ErrorRecord.h"
#include "service/OVWSOVPlaylistInfo.h"
#include "service/OVWSService.h"
#include "soap/SoapArray.h"
#include "soap/SoapFault.h"
#include "soap/SoapTypeRegistry.h"
#include "tests/service/ServiceTestHandler.h"
#include "tests/support/SimulatorProcess.h"

#include <QJsonArray>
#include <QSet>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

bool isFault(const QVariant &value)
{
    return value.metaType() == QMetaType::fromType<SoapFault>();
}

bool isError(const QVariant &value)
{
    return value.metaType() == QMetaType::fromType<ErrorRecord>();
}

// Arguments for an operation, one per parameter, and the text the server
// should receive for each.
struct SampleCall
{
    QVariantList arguments;
    QList<QJsonValue> expected;
};

SampleCall sampleCall(const OVWSContract::Operation &operation, int seed)
{
    SampleCall call;
    int position = 0;
    for (const OVWSContract::Member &parameter : operation.parameters) {
        ++position;
        switch (parameter.kind) {
        case OVWSContract::Kind::Int: {
            const qint32 value = seed * 37 + position - 60;
            call.arguments.append(value);
            call.expected.append(QString::number(value));
            break;
        }
        case OVWSContract::Kind::Bool: {
            const bool value = (seed + position) % 2 == 0;
            call.arguments.append(value);
            call.expected.append(value ? u"1"_s : u"0"_s);
            break;
        }
        case OVWSContract::Kind::String: {
            const QString value = u"Text %1 & <b> \"quoted\""_s.arg(seed);
            call.arguments.append(value);
            call.expected.append(value);
            break;
        }
        default: {
            // A fresh record writes its numbers, booleans and empty lists.
            const QString type = QLatin1String(parameter.typeName);
            call.arguments.append(SoapObject::box(SoapTypeRegistry::create(u"OVWS"_s + type)));
            QJsonObject fields;
            for (const auto &field : OVWSContract::record(type)->fields) {
                const QString name = QLatin1String(field.name);
                if (field.kind == OVWSContract::Kind::Int)
                    fields.insert(name, u"0"_s);
                else if (field.kind == OVWSContract::Kind::Bool)
                    fields.insert(name, u"false"_s);
                else if (field.kind == OVWSContract::Kind::List)
                    fields.insert(name, QJsonArray());
            }
            call.expected.append(fields);
        }
        }
    }
    return call;
}

void expectResultOfType(const OVWSContract::Operation &operation, const QVariant &value)
{
    SCOPED_TRACE(operation.name);
    ASSERT_FALSE(isFault(value) || isError(value));
    const QLatin1String result(operation.result);
    switch (operation.resultKind) {
    case OVWSContract::ResultKind::None:
        EXPECT_EQ(value.metaType(), QMetaType::fromType<QString>());
        EXPECT_TRUE(value.toString().isEmpty());
        break;
    case OVWSContract::ResultKind::Record: {
        const SoapObjectPtr record = SoapObject::unbox(value);
        ASSERT_TRUE(record);
        EXPECT_EQ(record->className(), u"OVWS"_s + result);
        // The simulator fills every field, so every field element is written back.
        for (const auto &field : OVWSContract::record(result)->fields)
            EXPECT_TRUE(record->serializeElements().contains(u'<' + QLatin1String(field.name))) << field.name;
        break;
    }
    case OVWSContract::ResultKind::List: {
        const auto list = SoapObject::unboxAs<SoapArray>(value);
        ASSERT_TRUE(list);
        EXPECT_EQ(list->className(), u"OVWS"_s + result);
        EXPECT_EQ(list->count(), 2);
        break;
    }
    case OVWSContract::ResultKind::Token:
        if (result == QLatin1String("int")) {
            EXPECT_EQ(value.metaType(), QMetaType::fromType<qint32>());
            EXPECT_EQ(value.toInt(), 42);
        } else if (result == QLatin1String("NSString")) {
            EXPECT_EQ(value.metaType(), QMetaType::fromType<QString>());
            EXPECT_EQ(value.toString(), u"\\\\127.0.0.1\\OrvanaMusic");
        } else {
            // NSData: the Base64 text itself, not decoded bytes.
            EXPECT_EQ(value.metaType(), QMetaType::fromType<QString>());
            EXPECT_EQ(value.toString(), QString::fromLatin1(QByteArray("Orvana cover image bytes").toBase64()));
        }
        break;
    }
}

class ServiceOperations : public ::testing::Test
{
protected:
    void start(const QStringList &options = {})
    {
        simulator = std::make_unique<SimulatorProcess>();
        const QString why = simulator->start({}, {}, options, 0);
        ASSERT_TRUE(why.isNull()) << why.toStdString();
        service.setServiceUrl(simulator->serviceUrl());
    }

    std::unique_ptr<SimulatorProcess> simulator;
    OVWSService service;
    ServiceTestHandler handler;
};

TEST(ServiceConstruction, StartsWithTheContractsSettings)
{
    OVWSService service;
    EXPECT_EQ(service.serviceUrl(), u"");
    EXPECT_FALSE(service.serviceUrl().isNull());
    EXPECT_EQ(service.serviceNamespace(), OVWSContract::serviceNamespace());
    EXPECT_TRUE(service.headers().isEmpty());
    EXPECT_FALSE(service.logging());
    EXPECT_TRUE(service.username().isNull());
    EXPECT_FALSE(service.defaultHandler());

    const OVWSServicePtr withCredentials = OVWSService::serviceWithUsername(u"music"_s, u"pw"_s);
    EXPECT_EQ(withCredentials->username(), u"music");
    EXPECT_EQ(withCredentials->password(), u"pw");
    EXPECT_EQ(withCredentials->serviceNamespace(), OVWSContract::serviceNamespace());
    EXPECT_TRUE(OVWSService::service()->password().isNull());
}

// Every operation of the contract, called in its plain and its action form:
// the results arrive through onload and through the action, with the result
// type of the operation, and the server saw the right operation, SOAPAction
// and parameters.
TEST_F(ServiceOperations, EveryOperationInBothForms)
{
    start();
    const QByteArray action = "onResult";
    const auto operations = OVWSContract::operations();
    for (qsizetype index = 0; index < qsizetype(operations.size()); ++index) {
        const auto &operation = operations[index];
        const SampleCall call = sampleCall(operation, int(index));
        handler.deliveries.clear();
        const SoapRequestPtr plain = service.invoke(index, &handler, nullptr, call.arguments);
        ASSERT_TRUE(plain);
        EXPECT_EQ(plain->soapAction(), OVWSContract::soapAction(QLatin1String(operation.name)));
        ASSERT_TRUE(handler.waitFor(1)) << operation.name;
        const SoapRequestPtr withAction = service.invoke(index, &handler, &action, call.arguments);
        ASSERT_TRUE(withAction);
        ASSERT_TRUE(handler.waitFor(2)) << operation.name;
        EXPECT_EQ(handler.deliveries[0].callback, "onload") << operation.name;
        EXPECT_EQ(handler.deliveries[1].callback, "onResult") << operation.name;
        expectResultOfType(operation, handler.deliveries[0].value);
        expectResultOfType(operation, handler.deliveries[1].value);
    }

    const auto entries = simulator->logEntries();
    ASSERT_EQ(entries.size(), 2 * qsizetype(operations.size()));
    for (qsizetype index = 0; index < qsizetype(operations.size()); ++index) {
        const auto &operation = operations[index];
        const SampleCall call = sampleCall(operation, int(index));
        for (const QJsonObject &entry : {entries[2 * index], entries[2 * index + 1]}) {
            SCOPED_TRACE(operation.name);
            EXPECT_EQ(entry.value(u"outcome").toString(), u"result") << entry.value(u"problem").toString().toStdString();
            EXPECT_EQ(entry.value(u"operation").toString(), QLatin1String(operation.name));
            EXPECT_EQ(entry.value(u"soapAction").toString(), OVWSContract::soapAction(QLatin1String(operation.name)));
            const QJsonArray parameters = entry.value(u"parameters").toArray();
            ASSERT_EQ(parameters.size(), qsizetype(operation.parameters.size()));
            for (qsizetype i = 0; i < parameters.size(); ++i) {
                EXPECT_EQ(parameters[i].toObject().value(u"name").toString(), QLatin1String(operation.parameters[i].name));
                EXPECT_EQ(parameters[i].toObject().value(u"value"), call.expected[i]) << operation.parameters[i].name;
            }
        }
    }
}

TEST_F(ServiceOperations, RefreshPostsExactlyTheOneLineEnvelope)
{
    start({u"--log-bodies"_s});
    const SoapRequestPtr request = service.RefreshMediaCollectionByMediaType(&handler, "onResult", 16384);
    const QString expected =
        u"<?xml version=\"1.0\" encoding=\"utf-8\"?><soap:Envelope xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
        u"xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
        u"xmlns=\""_s
        + OVWSContract::serviceNamespace()
        + u"\"><soap:Body><RefreshMediaCollectionByMediaType><MediaType>16384</MediaType>"
          u"</RefreshMediaCollectionByMediaType></soap:Body></soap:Envelope>"_s;
    EXPECT_EQ(request->postData(), expected);
    EXPECT_TRUE(request->soapAction().endsWith(u"/ISystemSvc/RefreshMediaCollectionByMediaType"));
    ASSERT_TRUE(handler.waitFor(1));
    EXPECT_EQ(handler.deliveries[0].callback, "onResult");
    EXPECT_EQ(handler.deliveries[0].value.toString(), u"");
    ASSERT_TRUE(simulator->waitForLogEntries(1));
    EXPECT_EQ(simulator->logEntries()[0].value(u"body").toString(), expected);
}

TEST_F(ServiceOperations, OperationWithoutParametersWritesStartAndEndTag)
{
    start();
    const SoapRequestPtr request = service.GetSystemInfo(&handler);
    EXPECT_TRUE(request->postData().contains(u"<soap:Body><GetSystemInfo></GetSystemInfo></soap:Body>"));
    ASSERT_TRUE(handler.waitFor(1));
    EXPECT_EQ(handler.deliveries[0].callback, "onload");
}

TEST_F(ServiceOperations, WritesRecordsAndNullsAsTheServerReadsThem)
{
    start();
    auto info = OVWSOVPlaylistInfoPtr::create();
    info->setName(u"Rock & \"Roll\""_s);
    info->setDynamic(true);
    service.SaveQueueAsPlaylist(&handler, 4, info);
    service.SetZoneName(&handler, 2, QString());
    service.SaveQueueAsPlaylist(&handler, 4, OVWSOVPlaylistInfoPtr());
    ASSERT_TRUE(handler.waitFor(3));
    ASSERT_TRUE(simulator->waitForLogEntries(3));
    QList<QJsonObject> entries = simulator->logEntries();
    // Requests run side by side: order the entries as sent (record, null name, null record).
    const auto key = [](const QJsonObject &entry) -> QString {
        const bool nullValue = entry.value(u"parameters").toArray()[1].toObject().value(u"value").isNull();
        return entry.value(u"operation").toString() + (nullValue ? u"1"_s : u"0"_s);
    };
    std::sort(entries.begin(), entries.end(), [&](const QJsonObject &a, const QJsonObject &b) { return key(a) < key(b); });
    const QJsonObject written = entries[0].value(u"parameters").toArray()[1].toObject().value(u"value").toObject();
    EXPECT_EQ(written.value(u"Name").toString(), u"Rock & \"Roll\"") << "escaped once, read back whole";
    EXPECT_EQ(written.value(u"Dynamic").toString(), u"true");
    EXPECT_TRUE(entries[1].value(u"parameters").toArray()[1].toObject().value(u"value").isNull());
    EXPECT_TRUE(entries[2].value(u"parameters").toArray()[1].toObject().value(u"value").isNull());
    for (const QJsonObject &entry : entries)
        EXPECT_EQ(entry.value(u"outcome").toString(), u"result");
}

TEST_F(ServiceOperations, SoapActionStaysWhenTheNamespaceChanges)
{
    start();
    service.setServiceNamespace(u"http://elsewhere.invalid/ns"_s);
    const SoapRequestPtr request = service.GetVolumeLevels(&handler, "onResult", 1);
    EXPECT_EQ(request->soapAction(), OVWSContract::soapAction(u"GetVolumeLevels"));
    EXPECT_TRUE(request->postData().contains(u"xmlns=\"http://elsewhere.invalid/ns\""));
    // The server refuses the foreign namespace; the fault comes through the action.
    ASSERT_TRUE(handler.waitFor(1));
    EXPECT_EQ(handler.deliveries[0].callback, "onResult");
    ASSERT_TRUE(isFault(handler.deliveries[0].value));
    EXPECT_TRUE(handler.deliveries[0].value.value<SoapFault>().faultString().contains(u"service namespace"));
}

TEST_F(ServiceOperations, FaultsComeThroughOnfaultOrTheAction)
{
    start({u"--fault"_s});
    service.GetAllZonesInfo(&handler);
    ASSERT_TRUE(handler.waitFor(1));
    service.GetAllZonesInfo(&handler, "onResult");
    ASSERT_TRUE(handler.waitFor(2));
    EXPECT_EQ(handler.deliveries[0].callback, "onfault");
    EXPECT_EQ(handler.deliveries[1].callback, "onResult");
    for (const auto &delivery : handler.deliveries) {
        ASSERT_TRUE(isFault(delivery.value));
        EXPECT_EQ(delivery.value.value<SoapFault>().faultString(), u"Simulated fault");
    }
}

TEST_F(ServiceOperations, BodiesThatAreNotXmlComeThroughOnerror)
{
    for (const QStringList &options : {QStringList{u"--garbage"_s}, QStringList{u"--http-error"_s, u"503"_s}}) {
        start(options);
        handler.deliveries.clear();
        service.GetSystemInfo(&handler);
        ASSERT_TRUE(handler.waitFor(1));
        EXPECT_EQ(handler.deliveries[0].callback, "onerror") << options.join(u' ').toStdString();
        EXPECT_TRUE(isError(handler.deliveries[0].value));
    }
}

TEST_F(ServiceOperations, AnswersAnAuthenticationChallengeWithTheCredentials)
{
    start({u"--auth"_s, u"music:s3cret"_s});
    service.setUsername(u"music"_s);
    service.setPassword(u"s3cret"_s);
    service.GetVolumeLevels(&handler, "onResult", 1);
    ASSERT_TRUE(handler.waitFor(1));
    EXPECT_EQ(handler.deliveries[0].value.toInt(), 42);

    OVWSService stranger;
    stranger.setServiceUrl(simulator->serviceUrl());
    stranger.GetVolumeLevels(&handler, "onResult", 1);
    ASSERT_TRUE(handler.waitFor(2));
    EXPECT_TRUE(isError(handler.deliveries[1].value));
}

TEST_F(ServiceOperations, InvokeRefusesAnIndexOutsideTheTable)
{
    EXPECT_FALSE(service.invoke(-1, &handler, nullptr, {}));
    EXPECT_FALSE(service.invoke(qsizetype(OVWSContract::operations().size()), &handler, nullptr, {}));
}

} // namespace
