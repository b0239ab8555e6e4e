#include "sources/classicsource.h"

#include "fetch/pagetext.h"
#include "sources/serviceaddresses.h"

namespace Quorvane {

namespace {

SourceRequest pageRequest(const QString &address)
{
    SourceRequest request;
    request.url = QUrl(address);
    return request;
}

bool isPage(const FetchOutcome &outcome)
{
    return outcome.answered && outcome.httpStatus >= 200 && outcome.httpStatus < 300;
}

} // namespace

QList<SourceRequest> ClassicSource::suggestionRequests(const QString &keyword) const
{
    return {pageRequest(keywordDatabaseAddress(keyword)), pageRequest(productPageAddress())};
}

// Only a whole page is parsed. An answer that is no page (an error status, a block) leaves the
// table as it was, which ends as "No results found ... or denied by database". A keyword
// database that did not answer at all is no verdict on the keyword: the run says so.
SourceVerdict ClassicSource::readSuggestions(int index, const FetchOutcome &outcome,
                                             SuggestionTable &table, const bool &stopRequested,
                                             const StatusSink &status)
{
    if (isPage(outcome)) {
        parseKeyword(pageText(outcome.body), QString::number(index), table, stopRequested, status);
        return {};
    }
    if (index != 0 || outcome.answered || outcome.cancelled)
        return {};
    SourceVerdict verdict;
    verdict.failure = SourceFailure::NoAnswer;
    verdict.message =
        QStringLiteral("The keyword database of the classic pages gave no usable answer (%1), "
                       "so no suggestions could be read.\r\nTry again later, or "
                       "choose another source in the settings.")
            .arg(outcome.errorText);
    return verdict;
}

SourceRequest ClassicSource::countRequest(const QString &phrase) const
{
    return pageRequest(queryAddress(phrase));
}

SourceVerdict ClassicSource::readCount(const FetchOutcome &outcome, Suggestion &entry,
                                       const bool &stopRequested, const StatusSink &status)
{
    if (!isPage(outcome)) {
        SourceVerdict verdict;
        verdict.failure = SourceFailure::NoAnswer;
        verdict.message = outcome.errorText;
        return verdict;
    }
    Suggestion &scratch = m_countTable.entries[0];
    scratch = entry;
    parseGoogleResults(pageText(outcome.body), u"0", m_countTable, stopRequested, status);
    entry = std::move(scratch);
    scratch = {};
    return {};
}

} // namespace Quorvane
