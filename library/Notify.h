#pragma once

#include <QMetaType>
#include <QString>
#include <QStringList>

#include <optional>

// A progress, log or error report of the engine or the loader, handed to the
// user interface. activity is the contract (codes 0 to 11):
//  0 ready (never sent by the engine)      6 a sync stage starts
//  1 a log line (title)                    7 a track is about to be listed or copied
//  2 an error (title, messages)            8 a selected playlist is taken up (title)
//  3 a loading stage starts (title)        9 an album cover is about to be examined
//  4 import progress                      10 a file section has been produced (title)
//  5 a loading stage ends (title)         11 a file read finished without error (title)
class Notify {
public:
    Notify() = default;

    int activity() const { return m_activity; }
    void setActivity(int value) { m_activity = value; }
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
