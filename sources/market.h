#pragma once

#include <QString>

namespace Quorvane {

// Where the API sources ask: the country and language of the figures. The default matches the
// classic pages, which ask in English for the United States.
struct Market
{
    QString countryCode = "US";
    QString languageCode = "en";
    int locationCode = 2840;
};

} // namespace Quorvane
