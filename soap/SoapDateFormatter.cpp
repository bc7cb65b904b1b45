#include "soap/SoapDateFormatter.h"

#include <QDate>
#include <QTime>

namespace {

// Reads up to maxDigits ASCII digits at position; false when there is none.
bool readNumber(const QString &text, qsizetype &position, int maxDigits, qint64 &value, int *digitCount = nullptr)
{
    value = 0;
    int count = 0;
    while (position < text.size() && count < maxDigits) {
        const QChar character = text.at(position);
        if (character < u'0' || character > u'9')
            break;
        value = value * 10 + (character.unicode() - u'0');
        ++position;
        ++count;
    }
    if (digitCount)
        *digitCount = count;
    return count > 0;
}

bool expect(const QString &text, qsizetype &position, char16_t separator)
{
    if (position >= text.size() || text.at(position) != separator)
        return false;
    ++position;
    return true;
}

void appendPadded(QString &text, qint64 value, int width)
{
    if (value < 0) {
        text.append(u'-');
        value = -value;
    }
    const QString digits = QString::number(value);
    for (qsizetype i = digits.size(); i < width; ++i)
        text.append(u'0');
    text.append(digits);
}

} // namespace

QString SoapDateFormatter::stringFromDate(const QDateTime &date) const
{
    if (!date.isValid())
        return QString();
    const QDateTime local = date.toLocalTime();
    const QDate day = local.date();
    const QTime time = local.time();
    QString text;
    text.reserve(23);
    appendPadded(text, day.year(), 4);
    text.append(u'-');
    appendPadded(text, day.month(), 2);
    text.append(u'-');
    appendPadded(text, day.day(), 2);
    text.append(u'T');
    appendPadded(text, time.hour(), 2);
    text.append(u':');
    appendPadded(text, time.minute(), 2);
    text.append(u':');
    appendPadded(text, time.second(), 2);
    text.append(u'.');
    appendPadded(text, time.msec(), 3);
    return text;
}

QDateTime SoapDateFormatter::dateFromString(const QString &text) const
{
    qsizetype position = 0;
    while (position < text.size() && text.at(position).isSpace())
        ++position;
    qint64 year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, fraction = 0;
    int fractionDigits = 0;
    // Nine digits at most per field keeps every sum far from overflow.
    if (!readNumber(text, position, 9, year) || !expect(text, position, u'-') ||
        !readNumber(text, position, 9, month) || !expect(text, position, u'-') ||
        !readNumber(text, position, 9, day) || !expect(text, position, u'T') ||
        !readNumber(text, position, 9, hour) || !expect(text, position, u':') ||
        !readNumber(text, position, 9, minute) || !expect(text, position, u':') ||
        !readNumber(text, position, 9, second) || !expect(text, position, u'.') ||
        !readNumber(text, position, 9, fraction, &fractionDigits))
        return QDateTime();
    // Digits beyond the milliseconds are dropped.
    while (position < text.size() && text.at(position) >= u'0' && text.at(position) <= u'9')
        ++position;
    while (position < text.size() && text.at(position).isSpace())
        ++position;
    if (position != text.size())
        return QDateTime();
    qint64 milliseconds = fraction;
    for (int digits = fractionDigits; digits < 3; ++digits)
        milliseconds *= 10;
    for (int digits = fractionDigits; digits > 3; --digits)
        milliseconds /= 10;
    if (year < 1 || year > 999999)
        return QDateTime();
    // Lenient: out-of-range fields roll over into the larger ones.
    const QDate base = QDate(static_cast<int>(year), 1, 1).addMonths(month - 1).addDays(day - 1);
    if (!base.isValid())
        return QDateTime();
    const qint64 totalMilliseconds = ((hour * 60 + minute) * 60 + second) * 1000 + milliseconds;
    const qint64 dayMilliseconds = qint64(24) * 60 * 60 * 1000;
    const QDate date = base.addDays(totalMilliseconds / dayMilliseconds);
    const QTime time = QTime::fromMSecsSinceStartOfDay(static_cast<int>(totalMilliseconds % dayMilliseconds));
    const QDateTime result(date, time, Qt::LocalTime);
    return result.isValid() ? result : QDateTime();
}
