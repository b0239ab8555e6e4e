#pragma once

#include <QByteArray>
#include <QString>

namespace Quorvane {

// Replaces the file at `path` with `bytes` in one step: either the earlier file stays whole or
// the complete new one takes its place. Reports, CSV files and chart images all go through it.
// False, with the reason in *error, when the new file could not be written whole.
bool writeFileAtomically(const QString &path, const QByteArray &bytes, QString *error = nullptr);

} // namespace Quorvane
