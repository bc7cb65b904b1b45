#include "library/CopyAhead.h"

#include "library/FileCopier.h"

#include <unistd.h>

CopyAhead::~CopyAhead()
{
    discard();
    {
        const std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void CopyAhead::start(const QString &sourcePath, const QString &finalPath)
{
    {
        const std::lock_guard lock(m_mutex);
        if (m_copy && m_copy->isOf(sourcePath, finalPath))
            return;
    }
    discard();
    {
        const std::lock_guard lock(m_mutex);
        m_copy = Copy{sourcePath, finalPath, false, false, {}, {}};
    }
    if (!m_thread.joinable())
        m_thread = std::thread([this] { run(); });
    m_changed.notify_all();
}

std::optional<bool> CopyAhead::take(const QString &sourcePath, const QString &finalPath, QString *temporaryPath,
                                    ErrorRecord *error)
{
    std::unique_lock lock(m_mutex);
    if (!m_copy || !m_copy->isOf(sourcePath, finalPath))
        return std::nullopt;
    Copy copy = waitForCopy(lock);
    if (temporaryPath)
        *temporaryPath = copy.temporaryPath;
    if (error)
        *error = copy.error;
    return copy.copied;
}

void CopyAhead::discard()
{
    std::unique_lock lock(m_mutex);
    if (!m_copy)
        return;
    const Copy copy = waitForCopy(lock);
    if (copy.copied)
        ::unlink(copy.temporaryPath.toUtf8().constData());
}

CopyAhead::Copy CopyAhead::waitForCopy(std::unique_lock<std::mutex> &lock)
{
    m_changed.wait(lock, [this] { return m_copy->done; });
    Copy copy = std::move(*m_copy);
    m_copy.reset();
    return copy;
}

void CopyAhead::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_quit || (m_copy && !m_copy->done); });
        if (m_quit)
            return;
        const QString sourcePath = m_copy->sourcePath;
        const QString finalPath = m_copy->finalPath;
        lock.unlock();
        QString temporaryPath;
        ErrorRecord error;
        const bool copied = FileCopier::copyFile(sourcePath, finalPath, &temporaryPath, &error);
        lock.lock();
        m_copy->done = true;
        m_copy->copied = copied;
        m_copy->temporaryPath = temporaryPath;
        m_copy->error = error;
        m_changed.notify_all();
    }
}
