#pragma once

#include <QByteArray>
#include <QString>

namespace testsupport {

QByteArray readFile(const QString &path);
void writeFile(const QString &path, const QByteArray &bytes);
// Path of a file under the source tree, e.g. sourcePath("tests/xml/data/a.xml").
QString sourcePath(const QString &relative);

} // namespace testsupport
