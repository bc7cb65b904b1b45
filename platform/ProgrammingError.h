#pragma once

#include <QString>

#include <stdexcept>

// Thrown for misuse that is a bug in the caller (never for bad input):
// carries the message, the operation, a description of the object, the
// source unit and the line where it was raised.
class ProgrammingError : public std::logic_error {
public:
    ProgrammingError(const QString &message, const QString &operation, const QString &object,
                     const QString &unit, int line);

    const QString &message() const { return m_message; }
    const QString &operation() const { return m_operation; }
    const QString &object() const { return m_object; }
    const QString &unit() const { return m_unit; }
    int line() const { return m_line; }

private:
    QString m_message;
    QString m_operation;
    QString m_object;
    QString m_unit;
    int m_line;
};

// Raises a ProgrammingError from the current function and line.
#define ORVANA_PROGRAMMING_ERROR(message, object, unit) \
    throw ProgrammingError((message), QString::fromUtf8(__func__), (object), QStringLiteral(unit), __LINE__)
