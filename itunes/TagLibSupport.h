#pragma once

#include <QByteArray>
#include <QString>

#include <taglib/tfilestream.h>
#include <taglib/tstring.h>

#include <memory>

// Small bridges between Qt and TagLib.
class TagLibSupport {
public:
    // File name bytes for TagLib; also silences TagLib's debug output once.
    static QByteArray fileName(const QString &path);
    static QString toQString(const TagLib::String &text);
    // A read-only stream over the regular file at path, for TagLib::FileRef
    // (which then tells the type by the path's extension); null for a
    // missing file and for anything that is not a regular file (a FIFO, a
    // device, a folder), which is refused without waiting on it.
    static std::unique_ptr<TagLib::FileStream> openRegularFile(const QString &path);
};
