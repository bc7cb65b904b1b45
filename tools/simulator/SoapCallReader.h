#pragma once

#include "service/OVWSContract.h"
#include "xml/CXMLElement.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonValue>
#include <QString>

// One operation call read from a request envelope and checked against the
// contract: the operation element, its parameter elements in order, each
// value's form, and the SOAPAction header.
struct ReceivedCall {
    QString operationName;                              // the body's element as received
    const OVWSContract::Operation *operation = nullptr; // null when unknown
    QString soapAction;                                 // the header, unquoted
    QJsonArray parameters;                              // [{"name": ..., "value": ...}] as received
    QString problem;                                    // why the call breaks the contract; null when it keeps it

    bool keepsContract() const { return operation && problem.isNull(); }
};

class SoapCallReader {
public:
    static ReceivedCall read(const QByteArray &body, const QByteArray &soapActionHeader);

private:
    static QString readParameters(const CXMLElementPtr &operationElement, ReceivedCall *call);
    static QString readValue(const CXMLElementPtr &element, OVWSContract::Kind kind, const char *typeName,
                             QJsonValue *value);
    static QString readRecord(const CXMLElementPtr &element, const OVWSContract::Record &record, QJsonValue *value);
    static QString readList(const CXMLElementPtr &element, const OVWSContract::List &list, QJsonValue *value);
};
