#pragma once

#include "library/Activity.h"

#include <QMetaType>
#include <QString>
#include <QStringList>

#include <optional>

// A progress, log or error report of the engine or the loader, handed to the
// user interface. activity is the contract: the code of an Activity
// (library/Activity.h), 0 to 11.
class Notify {
public:
    Notify() = default;

    int activity() const { return m_activity; }
    void setActivity(int value) { m_activity = value; }
    void setActivity(Activity value) { m_activity = int(value); }
    bool is(Activity value) const { return m_activity == int(value); }
    // Detail lines, or none.
    const std::optional<QStringList> &messages() const { return m_messages; }
    void setMessages(const std::optional<QStringList> &value) { m_messages = value; }
    // Main text, or none (a null QString).
    const QString &title() const { return m_title; }
    void setTitle(const QString &value) { m_title = value; }
    // Declared for the receiver; no sender sets it.
    bool processing() const { return m_processing; }
    void setProcessing(bool value) { m_processing = value; }
    int progress() const { return m_progress; }
    void setProgress(int value) { m_progress = value; }
    int maxProgress() const { return m_maxProgress; }
    void setMaxProgress(int value) { m_maxProgress = value; }

    bool operator==(const Notify &other) const = default;

private:
    int m_activity = 0;
    std::optional<QStringList> m_messages;
    QString m_title;
    bool m_processing = false;
    int m_progress = 0;
    int m_maxProgress = 0;
};

Q_DECLARE_METATYPE(Notify)
