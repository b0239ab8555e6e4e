#pragma once

#include "fetch/fetchrequest.h"
#include "fetch/pageparsers.h"
#include "results/seasons.h"
#include "results/suggestiontable.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>
#include <optional>
#include <utility>

namespace Quorvane {

enum class SourceFailure {
    None,
    NoAnswer,
    KeyRefused,
    NoFunds,
    RateLimited,
    TaskFailed,
    Malformed
};

struct SourceVerdict
{
    SourceFailure failure = SourceFailure::None;
    QString message; // words for the user when failure != None (names the source; never a key)
    double cost = 0; // what the service charged for this answer (sum of its tasks' `cost`), 0 when
                     // free/unknown
    std::optional<std::chrono::seconds> retryAfter;
};

using StatusSink = std::function<void(const QString &)>; // already in fetch/pageparsers.h

// What a paid source is constructed with; kept in the system keychain, never in a file.
struct SourceCredentials
{
    QString login;
    QString secret;
};

class SuggestionSource
{
public:
    virtual ~SuggestionSource() = default;
    virtual QString id() const = 0; // "classic", "dataforseo"
    virtual QString displayName() const = 0; // "Classic pages", "DataForSEO"
    // The first phase's requests in order (classic: keyword database page, then product page).
    virtual QList<SourceRequest> suggestionRequests(const QString &keyword) const = 0;
    // Reads the answer to request `index` into the table (up to MaxSuggestions rows, most searched
    // first for APIs).
    virtual SourceVerdict readSuggestions(int index, const FetchOutcome &outcome,
                                          SuggestionTable &table, const bool &stopRequested,
                                          const StatusSink &status) = 0;
    virtual std::chrono::milliseconds pauseBeforeEachRequest() const = 0; // classic 200 ms, APIs 0
    // The months behind each phrase of the last suggestions read, where the source gives them.
    virtual Seasons seasonsTaken() const { return {}; }
};

class CountSource
{
public:
    virtual ~CountSource() = default;
    virtual QString id() const = 0; // "classic", "dataforseo", "serpapi"
    virtual QString displayName() const = 0;
    virtual SourceRequest countRequest(const QString &phrase) const = 0;
    // Reads one phrase's answer: entry.results (plain digits) and entry.hasAds.
    virtual SourceVerdict readCount(const FetchOutcome &outcome, Suggestion &entry,
                                    const bool &stopRequested, const StatusSink &status) = 0;
    virtual int parallelLimit() const = 0; // classic 1; APIs more (README says which and why)
    virtual std::chrono::milliseconds pauseBeforeEachRequest() const = 0;
    virtual bool pacedLikePages() const = 0; // the 30-minute pause after three runs: classic only
};

// The report subfolder of a pair of sources: empty for classic+classic (today's report folder),
// otherwise "<suggestions id>+<counts id>", so figures of one source never stand in for another's.
QString reportSubfolder(const SuggestionSource &suggestions, const CountSource &counts);

} // namespace Quorvane
