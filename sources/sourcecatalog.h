#pragma once

#include "sources/market.h"
#include "sources/source.h"

#include <QList>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

namespace Quorvane {

inline const QString ClassicSourceId = QStringLiteral("classic");

// What the user must enter for a source.
enum class KeyKind {
    None, // the classic pages
    LoginAndPassword, // DataForSEO: the API login and password of its dashboard
    ApiKey, // SerpApi: one key
};

// One source the user can choose, with its list prices (USD, as published by the service when
// this was written; the service's own page is authoritative).
struct SourceInfo
{
    QString id;
    QString displayName;
    bool givesSuggestions = false;
    bool givesCounts = false;
    KeyKind keyKind = KeyKind::None;
    QString signUpAddress;
    double keywordTaskPrice = 0; // one keyword ideas task
    double countPrice = 0; // one results page
    int parallelLimit = 1; // count requests in flight
    // Keychain entries that hold what the user entered (empty when not used).
    QString loginEntry;
    QString secretEntry;
};

const QList<SourceInfo> &sourceCatalog();
const SourceInfo *findSource(const QString &id);
bool isPaidSource(const QString &id);
// The ids that can serve a phase, the classic pages first.
QStringList suggestionSourceIds();
QStringList countSourceIds();
// The id when the catalog has it for that phase, otherwise the classic pages.
QString validSuggestionSource(const QString &id);
QString validCountSource(const QString &id);

// What one run costs at list prices: one keywords task and one results page per phrase.
struct RunCost
{
    double dollars = 0;
    int keywordTasks = 0; // paid keyword tasks
    int countRequests = 0; // paid results pages
    bool isPaid() const { return keywordTasks + countRequests > 0; }
};
RunCost estimateRunCost(const QString &suggestionSourceId, const QString &countSourceId,
                        int phrases = MaxSuggestions);
// "$0.28"; amounts under a cent keep three decimals.
QString dollarsText(double dollars);

// Whether a paid run asks first: always when asking is on, unless it costs under the threshold.
bool asksBeforeRun(const RunCost &cost, bool askBeforePaidRuns, double askUnlessUnderDollars);
// The question before a paid run: what it will cost, the balance where known, and that the
// report is reused free for the rest of the month.
QString costQuestion(const QString &keyword, const QString &suggestionSourceId,
                     const QString &countSourceId, const RunCost &cost,
                     std::optional<double> balance = std::nullopt);
// The status line after a paid run.
QString costSpentText(double dollars);

// The base address of an API source (its environment variable, or the service's own).
QUrl sourceBaseAddress(const QString &id);

// The API sources, made for a run; nothing for the classic pages or an unknown id.
std::unique_ptr<SuggestionSource> makeApiSuggestionSource(const QString &id,
                                                          const SourceCredentials &credentials,
                                                          const Market &market);
std::unique_ptr<CountSource>
makeApiCountSource(const QString &id, const SourceCredentials &credentials, const Market &market);

// "Test": one cheap authenticated call that shows the balance or searches left, or why not.
struct AccountState
{
    SourceVerdict verdict;
    std::optional<double> balance; // DataForSEO, USD
    std::optional<qint64> searchesLeft; // SerpApi
};
std::optional<SourceRequest>
accountCheckRequest(const QString &id, const SourceCredentials &credentials, const QUrl &base);
AccountState readAccountCheck(const QString &id, const FetchOutcome &outcome,
                              const QString &secret = {});
// "DataForSEO answers: the balance is $12.34." or the failure's words.
QString accountStateText(const QString &id, const AccountState &state);

} // namespace Quorvane
