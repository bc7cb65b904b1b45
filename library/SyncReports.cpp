#include "library/SyncReports.h"

void SyncReports::syncNotifyTitle(Activity activity, const QString &title) const
{
    Notify notify;
    notify.setActivity(activity);
    notify.setTitle(title);
    deliver(notify);
}

void SyncReports::syncNotifyTitleWithMessage(Activity activity, const QString &title,
                                             const QStringList &messages) const
{
    Notify notify;
    notify.setActivity(activity);
    notify.setTitle(title);
    notify.setMessages(messages);
    deliver(notify);
}

void SyncReports::syncNotifyProgress(Activity activity, const std::optional<QStringList> &messages, int progress,
                                     int maxProgress) const
{
    Notify notify;
    notify.setActivity(activity);
    notify.setMessages(messages);
    notify.setProgress(progress);
    notify.setMaxProgress(maxProgress);
    deliver(notify);
}

void SyncReports::syncNotifyError(const QString &title, const ErrorRecord &error) const
{
    QStringList messages;
    messages.append(QStringLiteral("Error Code: %1").arg(error.code()));
    messages.append(QStringLiteral("Error Domain: %1").arg(error.domain()));
    for (const auto &[key, value] : error.details())
        messages.append(QStringLiteral("%1: %2").arg(key, value.toString()));
    syncNotifyTitleWithMessage(Activity::Error, title, messages);
}

void SyncReports::syncNotifyException(const QString &title, const ExceptionRecord &exception) const
{
    QStringList messages;
    messages.append(QStringLiteral("Exception Name: %1").arg(exception.name()));
    messages.append(QStringLiteral("Exception Reason: %1").arg(exception.reason()));
    for (const auto &[key, value] : exception.details())
        messages.append(QStringLiteral("%1: %2").arg(key, value.toString()));
    syncNotifyTitleWithMessage(Activity::Error, title, messages);
}
