#include "service/OVWSServiceBase.h"

#include "platform/ProgrammingError.h"
#include "service/OVWSTypeRegistration.h"
#include "soap/Soap.h"
#include "soap/SoapParameter.h"
#include "soap/SoapTypeRegistry.h"

OVWSServiceBase::OVWSServiceBase()
{
    OVWSTypeRegistration::registerAll();
    setServiceUrl(QStringLiteral(""));
    setServiceNamespace(OVWSContract::serviceNamespace());
    setHeaders({});
    setLogging(false);
}

OVWSServiceBase::OVWSServiceBase(const QString &username, const QString &password) : OVWSServiceBase()
{
    setUsername(username);
    setPassword(password);
}

OVWSServiceBase::~OVWSServiceBase() = default;

QVariant OVWSServiceBase::resultDescriptor(const OVWSContract::Operation &operation)
{
    switch (operation.resultKind) {
    case OVWSContract::ResultKind::None:
        return QVariant();
    case OVWSContract::ResultKind::Token:
        return QString::fromLatin1(operation.result);
    case OVWSContract::ResultKind::Record:
    case OVWSContract::ResultKind::List:
        break;
    }
    const QString className = Soap::prefix() + QLatin1String(operation.result);
    const SoapObjectPtr fresh = SoapTypeRegistry::create(className);
    if (!fresh)
        ORVANA_PROGRAMMING_ERROR(QStringLiteral("The result type %1 is not registered").arg(className),
                                 QLatin1String(operation.name), "OVWSServiceBase");
    return SoapObject::box(fresh);
}

SoapRequestPtr OVWSServiceBase::call(QObject *handler, const QByteArray &action,
                                     const OVWSContract::Operation &operation, const QVariantList &values) const
{
    SoapParameterList parameters;
    for (qsizetype i = 0; i < qsizetype(operation.parameters.size()); ++i)
        parameters.append(SoapParameter(values.value(i), QLatin1String(operation.parameters[i].name)));
    const QString name = QLatin1String(operation.name);
    const QString envelope = Soap::createEnvelope(name, serviceNamespace(), parameters, headers());
    // The SOAPAction is the contract's, whatever the namespace was changed to.
    const SoapRequestPtr request = SoapRequest::create(handler, action, *this, OVWSContract::soapAction(name), envelope,
                                                       resultDescriptor(operation));
    request->send();
    return request;
}
