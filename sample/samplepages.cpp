#include "sample/samplepages.h"

#include "results/splitmix64.h"
#include "sources/serviceaddresses.h"

#include <QSet>

#include <algorithm>
#include <array>

namespace Quorvane {

namespace {

const std::array<const char *, 20> Prefixes = {
    "cheap",  "best",    "used",    "discount",   "buy",         "new",         "top",
    "custom", "womens",  "mens",    "kids",       "vintage",     "wholesale",   "online",
    "review", "compare", "quality", "affordable", "second hand", "professional"};
const std::array<const char *, 20> Suffixes = {
    "for sale", "reviews",     "online", "uk",      "prices",    "deals",      "store",
    "shop",     "outlet",      "brands", "sets",    "guide",     "comparison", "ratings",
    "catalog",  "accessories", "parts",  "near me", "clearance", "tips"};

const std::array<const char *, 24> Filler = {
    "information", "compare", "prices",   "selection", "free",    "shipping",
    "latest",      "models",  "official", "site",      "reviews", "guide",
    "customer",    "ratings", "great",    "deals",     "quality", "range",
    "delivery",    "expert",  "advice",   "order",     "today",   "catalogue"};

quint64 mix(quint64 z)
{
    return SplitMix64 {z}.next();
}

quint64 phraseHash(const QString &phrase, quint64 salt)
{
    quint64 h = 0xcbf29ce484222325ULL;
    for (const char byte : phrase.toUtf8()) {
        h ^= static_cast<unsigned char>(byte);
        h *= 0x100000001b3ULL;
    }
    return mix(h ^ mix(salt));
}

// Only the characters that would end the text and start markup are escaped: the parsers keep
// character references as they are, so anything more would change the phrase a run reads.
QString escapeText(const QString &text)
{
    QString out = text;
    out.replace(QLatin1Char('<'), QLatin1String("&lt;"));
    out.replace(QLatin1Char('>'), QLatin1String("&gt;"));
    return out;
}

QString escapeAttribute(const QString &text)
{
    return text.toHtmlEscaped();
}

bool listsNothing(const QString &seed)
{
    return seed.trimmed().toLower() == QLatin1String("nothing");
}

QList<QString> phrasesFor(const QString &base, int rowCount)
{
    QList<QString> phrases;
    QSet<QString> seen;
    auto add = [&](const QString &phrase) {
        if (phrases.size() < rowCount && !seen.contains(phrase)) {
            seen.insert(phrase);
            phrases.append(phrase);
        }
    };
    add(base);
    for (std::size_t i = 0; i < Prefixes.size(); ++i) {
        add(QLatin1String(Prefixes[i]) + QLatin1Char(' ') + base);
        add(base + QLatin1Char(' ') + QLatin1String(Suffixes[i]));
    }
    for (std::size_t s = 0; s < Suffixes.size() && phrases.size() < rowCount; ++s) {
        for (std::size_t p = 0; p < Prefixes.size() && phrases.size() < rowCount; ++p) {
            add(QLatin1String(Prefixes[(p + s) % Prefixes.size()]) + QLatin1Char(' ') + base
                + QLatin1Char(' ') + QLatin1String(Suffixes[s]));
        }
    }
    // Beyond 420 rows the forms run out; numbered variants keep every row distinct.
    for (int n = 2; phrases.size() < rowCount; ++n)
        add(base + QLatin1Char(' ') + QString::number(n));
    return phrases;
}

qint64 searchesFor(const QString &phrase, bool isSeed)
{
    const quint64 h = phraseHash(phrase, 1);
    if (isSeed)
        return 20000 + static_cast<qint64>(h % 70000);
    if (h % 100 < 30)
        return 1000 + static_cast<qint64>((h >> 8) % 29000);
    return 10 + static_cast<qint64>((h >> 8) % 990);
}

QString fillerSentence(quint64 h, const QString &phrase, int words)
{
    QString out;
    for (int i = 0; i < words; ++i) {
        if (i > 0)
            out += QLatin1Char(' ');
        h = mix(h);
        if (h % 7 == 0)
            out += QLatin1String("<b>") + escapeText(phrase) + QLatin1String("</b>");
        else
            out += QLatin1String(Filler[h % Filler.size()]);
    }
    return out;
}

QString siteName(quint64 h)
{
    static const std::array<const char *, 8> sites = {"shop",   "direct", "world",   "store",
                                                      "online", "depot",  "central", "express"};
    return QStringLiteral("www.%1%2.example")
        .arg(QLatin1String(sites[h % sites.size()]))
        .arg(h % 997);
}

// Inline script and style of the kind a result page carries; "<" inside them must not be read
// as markup.
QString pageHead(const QString &title, quint64 h)
{
    QString head;
    head += QLatin1String("<!doctype html><html><head><meta http-equiv=\"content-type\" "
                          "content=\"text/html; charset=UTF-8\"><title>");
    head += escapeText(title);
    head += QLatin1String(
        "</title>\n<style>body,td,a,p,.h{font-family:arial,sans-serif}.h{font-size:20px}"
        ".q{color:#00c}.ts td{padding:0}.ts{border-collapse:collapse}#gbar{height:22px}"
        ".gb1,.gb2{font-size:13px}.g{margin:1em 0}.a,.a:link{color:green}.fl:link{color:#77c}"
        "a:hover>b{text-decoration:underline}.std{font-size:82%}</style>\n<script>\n");
    for (int i = 0; i < 110; ++i) {
        h = mix(h);
        head += QStringLiteral("function f%1(a,b){var c=a<b?%2:%3;for(var i=0;i<c;i++){if("
                               "document.images.length<i){return \"<table>\"+i;}}return c>%4;}\n")
                    .arg(i)
                    .arg(h % 1000)
                    .arg((h >> 12) % 1000)
                    .arg((h >> 24) % 100);
    }
    head += QLatin1String("</script></head>\n");
    return head;
}

QString searchForm(const QString &phrase)
{
    return QStringLiteral("<table border=0 cellspacing=0 cellpadding=0 width=100%><tr><td "
                          "valign=top><a href=\"/\"><b class=h>Search</b></a></td><td "
                          "nowrap><form name=gs method=GET action=/search><input type=hidden "
                          "name=hl value=en><input maxlength=2048 size=41 name=q value=\"%1\" "
                          "title=\"Search\"> <input type=submit name=btnG value=\"Search\"></form>"
                          "</td></tr></table>\n")
        .arg(escapeAttribute(phrase));
}

} // namespace

QString groupThousands(qint64 value)
{
    QString digits = QString::number(value < 0 ? -value : value);
    for (qsizetype i = digits.size() - 3; i > 0; i -= 3)
        digits.insert(i, QLatin1Char(','));
    return value < 0 ? QLatin1Char('-') + digits : digits;
}

QList<SampleSuggestion> sampleSuggestions(const QString &seed, int rowCount)
{
    QList<SampleSuggestion> rows;
    if (listsNothing(seed) || rowCount <= 0)
        return rows;
    const QString base = seed.trimmed().toLower();
    const bool withZeros = base.split(QLatin1Char(' ')).contains(QLatin1String("zero"));
    const QList<QString> phrases = phrasesFor(base, rowCount);
    for (const QString &phrase : phrases)
        rows.append({searchesFor(phrase, phrase == base), phrase});
    // A keyword database lists its most searched phrases first.
    std::stable_sort(rows.begin(), rows.end(),
                     [](const SampleSuggestion &a, const SampleSuggestion &b) {
                         return a.searches > b.searches;
                     });
    if (withZeros) {
        for (qsizetype i = 9; i < rows.size(); i += 10)
            rows[i].searches = 0;
    }
    return rows;
}

QByteArray sampleKeywordPage(const QString &seed, int rowCount)
{
    const QList<SampleSuggestion> rows = sampleSuggestions(seed, rowCount);
    QString page;
    page.reserve(200 + rows.size() * 160);
    page += QLatin1String("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\n"
                          "<html><head><title>Keyword suggestions for ");
    page += escapeText(seed);
    page += QLatin1String(
        "</title>\n<style type=\"text/css\">body{font:13px verdana,arial}td.n{text-align:"
        "right}tr.odd td{background:#eef}</style></head>\n<body>\n<div class=\"top\"><a "
        "href=\"/\">Keyword database</a> | <a href=\"/help\">Help</a></div>\n"
        "<h1>Keyword suggestions for <b>");
    page += escapeText(seed);
    page += QLatin1String("</b></h1>\n<form action=\"/suggest\"><input name=\"term\" value=\"");
    page += escapeAttribute(seed);
    page += QLatin1String("\"> <input type=\"submit\" value=\"Suggest\"></form>\n"
                          "<table class=\"kw\" cellspacing=\"0\" cellpadding=\"3\">\n"
                          "<thead><tr><td>Monthly searches</td><td>Keyword</td></tr></thead>\n"
                          "<tbody>\n");
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const SampleSuggestion &row = rows.at(i);
        page += i % 2 ? QLatin1String("<tr class=\"odd\">") : QLatin1String("<tr>");
        page += QLatin1String("<td class=\"n\">") + QString::number(row.searches)
            + QLatin1String("</td><td><a href=\"/suggest?term=") + encodePhrase(row.phrase)
            + QLatin1String("\">") + escapeText(row.phrase) + QLatin1String("</a></td></tr>\n");
    }
    page += QLatin1String("</tbody></table>\n");
    if (rows.isEmpty())
        page += QLatin1String("<p>No suggestions found.</p>\n");
    page += QLatin1String("<p class=\"foot\">Figures are monthly estimates.</p>\n</body></html>\n");
    return page.toUtf8();
}

