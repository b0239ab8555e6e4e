#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QMap>
#include <QString>
#include <QStringList>

namespace Quorvane::TestSupport {

// The file's bytes; empty when it cannot be read.
QByteArray readAll(const QString &path);
// Writes the whole file; with a valid `modified`, sets its modification time too.
bool writeAll(const QString &path, const QByteArray &bytes, const QDateTime &modified = {});
// Names in the folder, hidden ones included, sorted.
QStringList filesIn(const QString &folder);
// Every value under `group` of an INI file, read straight from the file.
QMap<QString, QString>
iniValues(const QString &fileName,
          const QString &group = QStringLiteral("Software/Quorvane 1.2/Keyword"));

} // namespace Quorvane::TestSupport
