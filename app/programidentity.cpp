#include "app/programidentity.h"

// Resources of a static library are registered by name, outside any namespace.
static void initProgramResources()
{
    Q_INIT_RESOURCE(quorvane);
}

namespace Quorvane {

namespace {

void ensureResources()
{
    static const bool done = (initProgramResources(), true);
    Q_UNUSED(done);
}

} // namespace

QIcon programIcon()
{
    ensureResources();
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128})
        icon.addFile(QStringLiteral(":/quorvane/quorvane-%1.png").arg(size), QSize(size, size));
    return icon;
}

QPixmap programMark()
{
    ensureResources();
    return QPixmap(QStringLiteral(":/quorvane/quorvane-64.png"));
}

} // namespace Quorvane
