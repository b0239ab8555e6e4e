#pragma once

#include <QByteArray>
#include <QString>

namespace Quorvane {

// Page bytes become text with the system's 8-bit encoding; no declared charset is honoured.
QString pageText(const QByteArray &bytes);

} // namespace Quorvane
