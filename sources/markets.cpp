#include "sources/markets.h"

#include <QRegularExpression>

namespace Quorvane {

const QList<MarketChoice> &marketChoices()
{
    // Google's location codes are 2000 plus the country's ISO 3166 number.
    static const QList<MarketChoice> choices = {
        {QStringLiteral("United States"), {QStringLiteral("US"), QStringLiteral("en"), 2840}},
        {QStringLiteral("United Kingdom"), {QStringLiteral("GB"), QStringLiteral("en"), 2826}},
        {QStringLiteral("Canada"), {QStringLiteral("CA"), QStringLiteral("en"), 2124}},
        {QStringLiteral("Australia"), {QStringLiteral("AU"), QStringLiteral("en"), 2036}},
        {QStringLiteral("India"), {QStringLiteral("IN"), QStringLiteral("en"), 2356}},
        {QStringLiteral("Ireland"), {QStringLiteral("IE"), QStringLiteral("en"), 2372}},
        {QStringLiteral("Germany"), {QStringLiteral("DE"), QStringLiteral("de"), 2276}},
        {QStringLiteral("Austria"), {QStringLiteral("AT"), QStringLiteral("de"), 2040}},
        {QStringLiteral("France"), {QStringLiteral("FR"), QStringLiteral("fr"), 2250}},
        {QStringLiteral("Spain"), {QStringLiteral("ES"), QStringLiteral("es"), 2724}},
        {QStringLiteral("Mexico"), {QStringLiteral("MX"), QStringLiteral("es"), 2484}},
        {QStringLiteral("Italy"), {QStringLiteral("IT"), QStringLiteral("it"), 2380}},
        {QStringLiteral("Netherlands"), {QStringLiteral("NL"), QStringLiteral("nl"), 2528}},
        {QStringLiteral("Brazil"), {QStringLiteral("BR"), QStringLiteral("pt"), 2076}},
        {QStringLiteral("Poland"), {QStringLiteral("PL"), QStringLiteral("pl"), 2616}},
        {QStringLiteral("Sweden"), {QStringLiteral("SE"), QStringLiteral("sv"), 2752}},
    };
    return choices;
}

Market marketFor(const QString &countryCode, const QString &languageCode)
{
    static const QRegularExpression twoLetters(QStringLiteral("^[a-z]{2}$"));
    const QString country = countryCode.trimmed().toUpper();
    for (const MarketChoice &choice : marketChoices()) {
        if (choice.market.countryCode == country) {
            Market market = choice.market;
            const QString language = languageCode.trimmed().toLower();
            if (twoLetters.match(language).hasMatch())
                market.languageCode = language;
            return market;
        }
    }
    return Market {};
}

} // namespace Quorvane
