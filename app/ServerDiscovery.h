#pragma once

#include "app/OVServiceInfo.h"

#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <memory>

class ServiceBrowser;

// The discovered music servers and the server choice built from them: every
// service found is kept in svcBrowserList() and resolved; only servers with
// an IPv4 address are offered, after the first entry "Select server using
// IP Address"; the stored server is preselected by name, ignoring letter
// case, unless the address was chosen. Everything runs on the main thread.
class ServerDiscovery : public QObject {
    Q_OBJECT

public:
    static const QString ServiceType;   // "_orvana_ws._tcp."
    static const QString ServiceDomain; // "local."
    static const QString SelectByAddressEntry; // "Select server using IP Address"
    static constexpr int resolveTimeoutMs = 10000;

    explicit ServerDiscovery(QObject *parent = nullptr);
    ~ServerDiscovery() override;

    // Takes the browser and starts browsing; stopBrowsing() ends it.
    void startBrowsing(std::unique_ptr<ServiceBrowser> browser);
    void stopBrowsing();
    bool isBrowsing() const { return m_svcBrowser != nullptr; }
    // Why browsing does not work at the moment; null when it does.
    const QString &unavailableReason() const { return m_unavailableReason; }
    // The browser has reported every service known so far, and each one has
    // resolved or failed.
    bool settled() const { return m_allForNow && m_resolving.isEmpty(); }

    QMap<QString, OVServiceInfo> &svcBrowserList() { return m_svcBrowserList; }
    const QMap<QString, OVServiceInfo> &svcBrowserList() const { return m_svcBrowserList; }
    // The first IPv4 address of a listed server, by exact name; null if none.
    QString firstAddress(const QString &name) const;
    // The listed server whose name equals name ignoring letter case (the
    // last in the list's order, as the preselection); null if none.
    QString matchingServerName(const QString &name) const;

    // The name of the server chosen last time ("MusicServerName").
    void setMusicServerName(const QString &name) { m_musicServerName = name; }
    const QString &musicServerName() const { return m_musicServerName; }

    // true while entry 0 is selected: the address field is in use.
    bool selectByIPAddress() const { return m_selectByIPAddress; }
    // The value to store as "SelectByIPAddress": whether the address was
    // chosen (by the user, or restored), not merely fallen back to because
    // the stored server had not resolved yet.
    bool selectByIPAddressToSave() const { return m_addressChosen; }
    // The stored "SelectByIPAddress", at start-up.
    void restoreSelectByIPAddress(bool value);
    // The user picked an entry (-1: none). A server picked becomes the one
    // preselected by later rebuilds; entry 0 keeps them on entry 0. The entry
    // a rebuild has just selected changes nothing.
    void comboBoxSelectionDidChange(int index, const QString &text);

    const QStringList &entries() const { return m_entries; }
    int selectedIndex() const { return m_selectedIndex; }

    // Developer trace of resolved addresses ("IP Address = ..."), standard
    // output by default; null for none.
    void setTraceOutput(FILE *out) { m_trace = out; }

    // The browser's reports.
    void netServiceBrowserDidFindService(const QString &name);
    void netServiceBrowserDidRemoveService(const QString &name);
    void netServiceDidResolveAddress(const QString &name, const QList<QByteArray> &addresses);
    void netServiceDidNotResolve(const QString &name);
    // Rebuilds the entries and selects one (serverEntriesChanged).
    void updateOrvanaMusicServersDiscovered();

Q_SIGNALS:
    // After every rebuild; entries[0] is always the address entry.
    void serverEntriesChanged(const QStringList &entries, int selectedIndex);
    void selectByIPAddressChanged(bool value);
    // Once per outage of the browser.
    void discoveryUnavailable(const QString &reason);
    // settled() has become true.
    void discoverySettled();

private:
    void applySelection(int index);
    void setSelectByIPAddress(bool value);
    void noteResolutionOver(const QString &name);

    std::unique_ptr<ServiceBrowser> m_svcBrowser;
    QMap<QString, OVServiceInfo> m_svcBrowserList;
    QSet<QString> m_resolving;
    bool m_allForNow = false;
    QString m_unavailableReason;
    QString m_musicServerName;
    bool m_selectByIPAddress = false;
    bool m_addressChosen = false;
    QStringList m_entries{SelectByAddressEntry};
    int m_selectedIndex = 0;
    FILE *m_trace = stdout;
};
