#pragma once

#include "service/OVWSContract.h"
#include "soap/SoapRequest.h"
#include "soap/SoapService.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QVariantList>

// What every operation of the generated proxy OVWSService shares: the
// settings after construction and the one way a call is made. Adds no
// fields to SoapService.
class OVWSServiceBase : public SoapService
{
public:
    // Empty service URL, the service namespace, no headers, logging off.
    OVWSServiceBase();
    OVWSServiceBase(const QString &username, const QString &password);
    ~OVWSServiceBase() override;

protected:
    // Builds the envelope of the operation with its parameters named in
    // wire order and values already boxed, creates the request with the
    // operation's constant SOAPAction and result descriptor, sends it and
    // returns it. A null action delivers through onload/onerror/onfault.
    SoapRequestPtr call(QObject *handler, const QByteArray &action, const OVWSContract::Operation &operation,
                        const QVariantList &values) const;

private:
    static QVariant resultDescriptor(const OVWSContract::Operation &operation);
};
