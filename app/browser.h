#pragma once

#include <QString>

namespace Quorvane {

// The program path of a shell command text for http addresses: the text between the leading
// double quote and the next one, or the text before the first space. A text without either
// is taken whole; the switches and placeholders after the path are never used.
QString browserProgramFromCommand(const QString &commandText);

// Opens the address in the default web browser. Where the system names a browser command for
// http addresses (Windows), that program is started with the address as its only argument;
// elsewhere, or when no command is named, the desktop's default handler opens it. False when
// nothing could be started.
bool openInBrowser(const QString &address);

// What the user is told when no browser could be started: the address, to copy by hand.
QString addressNotOpenedMessage(const QString &address);

} // namespace Quorvane
