#pragma once

#include <QString>

// Maker of a library's permanent identifier: a new random UUID as 36
// upper-case hexadecimal characters in groups of 8-4-4-4-12.
class guid {
public:
    guid();

    const QString &uniqueId() const { return m_uniqueId; }
    void setUniqueId(const QString &value) { m_uniqueId = value; }

private:
    QString m_uniqueId;
};
