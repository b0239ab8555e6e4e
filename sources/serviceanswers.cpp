#include "sources/serviceanswers.h"

#include <QJsonDocument>
#include <QJsonParseError>

namespace Quorvane {

SourceVerdict failureVerdict(SourceFailure failure, const QString &message)
{
    SourceVerdict verdict;
    verdict.failure = failure;
    verdict.message = message;
    return verdict;
}

QString keyRefusedText(const QString &sourceName, const QString &keyWords)
{
    return QStringLiteral("%1 refused the %2. %3").arg(sourceName, keyWords, SourcesWindowHint);
}

QString malformedText(const QString &sourceName, const QString &what)
{
    return QStringLiteral("%1 sent an answer Quorvane cannot read (%2).").arg(sourceName, what);
}

JsonAnswer readJsonAnswer(const FetchOutcome &outcome, const QString &sourceName,
                          const QString &keyWords)
{
    JsonAnswer answer;
    if (outcome.cancelled) {
        answer.verdict = failureVerdict(SourceFailure::NoAnswer, QString());
        return answer;
    }
    if (!outcome.answered) {
        const QString why =
            outcome.errorText.isEmpty() ? QStringLiteral("no answer") : outcome.errorText;
        answer.verdict = failureVerdict(
            SourceFailure::NoAnswer,
            QStringLiteral("%1 did not answer (%2). Check the connection, or choose another "
                           "source in the Sources window.")
                .arg(sourceName, why));
        return answer;
    }
    const int status = outcome.httpStatus;
    if (status == 401 || status == 403) {
        answer.verdict =
            failureVerdict(SourceFailure::KeyRefused, keyRefusedText(sourceName, keyWords));
        return answer;
    }
    if (status == 402) {
        answer.verdict = failureVerdict(
            SourceFailure::NoFunds,
            QStringLiteral("%1 says the account has no money left. Top up the balance on %1's "
                           "web site, or choose another source in the Sources window.")
                .arg(sourceName));
        return answer;
    }
    if (status == 429) {
        answer.verdict = failureVerdict(
            SourceFailure::RateLimited,
            QStringLiteral("%1 asks Quorvane to send fewer requests at a time.").arg(sourceName));
        answer.verdict.retryAfter = outcome.retryAfter;
        return answer;
    }
    if (status < 200 || status > 299) {
        answer.verdict = failureVerdict(
            SourceFailure::TaskFailed,
            QStringLiteral("%1 answered with HTTP status %2.").arg(sourceName).arg(status));
        return answer;
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(outcome.body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        answer.verdict = failureVerdict(SourceFailure::Malformed,
                                        malformedText(sourceName, QStringLiteral("not JSON")));
        return answer;
    }
    answer.object = document.object();
    return answer;
}

std::optional<QString> plainDigits(const QJsonValue &value)
{
    if (value.isDouble()) {
        const double number = value.toDouble();
        // Whole, non-negative and exact in a double.
        if (number < 0 || number > 9007199254740992.0 || number != double(qint64(number)))
            return std::nullopt;
        return QString::number(qint64(number));
    }
    if (!value.isString())
        return std::nullopt;
    const QString text = value.toString().trimmed();
    QString digits;
    for (const QChar ch : text) {
        if (ch.isDigit() && ch.unicode() < 128)
            digits += ch;
        else if (ch != QLatin1Char(',') && ch != QLatin1Char('.') && ch != QLatin1Char(' ')
                 && ch != QChar(0x00a0) && ch != QChar(0x202f))
            return std::nullopt;
    }
    if (digits.isEmpty())
        return std::nullopt;
    // "0012" reads as 12, as a number would.
    while (digits.size() > 1 && digits.startsWith(QLatin1Char('0')))
        digits.remove(0, 1);
    return digits;
}

QString serviceWords(const QString &text, const QString &secret)
{
    QString words = text.simplified();
    if (!secret.isEmpty())
        words.replace(secret, QStringLiteral("(hidden)"));
    if (words.size() > 200)
        words = words.left(199) + QChar(0x2026);
    return words;
}

QUrl baseAddressFromEnvironment(const char *variable, const QUrl &fallback)
{
    const QString text = qEnvironmentVariable(variable).trimmed();
    if (text.isEmpty())
        return fallback;
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty()
        || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return fallback;
    return url;
}

QUrl addressUnder(const QUrl &base, const QString &path)
{
    QUrl url = base;
    QString prefix = base.path();
    while (prefix.endsWith(QLatin1Char('/')))
        prefix.chop(1);
    url.setPath(prefix + path);
    url.setQuery(QString());
    url.setFragment(QString());
    return url;
}

} // namespace Quorvane
