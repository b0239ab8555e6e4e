#pragma once

#include "results/plaintext.h"

#include <QString>
#include <QStringView>

namespace Quorvane {

// Removes every tag from a piece of page text; a tag reading exactly "br" (any case) becomes
// one space. A "<" without a ">" after it stays with everything that follows it.
QString stripTags(QStringView text);

// Lower case one UTF-16 unit at a time, so that every position of the result matches the
// same position of the input.
QString lowerCase(QStringView text);

} // namespace Quorvane
