#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantMap>

// Endpoint settings shared by every request of a service proxy. Handlers
// are QObjects owned by the caller; a handler deleted before a callback
// simply receives nothing.
class SoapService {
public:
    SoapService() = default;
    explicit SoapService(const QString &serviceUrl) : m_serviceUrl(serviceUrl) {}
    SoapService(const QString &username, const QString &password) : m_username(username), m_password(password) {}
    virtual ~SoapService();

    const QString &serviceUrl() const { return m_serviceUrl; }
    void setServiceUrl(const QString &value) { m_serviceUrl = value; }
    // The service namespace written into the envelope ("namespace" is a
    // C++ keyword).
    const QString &serviceNamespace() const { return m_serviceNamespace; }
    void setServiceNamespace(const QString &value) { m_serviceNamespace = value; }
    const QString &username() const { return m_username; }
    void setUsername(const QString &value) { m_username = value; }
    const QString &password() const { return m_password; }
    void setPassword(const QString &value) { m_password = value; }
    // SOAP header entries (empty: no header block).
    const QVariantMap &headers() const { return m_headers; }
    void setHeaders(const QVariantMap &value) { m_headers = value; }
    bool logging() const { return m_logging; }
    void setLogging(bool value) { m_logging = value; }
    // Receiver of results and errors the request's own handler does not take.
    QObject *defaultHandler() const { return m_defaultHandler.data(); }
    void setDefaultHandler(QObject *value) { m_defaultHandler = value; }

private:
    QString m_serviceUrl;
    QString m_serviceNamespace;
    QString m_username;
    QString m_password;
    QVariantMap m_headers;
    bool m_logging = false;
    QPointer<QObject> m_defaultHandler;
};
