#include "soap/SoapHandler.h"

void SoapHandler::onload(const QVariant &)
{
}

void SoapHandler::onerror(const QVariant &)
{
}

void SoapHandler::onfault(const QVariant &)
{
}
