#pragma once

#include "sources/source.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QUrl>

#include <optional>

namespace Quorvane {

// What the API sources share when they read an answer: the HTTP outcome in words, the JSON
// object, the numbers a service may send as text, and the base address a test may replace.

// How the user fixes a refused key; every message about a key points there.
inline const QString SourcesWindowHint =
    QStringLiteral("Enter it again in the Sources window (Settings, then Ctrl+K).");

// The object of an answer that arrived with HTTP 2xx. Otherwise, or when the body is not a JSON
// object, `verdict` tells why: no answer, 401/403 a refused key (`keyWords` names what was
// refused, "login and password" or "API key"), 402 no money left, 429 slow down (with the
// Retry-After the fetcher read), any other status a failed task, unreadable JSON malformed.
struct JsonAnswer
{
    SourceVerdict verdict;
    QJsonObject object;
};
JsonAnswer readJsonAnswer(const FetchOutcome &outcome, const QString &sourceName,
                          const QString &keyWords);

SourceVerdict failureVerdict(SourceFailure failure, const QString &message);
QString keyRefusedText(const QString &sourceName, const QString &keyWords);
QString malformedText(const QString &sourceName, const QString &what);

// A count as plain digits, from a JSON number or from text that holds digits with optional
// grouping (commas, dots, spaces); nothing for anything else, negatives and fractions included.
std::optional<QString> plainDigits(const QJsonValue &value);

// The service's own words, at most one line of 200 characters, with the secret (when the
// service echoed it) blanked out: messages reach the status line and message boxes.
QString serviceWords(const QString &text, const QString &secret);

// `fallback`, unless the environment variable names another base address (a test, a proxy, the
// sample program). Only an http or https address with a host counts.
QUrl baseAddressFromEnvironment(const char *variable, const QUrl &fallback);
// base + path, keeping a path the base already has ("http://h/prefix" + "/v3/x").
QUrl addressUnder(const QUrl &base, const QString &path);

} // namespace Quorvane
