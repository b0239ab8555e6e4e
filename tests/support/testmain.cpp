#include "tests/support/testmain.h"

#include <QCoreApplication>

namespace Quorvane::TestSupport {

namespace {
const QString HelperOption = QStringLiteral("--helper");
}

std::optional<int> runHelperMode(const QStringList &commandLine, const HelperModes &modes)
{
    if (commandLine.size() < 3 || commandLine.at(1) != HelperOption)
        return std::nullopt;
    const HelperMode mode = modes.value(commandLine.at(2));
    if (!mode) {
        qCritical("no helper mode %s", qPrintable(commandLine.at(2)));
        return 2;
    }
    return mode(commandLine.mid(3));
}

void startHelper(QProcess &process, const QString &name, const QStringList &arguments)
{
    process.start(QCoreApplication::applicationFilePath(),
                  QStringList {HelperOption, name} + arguments);
}

} // namespace Quorvane::TestSupport
