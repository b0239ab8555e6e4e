#include "tests/support/testfiles.h"

#include <QDir>
#include <QFile>
#include <QSettings>

namespace Quorvane::TestSupport {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString &path, const QByteArray &bytes, const QDateTime &modified)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return false;
    // Flushed first: a later flush would move the time again.
    return !modified.isValid()
        || (file.flush() && file.setFileTime(modified, QFileDevice::FileModificationTime));
}

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                                  QDir::Name);
}

QMap<QString, QString> iniValues(const QString &fileName, const QString &group)
{
    QSettings settings(fileName, QSettings::IniFormat);
    settings.beginGroup(group);
    QMap<QString, QString> values;
    for (const QString &key : settings.allKeys())
        values.insert(key, settings.value(key).toString());
    return values;
}

} // namespace Quorvane::TestSupport
