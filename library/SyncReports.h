#pragma once

#include "library/Activity.h"
#include "library/Notify.h"
#include "platform/ErrorRecord.h"
#include "platform/ExceptionRecord.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// How the engine and the loader report: each helper fills one Notify and
// hands it to the sink, on the thread that reports. Without a sink reports
// are dropped.
class SyncReports {
public:
    // Receives every report, on the thread that makes it.
    using NotifySink = std::function<void(const Notify &)>;

    void setNotifySink(NotifySink sink) { m_notifySink = std::move(sink); }
    // Called before each track's copy: a sink that shows reports after they
    // are made returns once they are shown, so that a stop asked for on
    // seeing a track takes effect before the next one is copied. None: no wait.
    void setCopyBarrier(std::function<void()> barrier) { m_copyBarrier = std::move(barrier); }
    void waitBeforeCopy() const
    {
        if (m_copyBarrier)
            m_copyBarrier();
    }

    void syncNotifyTitle(Activity activity, const QString &title) const;
    void syncNotifyTitleWithMessage(Activity activity, const QString &title, const QStringList &messages) const;
    void syncNotifyProgress(Activity activity, const std::optional<QStringList> &messages, int progress,
                            int maxProgress) const;
    // An Activity::Error listing the code, the domain and each detail.
    void syncNotifyError(const QString &title, const ErrorRecord &error) const;
    // An Activity::Error listing the name, the reason and each detail.
    void syncNotifyException(const QString &title, const ExceptionRecord &exception) const;

private:
    void deliver(const Notify &notify) const
    {
        if (m_notifySink)
            m_notifySink(notify);
    }

    NotifySink m_notifySink;
    std::function<void()> m_copyBarrier;
};
