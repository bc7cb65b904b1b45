#pragma once

#include <QMetaType>

// An explicit null among request values: a dictionary entry holding a
// SoapNil is written as an element with xsi:nil="true".
class SoapNil {
public:
    bool operator==(const SoapNil &) const { return true; }
};

Q_DECLARE_METATYPE(SoapNil)
