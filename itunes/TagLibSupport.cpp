#include "itunes/TagLibSupport.h"

#include <QFile>

#include <taglib/tdebuglistener.h>

#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// TagLib reports every oddity of a damaged file on standard error; a scan of
// someone's music folder should not.
class SilentDebugListener : public TagLib::DebugListener {
public:
    void printMessage(const TagLib::String &) override {}
};

// A stream over a descriptor already checked, named after the file so that
// TagLib can tell the type by its extension.
class RegularFileStream : public TagLib::FileStream {
public:
    RegularFileStream(int descriptor, QByteArray name) : TagLib::FileStream(descriptor, true), m_name(std::move(name)) {}
    TagLib::FileName name() const override { return m_name.constData(); }

private:
    QByteArray m_name;
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

std::unique_ptr<TagLib::FileStream> TagLibSupport::openRegularFile(const QString &path)
{
    QByteArray name = fileName(path);
    // Non-blocking, so that a FIFO is refused by fstat instead of hanging the open.
    const int descriptor = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0)
        return nullptr;
    struct stat info;
    if (::fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(descriptor);
        return nullptr;
    }
    // The stream owns the descriptor from here on.
    auto stream = std::make_unique<RegularFileStream>(descriptor, std::move(name));
    if (!stream->isOpen())
        return nullptr;
    return stream;
}
