#include "app/OVWSRefreshService.h"

#include "platform/ErrorRecord.h"
#include "service/OVWSService.h"
#include "soap/SoapFault.h"
#include "soap/SoapRequest.h"

#include <utility>

namespace {

// The proxy delivers its outcome to a method named by the caller, as every
// generated operation does; this receiver turns it into the typed call.
class AnswerReceiver : public QObject {
    Q_OBJECT

public:
    AnswerReceiver(QObject *context, RefreshService::AnswerHandler onAnswer)
        : QObject(context), m_onAnswer(std::move(onAnswer))
    {
    }
    Q_INVOKABLE void answered(const QVariant &value)
    {
        // One answer per request; the receiver goes with it.
        deleteLater();
        if (const RefreshService::AnswerHandler onAnswer = std::exchange(m_onAnswer, nullptr))
            onAnswer(value);
    }

private:
    RefreshService::AnswerHandler m_onAnswer;
};

} // namespace

OVWSRefreshService::OVWSRefreshService(const QString &serviceUrl) : m_service(std::make_unique<OVWSService>())
{
    m_service->setLogging(false);
    m_service->setServiceUrl(serviceUrl);
}

OVWSRefreshService::~OVWSRefreshService() = default;

void OVWSRefreshService::RefreshMediaCollectionByMediaType(QObject *context, AnswerHandler onAnswer, qint32 mediaType)
{
    auto *receiver = new AnswerReceiver(context, std::move(onAnswer));
    const SoapRequestPtr request =
        m_service->RefreshMediaCollectionByMediaType(receiver, QByteArrayLiteral("answered"), mediaType);
    // Only the operation's own response counts as done: not an HTML page,
    // an error status or an envelope cut short.
    if (request)
        request->setExpectedResponseElement(QStringLiteral("RefreshMediaCollectionByMediaTypeResponse"));
}

QString OVWSRefreshService::failureDescription(const QVariant &value) const
{
    if (value.metaType() == QMetaType::fromType<SoapFault>()) {
        const SoapFault fault = value.value<SoapFault>();
        const QString description = fault.description();
        return description.isNull() ? QStringLiteral("SOAP fault") : description;
    }
    if (value.metaType() == QMetaType::fromType<ErrorRecord>()) {
        const ErrorRecord error = value.value<ErrorRecord>();
        return QStringLiteral("Error Domain=%1 Code=%2 \"%3\"")
            .arg(error.domain(), QString::number(error.code()), error.localizedDescription());
    }
    return {};
}

#include "OVWSRefreshService.moc"
