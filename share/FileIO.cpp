#include "share/FileIO.h"

#include "share/TemporaryFile.h"

#include <QByteArray>

#include <cerrno>
#include <unistd.h>

FileIO::~FileIO()
{
    if (m_fileHandle)
        std::fclose(m_fileHandle);
}

int FileIO::fileOpen(const QString &path)
{
    if (m_fileHandle) {
        std::fclose(m_fileHandle);
        m_fileHandle = nullptr;
    }
    m_writeErrno = 0;
    const QByteArray nativePath = path.toUtf8();
    errno = 0;
    m_fileHandle = std::fopen(nativePath.constData(), "we");
    if (!m_fileHandle)
        return errno != 0 ? errno : EIO;
    m_path = path;
    return 0;
}

int FileIO::fileOpenTemporaryFor(const QString &finalPath)
{
    if (m_fileHandle) {
        std::fclose(m_fileHandle);
        m_fileHandle = nullptr;
    }
    m_writeErrno = 0;
    QString path;
    const int descriptor = TemporaryFile::create(finalPath, &path);
    if (descriptor < 0)
        return errno != 0 ? errno : EIO;
    m_fileHandle = ::fdopen(descriptor, "w");
    if (!m_fileHandle) {
        const int failure = errno != 0 ? errno : EIO;
        ::close(descriptor);
        ::unlink(path.toUtf8().constData());
        return failure;
    }
    m_path = path;
    return 0;
}

QByteArray FileIO::utf8WithoutNul(const QString &text)
{
    if (!text.contains(QChar(u'\0')))
        return text.toUtf8();
    QString cleaned = text;
    cleaned.remove(QChar(u'\0'));
    return cleaned.toUtf8();
}

int FileIO::fileWriteString(const QString &text)
{
    if (!m_fileHandle)
        return EOF;
    return fileWriteBytes(utf8WithoutNul(text));
}

int FileIO::fileWriteBytes(QByteArrayView bytes)
{
    if (!m_fileHandle)
        return EOF;
    if (bytes.isEmpty())
        return 0;
    const size_t written = std::fwrite(bytes.data(), 1, size_t(bytes.size()), m_fileHandle);
    if (written != size_t(bytes.size())) {
        if (m_writeErrno == 0)
            m_writeErrno = errno != 0 ? errno : EIO;
        return EOF;
    }
    return int(written);
}

int FileIO::fileSync()
{
    if (!m_fileHandle)
        return EBADF;
    if (std::fflush(m_fileHandle) != 0)
        return errno != 0 ? errno : EIO;
    if (::fsync(fileno(m_fileHandle)) != 0 && errno != EINVAL && errno != EROFS)
        return errno;
    return 0;
}

int FileIO::fileClose()
{
    if (!m_fileHandle)
        return 0;
    errno = 0;
    const int result = std::fclose(m_fileHandle);
    m_fileHandle = nullptr;
    if (result != 0 && m_writeErrno == 0)
        m_writeErrno = errno != 0 ? errno : EIO;
    return result;
}
