#include "platform/ProgrammingError.h"

ProgrammingError::ProgrammingError(const QString &message, const QString &operation, const QString &object,
                                   const QString &unit, int line)
    : std::logic_error(QStringLiteral("%1 (%2 in %3:%4, %5)").arg(message, operation, unit).arg(line).arg(object).toStdString()),
      m_message(message), m_operation(operation), m_object(object), m_unit(unit), m_line(line)
{
}
