#include "browser.h"

#include <QDesktopServices>
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

void openInBrowser(const QString &address)
{
#ifdef Q_OS_WIN
    const QSettings command(QStringLiteral("HKEY_CLASSES_ROOT\\http\\shell\\open\\command"),
                            QSettings::NativeFormat);
    const QString program =
        BrowserProgramFromCommand(command.value(QStringLiteral("Default")).toString());
    if (!program.isEmpty() && QProcess::startDetached(program, {address}))
        return;
#endif
    QDesktopServices::openUrl(QUrl(address));
}

} // namespace Quorvane
