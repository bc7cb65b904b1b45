#pragma once

#include <QString>

#include <stdexcept>

// The failure of a call into a music source (an unreadable file, an element
// index out of range, ...). Adapters catch it; it never leaves the loader.
class MusicSourceError : public std::runtime_error {
public:
    explicit MusicSourceError(const QString &message)
        : std::runtime_error(message.toStdString()), m_message(message) {}

    const QString &message() const { return m_message; }

private:
    QString m_message;
};
