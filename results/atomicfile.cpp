#include "results/atomicfile.h"

#include <QSaveFile>

namespace Quorvane {

bool writeFileAtomically(const QString &path, const QByteArray &bytes, QString *error)
{
    QSaveFile file(path);
    // The explicit flush matters: a write that fails only when the buffer is flushed (a full
    // disk) is not seen by commit(), which would then put a cut-short file in place.
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush()
        && file.commit())
        return true;
    if (error)
        *error = file.errorString();
    return false;
}

} // namespace Quorvane