qint64 sampleResultCount(const QString &phrase)
{
    // A search engine whose pages no longer show the count phrase, for the seed "uncounted".
    if (phrase.split(QLatin1Char(' ')).contains(QLatin1String("uncounted")))
        return -1;
    const quint64 h = phraseHash(phrase, 2);
    if (h % 8 == 0)
        return -1;
    const int exponent = 3 + static_cast<int>((h >> 4) % 6); // 1,000 to 899,999,999
    qint64 scale = 1;
    for (int i = 0; i < exponent; ++i)
        scale *= 10;
    return scale + static_cast<qint64>((h >> 12) % static_cast<quint64>(9 * scale));
}

bool sampleHasAds(const QString &phrase)
{
    return phraseHash(phrase, 3) % 3 == 0;
}

QByteArray sampleResultPage(const QString &phrase)
{
    const quint64 h = phraseHash(phrase, 4);
    const qint64 count = sampleResultCount(phrase);
    // Pages without a count show a handful of results ("1 - 4 of 4") or none.
    const int shown = count >= 0 ? 10 : static_cast<int>(h % 10);
    const QString escaped = escapeText(phrase);

    QString page;
    page.reserve(32 * 1024);
    page += pageHead(phrase + QLatin1String(" - Search"), h);
    page += QLatin1String("<body bgcolor=#ffffff topmargin=3 marginheight=3>\n<div id=gbar><nobr>"
                          "<b class=gb1>Web</b> <a class=gb1 href=/images>Images</a> <a "
                          "class=gb1 href=/news>News</a> <a class=gb1 href=/maps>Maps</a>"
                          "</nobr></div>\n");
    page += searchForm(phrase);
    page += QLatin1String("<table width=100% border=0 cellpadding=0 cellspacing=0 class=\"t "
                          "bt\"><tr><td nowrap><b>Web</b></td><td align=right nowrap>");
    if (count >= 0) {
        page += QStringLiteral("Results <b>1</b> - <b>10</b> of about <b>%1</b> for <b>%2</b>."
                               "&nbsp;(<b>0.%3</b> seconds)")
                    .arg(groupThousands(count), escaped)
                    .arg(10 + h % 80);
    } else if (shown > 0) {
        page += QStringLiteral("Results <b>1</b> - <b>%1</b> of <b>%1</b> for <b>%2</b>.")
                    .arg(shown)
                    .arg(escaped);
    } else {
        page +=
            QStringLiteral("Your search - <b>%1</b> - did not match any documents.").arg(escaped);
    }
    page += QLatin1String("</td></tr></table>\n");

    if (sampleHasAds(phrase)) {
        page += QLatin1String("<table align=right width=30% cellpadding=0 cellspacing=0 "
                              "class=ads><tr><td><h2 class=sl>Sponsored Links</h2>\n");
        for (int i = 0; i < 3; ++i) {
            const quint64 ah = mix(h + 100 + i);
            page += QStringLiteral("<div class=ad><a href=\"http://%1/\"><b>%2</b> %3</a><br>%4"
                                   "<br><span class=a>%1</span></div>\n")
                        .arg(siteName(ah), escaped, QLatin1String(Filler[ah % Filler.size()]),
                             fillerSentence(ah, phrase, 9));
        }
        page += QLatin1String("</td></tr></table>\n");
    }

    page += QLatin1String("<div id=res>\n");
    for (int i = 0; i < shown; ++i) {
        const quint64 rh = mix(h + 1000 + i);
        const QString site = siteName(rh);
        page +=
            QStringLiteral("<div class=g><h2 class=r><a href=\"http://%1/%2.html\" class=l>%3 "
                           "- %4 %5</a></h2><table border=0 cellpadding=0 cellspacing=0><tr><td "
                           "class=j><font size=-1>%6 ...<br>%7 ...<br><span class=a>%1/%2.html - "
                           "%8k - </span><nobr><a class=fl href=\"/search?q=cache:%9\">Cached"
                           "</a> - <a class=fl href=\"/search?q=related:%1\">Similar pages"
                           "</a></nobr></font></td></tr></table></div>\n")
                .arg(site, QString::number(rh % 100000), escaped,
                     QLatin1String(Filler[rh % Filler.size()]),
                     QLatin1String(Filler[(rh >> 8) % Filler.size()]),
                     fillerSentence(rh, phrase, 28), fillerSentence(rh >> 3, phrase, 24),
                     QString::number(8 + rh % 90), QString::number(rh % 1000000));
    }
    page += QLatin1String("</div>\n");

    if (count >= 0) {
        page += QLatin1String("<table border=0 cellpadding=0 width=1% cellspacing=0 "
                              "align=center id=nav><tr valign=top><td nowrap><font "
                              "size=-1>Result&nbsp;Page:&nbsp;</font></td>");
        for (int p = 1; p <= 10; ++p) {
            page += p == 1 ? QLatin1String("<td><b>1</b></td>")
                           : QStringLiteral("<td><a href=\"/search?q=%1&amp;start=%2\">%3</a></td>")
                                 .arg(encodePhrase(phrase))
                                 .arg((p - 1) * 10)
                                 .arg(p);
        }
        page += QLatin1String("<td nowrap><a href=\"#\"><b>Next</b></a></td></tr></table>\n");
    }
    page += QLatin1String("<br clear=all><center><table border=0 cellpadding=0 cellspacing=0 "
                          "width=100%><tr><td class=std align=center>");
    page += QLatin1String(Filler[h % Filler.size()]);
    page += QLatin1String(" - <a href=/intl/en/about.html>About</a> - <a href=/privacy>Privacy"
                          "</a></td></tr></table></center></body></html>\n");
    return page.toUtf8();
}

QByteArray sampleProductPage()
{
    return QByteArrayLiteral(
        "<html><head><title>Quorvane 1.2</title></head><body>\n<h1>Quorvane 1.2</h1>\n"
        "<p>You are running the latest version.</p>\n</body></html>\n");
}

} // namespace Quorvane
