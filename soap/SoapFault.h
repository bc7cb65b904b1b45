#pragma once

#include "xml/CXMLDocument.h"
#include "xml/CXMLElement.h"

#include <QByteArray>
#include <QMetaType>
#include <QString>


// A SOAP fault read from a response. A fresh fault has every text null and
// hasFault false; hasFault is true once a Fault element has been read.
class SoapFault {
public:
    SoapFault() = default;

    // Parses bytes; a body that is not XML gives a fault with hasFault false.
    static SoapFault faultWithData(const QByteArray &data);
    // The first Fault element below the root: a direct child of the root
    // first, then depth-first. Found by the plain name "Fault" and also by
    // the local name Fault in the SOAP envelope namespace whatever its prefix,
    // so a "s:Fault" is never taken for a result.
    static SoapFault faultWithXMLDocument(const CXMLDocumentPtr &document);
    // Reads faultcode, faultstring, faultactor and detail (each null when
    // absent); a null element gives a fault with hasFault false.
    static SoapFault faultWithXMLElement(const CXMLElementPtr &element);

    const QString &faultCode() const { return m_faultCode; }
    void setFaultCode(const QString &value) { m_faultCode = value; }
    const QString &faultString() const { return m_faultString; }
    void setFaultString(const QString &value) { m_faultString = value; }
    const QString &faultActor() const { return m_faultActor; }
    void setFaultActor(const QString &value) { m_faultActor = value; }
    const QString &detail() const { return m_detail; }
    void setDetail(const QString &value) { m_detail = value; }
    bool hasFault() const { return m_hasFault; }
    void setHasFault(bool value) { m_hasFault = value; }

    // "<faultCode> <faultString>\n<detail>", a null field as "(null)";
    // null when there is no fault.
    QString description() const;

    bool operator==(const SoapFault &other) const = default;

private:
    QString m_faultCode;
    QString m_faultString;
    QString m_faultActor;
    QString m_detail;
    bool m_hasFault = false;
};

Q_DECLARE_METATYPE(SoapFault)
