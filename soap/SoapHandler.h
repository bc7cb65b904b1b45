#pragma once

#include <QObject>
#include <QVariant>

// The receiver a request uses when it is given none; each callback takes
// one value and does nothing. A handler of one's own is any QObject with
// invokable one-argument methods taking a QVariant, for example
//     Q_INVOKABLE void onload(const QVariant &result);
//     Q_INVOKABLE void onerror(const QVariant &error);   // ErrorRecord
//     Q_INVOKABLE void onfault(const QVariant &fault);   // SoapFault
// or an action method of any name receiving results, errors and faults.
class SoapHandler : public QObject {
    Q_OBJECT
public:
    explicit SoapHandler(QObject *parent = nullptr) : QObject(parent) {}

    Q_INVOKABLE virtual void onload(const QVariant &value);
    Q_INVOKABLE virtual void onerror(const QVariant &value);
    Q_INVOKABLE virtual void onfault(const QVariant &value);
};
