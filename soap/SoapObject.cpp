#include "soap/SoapObject.h"

#include "soap/Soap.h"

SoapObject::~SoapObject() = default;

QString SoapObject::className() const
{
    return QStringLiteral("SoapObject");
}

SoapObjectPtr SoapObject::createWithNode(const CXMLElementPtr &element)
{
    SoapObjectPtr record(new SoapObject());
    record->initWithNode(element);
    return record;
}

void SoapObject::initWithNode(const CXMLElementPtr &)
{
}

QString SoapObject::serialize() const
{
    return QStringLiteral("");
}

QString SoapObject::serialize(const QString &) const
{
    return QStringLiteral("");
}

QString SoapObject::serializeElements() const
{
    return QStringLiteral("");
}

QString SoapObject::serializeAttributes() const
{
    return QStringLiteral("");
}

QVariant SoapObject::object() const
{
    return box(self());
}

bool SoapObject::isEqual(const QVariant &other) const
{
    return unbox(other).data() == this;
}

quint64 SoapObject::hash() const
{
    return Soap::generateHash(*this);
}

QString SoapObject::description() const
{
    return serialize();
}

SoapObjectPtr SoapObject::self() const
{
    return const_cast<SoapObject *>(this)->sharedFromThis();
}

QVariant SoapObject::box(const SoapObjectPtr &record)
{
    if (!record)
        return QVariant();
    return QVariant::fromValue(record);
}

SoapObjectPtr SoapObject::unbox(const QVariant &value)
{
    if (value.metaType() != QMetaType::fromType<SoapObjectPtr>())
        return SoapObjectPtr();
    return value.value<SoapObjectPtr>();
}
