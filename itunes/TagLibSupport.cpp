#include "itunes/TagLibSupport.h"

#include <QFile>

#include <taglib/tdebuglistener.h>

#include <mutex>

namespace {

// TagLib reports every oddity of a damaged file on standard error; a scan of
// someone's music folder should not.
class SilentDebugListener : public TagLib::DebugListener {
public:
    void printMessage(const TagLib::String &) override {}
};

} // namespace

QByteArray TagLibSupport::fileName(const QString &path)
{
    static SilentDebugListener listener;
    static std::once_flag installed;
    std::call_once(installed, [] { TagLib::setDebugListener(&listener); });
    return QFile::encodeName(path);
}

QString TagLibSupport::toQString(const TagLib::String &text)
{
    if (text.isEmpty())
        return {};
    const std::string utf8 = text.to8Bit(true);
    return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}
