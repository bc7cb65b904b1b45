#include "library/guid.h"

#include <QUuid>

guid::guid()
    : m_uniqueId(QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper())
{
}
