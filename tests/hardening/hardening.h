#pragma once

// What the hardening tests share besides the window harness: smaller workloads under the
// sanitizers and snapshots of the files the program keeps.

#include "programharness.h"

#include <QDirIterator>
#include <QMap>

namespace Quorvane::Hardening {

using namespace Quorvane::Harness;

// Sanitizer builds run many times slower: their workloads are smaller, never skipped.
inline bool sanitized()
{
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#endif
#endif
    return qEnvironmentVariableIntValue("QUORVANE_SANITIZED") != 0;
}

// Every entry under folder (relative path -> bytes); a folder reads "<folder>" and an
// unreadable file "<?>", so that a change of kind shows too.
inline QMap<QString, QByteArray> snapshot(const QString &folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        QByteArray bytes = info.isDir() ? QByteArrayLiteral("<folder>") : QByteArray();
        if (info.isFile()) {
            QFile file(path);
            bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArrayLiteral("<?>");
        }
        files.insert(QDir(folder).relativeFilePath(path), bytes);
    }
    return files;
}

inline QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
}

} // namespace Quorvane::Hardening
