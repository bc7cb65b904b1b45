#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QVariant>

// Receives what requests deliver and remembers through which callback.
class ServiceTestHandler : public QObject
{
    Q_OBJECT

public:
    struct Delivery
    {
        QByteArray callback; // "onload", "onerror", "onfault" or "onResult"
        QVariant value;
    };

    QList<Delivery> deliveries;

    // Runs the event loop until count deliveries arrived, or the time is up.
    bool waitFor(qsizetype count, int timeoutMs = 10000);

    Q_INVOKABLE void onload(const QVariant &value) { deliveries.append({"onload", value}); }
    Q_INVOKABLE void onerror(const QVariant &value) { deliveries.append({"onerror", value}); }
    Q_INVOKABLE void onfault(const QVariant &value) { deliveries.append({"onfault", value}); }
    Q_INVOKABLE void onResult(const QVariant &value) { deliveries.append({"onResult", value}); }
};
