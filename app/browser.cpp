#include "app/browser.h"

#include <QDesktopServices>
#include <QOperatingSystemVersion>
#include <QProcess>
#include <QSettings>
#include <QUrl>

namespace Quorvane {

QString browserProgramFromCommand(const QString &commandText)
{
    if (commandText.startsWith(QLatin1Char('"'))) {
        const qsizetype close = commandText.indexOf(QLatin1Char('"'), 1);
        // A quote that is never closed: the rest of the text is the path.
        return close < 0 ? commandText.mid(1) : commandText.mid(1, close - 1);
    }
    const qsizetype space = commandText.indexOf(QLatin1Char(' '));
    return space < 0 ? commandText : commandText.left(space);
}

bool openInBrowser(const QString &address)
{
    // Chosen at compile time but compiled everywhere, so the Windows path is checked on every
    // build.
    if constexpr (QOperatingSystemVersion::currentType() == QOperatingSystemVersion::Windows) {
        const QSettings registry(QStringLiteral("HKEY_CLASSES_ROOT\\http\\shell\\open\\command"),
                                 QSettings::NativeFormat);
        const QString program =
            browserProgramFromCommand(registry.value(QStringLiteral("Default")).toString());
        if (!program.isEmpty() && QProcess::startDetached(program, {address}))
            return true;
    }
    return QDesktopServices::openUrl(QUrl(address));
}

QString addressNotOpenedMessage(const QString &address)
{
    return QStringLiteral("No web browser could be started for this address:\r\n\r\n") + address
        + QStringLiteral("\r\n\r\nCopy it into a browser to open it.");
}

} // namespace Quorvane
