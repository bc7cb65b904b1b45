#pragma once

#include "library/Notify.h"
#include "tests/support/ReportSink.h"

#include <QList>
#include <QObject>
#include <QStringList>

// Collects the notifications a library sends.
class NotifyRecorder : public QObject {
    Q_OBJECT
public:
    void onNotify(const Notify &notify) { notifications.append(notify); }
    // The sink to give the library: the notifications arrive on the recorder's thread.
    std::function<void(const Notify &)> sink() { return testsupport::sinkOnThreadOf(this, &NotifyRecorder::onNotify); }

    // Titles of the notifications with this activity, in order.
    QStringList titles(int activity) const
    {
        QStringList result;
        for (const Notify &notify : notifications) {
            if (notify.activity() == activity)
                result.append(notify.title());
        }
        return result;
    }
    QList<Notify> withActivity(int activity) const
    {
        QList<Notify> result;
        for (const Notify &notify : notifications) {
            if (notify.activity() == activity)
                result.append(notify);
        }
        return result;
    }

    QList<Notify> notifications;
};
