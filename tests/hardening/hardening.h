#pragma once

#include "loopbackservices.h"
#include "programharness.h"
#include "reportfile.h"
#include "testfiles.h"
#include "testmain.h"

#include <QApplication>
#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>

using namespace Quorvane;
using namespace Quorvane::Harness;
using namespace Quorvane::TestSupport;
using namespace Qt::StringLiterals;
using Ending = Quorvane::FetchQueue::Ending;

// Sanitizer builds run many times slower: smaller workloads, never skipped.
inline bool sanitized()
{
    return qEnvironmentVariableIntValue("QUORVANE_SANITIZED") != 0;
}

// Every entry under folder (relative path -> bytes), a folder as "<folder>", so that a change
// of kind shows too. Only regular files are opened: a FIFO would block the read.
inline QMap<QString, QByteArray> snapshot(const QString &folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        files.insert(QDir(folder).relativeFilePath(path),
                     info.isDir()        ? QByteArrayLiteral("<folder>")
                         : info.isFile() ? readAll(path)
                                         : QByteArray());
    }
    return files;
}
