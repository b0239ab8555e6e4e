#pragma once

#include "sources/market.h"

#include <QList>
#include <QString>

namespace Quorvane {

// A market the Sources window offers: the country's name, its two-letter code (SerpApi's `gl`),
// Google's location code for it (DataForSEO's `location_code`) and its usual language.
struct MarketChoice
{
    QString countryName;
    Market market;
};

const QList<MarketChoice> &marketChoices();
// The stored country and language as a market; the United States in English when the country is
// unknown, and the country's own language when the language is not a two-letter code.
Market marketFor(const QString &countryCode, const QString &languageCode);

} // namespace Quorvane
