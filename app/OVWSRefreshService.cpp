#include "app/OVWSRefreshService.h"

#include "platform/ErrorRecord.h"
#include "service/OVWSService.h"
#include "soap/SoapFault.h"
#include "soap/SoapRequest.h"

OVWSRefreshService::OVWSRefreshService(const QString &serviceUrl) : m_service(std::make_unique<OVWSService>())
{
    m_service->setLogging(false);
    m_service->setServiceUrl(serviceUrl);
}

OVWSRefreshService::~OVWSRefreshService() = default;

void OVWSRefreshService::RefreshMediaCollectionByMediaType(QObject *handler, const char *action, qint32 mediaType)
{
    const SoapRequestPtr request = m_service->RefreshMediaCollectionByMediaType(handler, QByteArray(action), mediaType);
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
