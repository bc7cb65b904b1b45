#pragma once

#include <QByteArray>
#include <QString>

#include <taglib/tstring.h>

// Small bridges between Qt and TagLib.
class TagLibSupport {
public:
    // File name bytes for TagLib; also silences TagLib's debug output once.
    static QByteArray fileName(const QString &path);
    static QString toQString(const TagLib::String &text);
};
