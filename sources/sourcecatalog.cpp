#include "sources/sourcecatalog.h"

#include "sources/dataforseo.h"
#include "sources/serpapi.h"

#include <QLocale>

#include <cmath>

namespace Quorvane {

const QList<SourceInfo> &sourceCatalog()
{
    static const QList<SourceInfo> catalog = {
        {ClassicSourceId, QStringLiteral("Classic pages"), true, true, KeyKind::None, QString(), 0,
         0, 1, QString(), QString()},
        // Google Ads keyword ideas, live: $0.075 a task. Live organic results page: $0.002.
        {DataForSeo::Id, DataForSeo::Name, true, true, KeyKind::LoginAndPassword,
         QStringLiteral("https://app.dataforseo.com/register"), 0.075, 0.002,
         DataForSeoSource::ParallelLimit, QStringLiteral("DataForSEO login"),
         QStringLiteral("DataForSEO password")},
        // Searches come from a monthly plan; the Developer plan's $75 for 5,000 searches is
        // $0.015 a search.
        {SerpApi::Id, SerpApi::Name, false, true, KeyKind::ApiKey,
         QStringLiteral("https://serpapi.com/users/sign_up"), 0, 0.015,
         SerpApiSource::ParallelLimit, QString(), QStringLiteral("SerpApi API key")},
    };
    return catalog;
}

const SourceInfo *findSource(const QString &id)
{
    for (const SourceInfo &info : sourceCatalog()) {
        if (info.id == id)
            return &info;
    }
    return nullptr;
}

bool isPaidSource(const QString &id)
{
    const SourceInfo *info = findSource(id);
    return info && info->keyKind != KeyKind::None;
}

QStringList suggestionSourceIds()
{
    QStringList ids;
    for (const SourceInfo &info : sourceCatalog()) {
        if (info.givesSuggestions)
            ids << info.id;
    }
    return ids;
}

QStringList countSourceIds()
{
    QStringList ids;
    for (const SourceInfo &info : sourceCatalog()) {
        if (info.givesCounts)
            ids << info.id;
    }
    return ids;
}

QString validSuggestionSource(const QString &id)
{
    return suggestionSourceIds().contains(id) ? id : ClassicSourceId;
}

QString validCountSource(const QString &id)
{
    return countSourceIds().contains(id) ? id : ClassicSourceId;
}

RunCost estimateRunCost(const QString &suggestionSourceId, const QString &countSourceId,
                        int phrases)
{
    RunCost cost;
    if (const SourceInfo *info = findSource(suggestionSourceId);
        info && info->givesSuggestions && info->keyKind != KeyKind::None) {
        cost.keywordTasks = 1;
        cost.dollars += info->keywordTaskPrice;
    }
    if (const SourceInfo *info = findSource(countSourceId);
        info && info->givesCounts && info->keyKind != KeyKind::None) {
        cost.countRequests = qMax(phrases, 0);
        cost.dollars += info->countPrice * cost.countRequests;
    }
    return cost;
}

QString dollarsText(double dollars)
{
    const double cents = dollars * 100;
    const bool wholeCents = std::abs(cents - std::round(cents)) < 1e-6;
    return QLatin1Char('$') + QLocale::c().toString(dollars, 'f', wholeCents ? 2 : 3);
}

bool asksBeforeRun(const RunCost &cost, bool askBeforePaidRuns, double askUnlessUnderDollars)
{
    if (!cost.isPaid() || !askBeforePaidRuns)
        return false;
    return !(cost.dollars < askUnlessUnderDollars);
}

QString costQuestion(const QString &keyword, const QString &suggestionSourceId,
                     const QString &countSourceId, const RunCost &cost,
                     std::optional<double> balance)
{
    QStringList parts;
    const SourceInfo *suggestions = findSource(suggestionSourceId);
    const SourceInfo *counts = findSource(countSourceId);
    if (cost.keywordTasks > 0 && suggestions)
        parts << QStringLiteral("one keyword ideas task from %1 (%2)")
                     .arg(suggestions->displayName, dollarsText(suggestions->keywordTaskPrice));
    if (cost.countRequests > 0 && counts)
        parts << QStringLiteral("up to %1 results pages from %2 (%3 each)")
                     .arg(cost.countRequests)
                     .arg(counts->displayName, dollarsText(counts->countPrice));
    QString text = QStringLiteral("Suggestions for \"%1\" will cost up to %2 at list prices: %3.")
                       .arg(keyword, dollarsText(cost.dollars), parts.join(QLatin1String(" and ")));
    if (balance)
        text += QStringLiteral(" The balance is %1.").arg(dollarsText(*balance));
    text += QStringLiteral(" The report is then reused free for the rest of the month.\n\nGo on?");
    return text;
}

QString costSpentText(double dollars)
{
    return QStringLiteral("This run cost %1.").arg(dollarsText(dollars));
}

QUrl sourceBaseAddress(const QString &id)
{
    if (id == DataForSeo::Id)
        return DataForSeo::baseAddress();
    if (id == SerpApi::Id)
        return SerpApi::baseAddress();
    return {};
}

std::unique_ptr<SuggestionSource> makeApiSuggestionSource(const QString &id,
                                                          const SourceCredentials &credentials,
                                                          const Market &market)
{
    if (id == DataForSeo::Id)
        return std::make_unique<DataForSeoSource>(credentials, market);
    return nullptr;
}

std::unique_ptr<CountSource>
makeApiCountSource(const QString &id, const SourceCredentials &credentials, const Market &market)
{
    if (id == DataForSeo::Id)
        return std::make_unique<DataForSeoSource>(credentials, market);
    if (id == SerpApi::Id)
        return std::make_unique<SerpApiSource>(credentials.secret, market);
    return nullptr;
}

std::optional<SourceRequest>
accountCheckRequest(const QString &id, const SourceCredentials &credentials, const QUrl &base)
{
    // Both calls are free of charge.
    if (id == DataForSeo::Id)
        return DataForSeo::userDataRequest(base, credentials);
    if (id == SerpApi::Id)
        return SerpApi::accountRequest(base, credentials.secret);
    return std::nullopt;
}

AccountState readAccountCheck(const QString &id, const FetchOutcome &outcome, const QString &secret)
{
    AccountState state;
    if (id == DataForSeo::Id)
        state.verdict = DataForSeo::readUserData(outcome, state.balance, secret);
    else if (id == SerpApi::Id)
        state.verdict = SerpApi::readAccount(outcome, state.searchesLeft, secret);
    return state;
}

QString accountStateText(const QString &id, const AccountState &state)
{
    if (state.verdict.failure != SourceFailure::None)
        return state.verdict.message;
    const SourceInfo *info = findSource(id);
    const QString name = info ? info->displayName : id;
    if (state.balance)
        return QStringLiteral("%1 answers: the balance is %2.")
            .arg(name, dollarsText(*state.balance));
    if (state.searchesLeft)
        return QStringLiteral("%1 answers: %2 searches left.")
            .arg(name,
                 QLocale(QLocale::English, QLocale::UnitedStates).toString(*state.searchesLeft));
    return QStringLiteral("%1 answers.").arg(name);
}

} // namespace Quorvane
