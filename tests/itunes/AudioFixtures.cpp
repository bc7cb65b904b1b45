#include "tests/itunes/AudioFixtures.h"

#include "tests/support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

QString AudioFixtures::path(const QString &name)
{
    return testsupport::sourcePath(QStringLiteral("tests/itunes/data/") + name);
}

void AudioFixtures::copy(const QString &name, const QString &destination)
{
    QDir().mkpath(QFileInfo(destination).absolutePath());
    QFile::remove(destination);
    if (!QFile::copy(path(name), destination))
        ADD_FAILURE() << "cannot copy fixture " << name.toStdString() << " to " << destination.toStdString();
}
