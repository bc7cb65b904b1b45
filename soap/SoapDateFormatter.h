#pragma once

#include <QDateTime>
#include <QString>

// The one date format of the SOAP runtime: "yyyy-MM-dd'T'HH:mm:ss.SSS" in
// the process's local time without zone, with en_US (ASCII) digits.
// Reading is lenient: fields may have fewer or more digits than the format,
// values beyond a field's range roll over into the next field (month 13 is
// January of the next year), fraction digits beyond milliseconds are
// dropped. Text left over after the milliseconds does not fit.
// Stateless, so one shared instance serves every thread.
class SoapDateFormatter {
public:
    QString locale() const { return QStringLiteral("en_US"); }
    QString dateFormat() const { return QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.SSS"); }
    bool isLenient() const { return true; }

    // Invalid date gives the null text.
    QString stringFromDate(const QDateTime &date) const;
    // An invalid QDateTime when the text does not fit.
    QDateTime dateFromString(const QString &text) const;
};
