#include "bench/pagegen.h"

#include "results/splitmix64.h"

#include <QByteArrayView>

#include <array>
#include <initializer_list>

namespace Quorvane {

namespace {

// The same sequence on every compiler, so a seed always gives the same page.
class Rng
{
public:
    explicit Rng(quint64 seed)
        : m_generator {seed}
    { }

    quint64 next() { return m_generator.next(); }
    int below(int bound) { return int(next() % quint64(bound)); }

private:
    SplitMix64 m_generator;
};

// No word holds "link", "sponsored" or a part of the result-count phrase, so only the tables
// meant to carry them do.
const std::array<const char *, 48> Words = {
    "garden",  "river",  "market", "travel",  "cheap",   "flight", "hotel",  "review",
    "price",   "guide",  "local",  "service", "digital", "camera", "phone",  "repair",
    "kitchen", "design", "home",   "studio",  "coffee",  "bike",   "shoes",  "winter",
    "summer",  "music",  "video",  "store",   "best",    "news",   "world",  "health",
    "energy",  "solar",  "panel",  "water",   "filter",  "book",   "school", "course",
    "free",    "tips",   "ideas",  "photo",   "family",  "car",    "quote",  "compare"};

QByteArray word(Rng &rng)
{
    return QByteArray(Words[size_t(rng.below(int(Words.size())))]);
}

// Braced lists are evaluated left to right, unlike the operands of +: the generator is drawn
// in the same order by every compiler.
void appendAll(QByteArray &out, std::initializer_list<QByteArray> parts)
{
    for (const QByteArray &part : parts)
        out += part;
}

void appendWords(QByteArray &out, Rng &rng, int count, char separator = ' ')
{
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            out += separator;
        out += word(rng);
    }
}

QByteArray grouped(qint64 value)
{
    QByteArray digits = QByteArray::number(value);
    for (qsizetype i = digits.size() - 3; i > 0; i -= 3)
        digits.insert(i, ',');
    return digits;
}

QByteArray token(Rng &rng, int length)
{
    static const char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    QByteArray out(length, Qt::Uninitialized);
    for (int i = 0; i < length; ++i)
        out[i] = alphabet[rng.below(64)];
    return out;
}

// Appends the pieces `unit(i)` gives while they fit within `limit` bytes, then pads with
// letters up to `limit` exactly.
template<typename Unit>
void fillTo(QByteArray &page, qsizetype limit, Unit unit)
{
    for (qsizetype i = 0;; ++i) {
        const QByteArrayView piece = unit(i);
        if (page.size() + piece.size() > limit)
            break;
        page += piece;
    }
    if (page.size() < limit)
        page.append(limit - page.size(), 'x');
}

const QByteArrayView CellPrefix = "<html><body><table><tbody><tr><td>7</td><td>";

QByteArray cellSuffix(const char *count)
{
    return QByteArray("</td></tr></tbody></table><table><tr><td>Results <b>1</b> - <b>10</b> of "
                      "about <b>")
        + count + "</b></td></tr></table></body></html>";
}

QByteArray nestedPage(qsizetype bytes)
{
    const QByteArrayView prefix = "<html><head><style>td{padding:0}</style></head><body><tbody>";
    const QByteArrayView open = "<table><tr><td>deeper ";
    const QByteArrayView close = "</td></tr></table>back up ";
    const QByteArrayView middle = "sponsored ";
    const QByteArrayView suffix = "link</body></html>";
    const qsizetype fixed = prefix.size() + middle.size() + suffix.size();
    const qsizetype depth = qMax<qsizetype>(1, (bytes - fixed) / (open.size() + close.size()));

    QByteArray page;
    page.reserve(qMax(bytes, fixed + depth * (open.size() + close.size())));
    page += prefix;
    for (qsizetype i = 0; i < depth; ++i)
        page += open;
    page += middle;
    const qsizetype padding = bytes - fixed - depth * (open.size() + close.size());
    if (padding > 0)
        page.append(padding, 'x');
    for (qsizetype i = 0; i < depth; ++i)
        page += close;
    page += suffix;
    return page;
}

// Every unclosed table tag after the marker starts a chunk that reaches back to the marker.
QByteArray unclosedPage(qsizetype bytes)
{
    const QByteArrayView suffix = "</body></html>";
    QByteArray page;
    page.reserve(bytes);
    page += "<html><body><table><tbody><tr><td>12</td><td>first</td></tr></table><p>Results "
            "<b>1</b> - <b>10</b> of about <b>4,321</b> for unclosed tables</p>";
    fillTo(page, bytes - suffix.size(),
           [](qsizetype) { return QByteArrayView("<table><tr><td>never closed "); });
    page += suffix;
    return page;
}

QByteArray ltPage(qsizetype bytes)
{
    QByteArray page;
    page.reserve(bytes);
    page += "<html><body><table><tr><td>Results <b>1</b> - <b>10</b> of about <b>777</b></td>"
            "</tr></table><table><tbody><tr><td>5</td><td>less than ";
    fillTo(page, bytes, [](qsizetype) { return QByteArrayView("x <y "); });
    return page;
}

QByteArray attributePage(qsizetype bytes)
{
    const QByteArray suffix = "\">cell" + cellSuffix("31,337");
    QByteArray page;
    page.reserve(bytes);
    page += "<html><body><table><tbody><tr><td>5</td><td title=\"";
    fillTo(page, bytes - suffix.size(),
           [](qsizetype) { return QByteArrayView("attribute&nbsp;value "); });
    page += suffix;
    return page;
}

QByteArray brPage(qsizetype bytes)
{
    const QByteArray suffix = cellSuffix("12,345");
    QByteArray page;
    page.reserve(bytes);
    page += CellPrefix;
    fillTo(page, bytes - suffix.size(), [](qsizetype i) {
        if (i % 16 == 15)
            return QByteArrayView("x<BR>");
        if (i % 50 == 49)
            return QByteArrayView("x<br/>");
        return QByteArrayView("x<br>");
    });
    page += suffix;
    return page;
}

QByteArray stylePage(qsizetype bytes)
{
    const QByteArray suffix = cellSuffix("2,468");
    QByteArray page;
    page.reserve(bytes);
    page += CellPrefix;
    fillTo(page, bytes - suffix.size(), [](qsizetype i) {
        if (i % 8 == 7)
            return QByteArrayView("<STYLE>td>b{margin:0;color:#333}</STYLE>styled text ");
        return QByteArrayView("<style>td>b{margin:0;color:#333}</style>styled text ");
    });
    page += suffix;
    return page;
}

QByteArray nbspPage(qsizetype bytes)
{
    const QByteArray suffix = cellSuffix("3,210");
    QByteArray page;
    page.reserve(bytes);
    page += CellPrefix;
    fillTo(page, bytes - suffix.size(), [](qsizetype i) {
        if (i % 100 == 99)
            return QByteArrayView("<b>bold&nbsp;</b> ");
        if (i % 10 == 9)
            return QByteArrayView("&nbsp;&nbsp;");
        return QByteArrayView("word&nbsp;");
    });
    page += suffix;
    return page;
}

qint64 resultCount(quint32 seed)
{
    Rng rng(seed * 7919ULL + 17);
    return (1000 + rng.below(90000)) * 1000LL;
}

void appendStyleBlock(QByteArray &page, Rng &rng, qsizetype bytes)
{
    page += "<style>";
    const qsizetype end = page.size() + bytes;
    for (int i = 0; page.size() < end; ++i) {
        const QByteArray name = ".c" + QByteArray::number(i);
        appendAll(page,
                  {name, "{margin:", QByteArray::number(rng.below(9)), "px ",
                   QByteArray::number(rng.below(17)), "px;color:#",
                   QByteArray::number(rng.below(0xffffff), 16),
                   ";font:", QByteArray::number(11 + rng.below(8)), "px arial,sans-serif}", name,
                   ">a:hover{text-decoration:", rng.below(2) ? "underline" : "none", "}\n"});
    }
    page += "</style>";
}

// Script text the way result pages carry it: code with comparisons, and markup escaped in
// strings.
void appendScriptBlock(QByteArray &page, Rng &rng, qsizetype bytes)
{
    page += "<script>";
    const qsizetype end = page.size() + bytes;
    for (int i = 0; page.size() < end; ++i) {
        const QByteArray name = "f" + QByteArray::number(i);
        page += "(function(){var " + name + "=[";
        for (int k = 0; k < 8; ++k)
            page += QByteArray::number(rng.below(1000)) + ",";
        appendAll(page,
                  {"0];for(var i=0;i<", name, ".length;i++){if(", name, "[i]>",
                   QByteArray::number(rng.below(500)), "&&i<=", QByteArray::number(rng.below(9)),
                   "){window.q&&q('"});
        appendWords(page, rng, 3);
        page += "','\\x3cdiv class\\x3d\\x22" + token(rng, 6) + "\\x22\\x3e";
        appendWords(page, rng, 4);
        page += "\\x3c/div\\x3e')}}})();\n";
    }
    page += "</script>";
}

void appendResult(QByteArray &page, Rng &rng, int number, const QByteArray &phrase)
{
    QByteArray host = "www.";
    appendAll(host, {word(rng), "-", word(rng), ".com"});
    QByteArray path;
    appendAll(path, {"/", word(rng), "/", word(rng), ".html"});
    appendAll(page,
              {"<div class=\"g\" data-ved=\"", token(rng, 40), "\"><h2 class=r><a href=\"https://",
               host, path, "?ref=serp&amp;id=", QByteArray::number(rng.below(99999)),
               "\" class=l onmousedown=\"return rwt(this,'','','res','", QByteArray::number(number),
               "','AFQjCN", token(rng, 30), "','&amp;sig2=", token(rng, 22), "')\">"});
    appendWords(page, rng, 2);
    page += " <b>" + phrase + "</b> ";
    appendWords(page, rng, 3);
    page += "</a></h2><table border=0 cellpadding=0 cellspacing=0><tr><td class=\"j\"><font "
            "size=-1>";
    for (int sentence = 0; sentence < 3; ++sentence) {
        appendWords(page, rng, 8 + rng.below(8));
        page += rng.below(2) ? " <b>" + phrase + "</b> " : QByteArray(" &quot;");
        appendWords(page, rng, 5);
        page += rng.below(3) ? ". " : " &amp; ";
    }
    appendAll(page,
              {"...<br><span class=a>", host, path, " - ", QByteArray::number(3 + rng.below(90)),
               "k - </span><nobr><a class=fl href=\"/search?q=cache:", token(rng, 12)});
    page += ":" + host + path + "\">Cached</a> - <a class=fl href=\"/search?q=related:" + host
        + "\">Similar&nbsp;pages</a></nobr></font></td></tr></table></div>\n";
    appendScriptBlock(page, rng, 4000 + rng.below(4000));
    page += "\n<div class=\"s\"><table cellpadding=0 cellspacing=0 class=\"ts\"><tr><td><div "
            "class=\"th\"><img src=\"/images?q=tbn:"
        + token(rng, 40)
        + "\" width=80 height=60 alt=\"\"></div></td><td "
          "style=\"padding-left:8px\"><span class=\"st\">";
    appendWords(page, rng, 20 + rng.below(20));
    page += "</span><br><cite>" + host + "</cite></td></tr></table></div>\n";
}

} // namespace

QList<HostileFamily> allHostileFamilies()
{
    return {HostileFamily::Nested,    HostileFamily::Unclosed, HostileFamily::Lt,
            HostileFamily::Attribute, HostileFamily::Br,       HostileFamily::Style,
            HostileFamily::Nbsp};
}

QString hostileFamilyName(HostileFamily family)
{
    switch (family) {
    case HostileFamily::Nested:
        return QStringLiteral("nested");
    case HostileFamily::Unclosed:
        return QStringLiteral("unclosed");
    case HostileFamily::Lt:
        return QStringLiteral("lt");
    case HostileFamily::Attribute:
        return QStringLiteral("attribute");
    case HostileFamily::Br:
        return QStringLiteral("br");
    case HostileFamily::Style:
        return QStringLiteral("style");
    case HostileFamily::Nbsp:
        return QStringLiteral("nbsp");
    }
    return {};
}

QByteArray hostilePage(HostileFamily family, qsizetype bytes)
{
    switch (family) {
    case HostileFamily::Nested:
        return nestedPage(bytes);
    case HostileFamily::Unclosed:
        return unclosedPage(bytes);
    case HostileFamily::Lt:
        return ltPage(bytes);
    case HostileFamily::Attribute:
        return attributePage(bytes);
    case HostileFamily::Br:
        return brPage(bytes);
    case HostileFamily::Style:
        return stylePage(bytes);
    case HostileFamily::Nbsp:
        return nbspPage(bytes);
    }
    return {};
}

QString realisticResultCount(quint32 seed)
{
    return QString::number(resultCount(seed));
}

QByteArray realisticResultPage(quint32 seed)
{
    constexpr qsizetype target = 300 * 1000;
    Rng rng(seed);
    QByteArray phrase;
    appendWords(phrase, rng, 2);

    QByteArray page;
    page.reserve(target + 64 * 1024);
    page += "<!doctype html><html><head><meta http-equiv=\"content-type\" content=\"text/html; "
            "charset=UTF-8\"><title>"
        + phrase + " - Search</title>";
    appendStyleBlock(page, rng, 36 * 1000);
    appendScriptBlock(page, rng, 30 * 1000);
    appendScriptBlock(page, rng, 22 * 1000);
    page += "</head><body bgcolor=#ffffff marginheight=3 topmargin=3><div id=gbar><nobr><b>Web"
            "</b> <a class=gb1 href=\"/imghp?hl=en&amp;tab=wi\">Images</a> <a class=gb1 "
            "href=\"/nwshp?hl=en&amp;tab=wn\">News</a> <a class=gb1 "
            "href=\"/maps?hl=en&amp;tab=wl\">Maps</a> <a class=gb1 "
            "href=\"/shopping?hl=en&amp;tab=wf\">Shopping</a></nobr></div><div "
            "id=guser width=100%><nobr><a href=\"/preferences?hl=en\" class=gb4>Preferences</a>"
            " | <a href=\"/accounts/Login\" class=gb4>Sign in</a></nobr></div>\n"
            "<table border=0 cellpadding=0 cellspacing=0 width=100%><tr><td valign=top><a "
            "href=\"/webhp?hl=en\"><img src=\"/images/logo_sm.gif\" width=150 height=55 "
            "alt=\"Go to the home page\" border=0></a></td><td>&nbsp;&nbsp;</td><td valign=top "
            "width=100% style=\"padding-top:0px\"><form name=gs method=GET action=/search><table "
            "border=0 cellpadding=0 cellspacing=0><tr><td nowrap><input type=hidden name=hl "
            "value=\"en\"><input type=text name=q size=41 maxlength=2048 value=\""
        + phrase
        + "\" title=\"Search\"> <input type=submit name=\"btnG\" "
          "value=\"Search\"></td></tr></table></form></td></tr></table>\n"
          "<table border=0 cellpadding=0 cellspacing=0 width=100% class=\"t bt\">"
          "<tr><td nowrap><font size=+1>&nbsp;<b>Web</b></font>&nbsp;</td><td "
          "align=right nowrap><font size=-1>Results <b>1</b> - <b>10</b> of about <b>"
        + grouped(resultCount(seed)) + "</b> for <b>" + phrase + "</b>.  (<b>0."
        + QByteArray::number(10 + rng.below(80))
        + "</b> seconds)&nbsp;</font></td></tr></table>\n<div id=res class=med>";

    const qsizetype tail = 6000;
    for (int number = 1; page.size() < target - tail; ++number)
        appendResult(page, rng, number, phrase);

    page += "</div>\n<table cellspacing=0 cellpadding=0 class=ads width=100%><tr><td><h2 "
            "class=sh>Sponsored Links</h2></td></tr>";
    for (int ad = 0; ad < 3; ++ad) {
        page += "<tr><td class=ad><a href=\"/aclk?sa=L&amp;ai=" + token(rng, 60) + "\">";
        appendWords(page, rng, 4);
        page += "</a><br><font color=green>www." + word(rng) + "shop.com</font><br>";
        appendWords(page, rng, 12);
        page += "&nbsp;-&nbsp;";
        appendWords(page, rng, 6);
        page += "</td></tr>";
    }
    page += "</table>\n<div id=navcnt><table id=nav align=center border=0 cellpadding=0 "
            "width=1%><tr valign=top><td nowrap><font size=-1>Result&nbsp;Page:&nbsp;</font></td>";
    for (int p = 1; p <= 10; ++p) {
        page += "<td><a href=\"/search?q=" + phrase + "&amp;start=" + QByteArray::number(p * 10)
            + "\">" + QByteArray::number(p) + "</a></td>";
    }
    page += "<td nowrap class=b><a href=\"/search?start=10\"><b>Next</b></a></td></tr></table>"
            "</div><br clear=all><center><table border=0 cellpadding=0 cellspacing=0 width=100%>"
            "<tr><td class=bb align=center><font size=-1><a href=\"/intl/en/about.html\">About"
            "</a> - <a href=\"/privacy.html\">Privacy</a> - <a href=\"/terms.html\">Terms</a>"
            "</font></td></tr></table></center></body></html>";
    return page;
}

QByteArray keywordDatabasePage(int rows, quint32 seed)
{
    Rng rng(seed);
    QByteArray seedWords;
    appendWords(seedWords, rng, 2);

    QByteArray page;
    page += "<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\"><html><head><title>"
            "Keyword suggestions for "
        + seedWords
        + "</title><style>table.kw td{padding:2px 6px}table.kw th{text-align:left}</style>"
          "<script>var rows="
        + QByteArray::number(rows)
        + ";if(rows<1){document.title='none'}</script></head><body>\n<table class=top "
          "width=100%><tr><td><a href=\"/\"><img src=\"/logo.png\" alt=\"Keywords\"></a>"
          "</td><td align=right><a href=\"/help\">Help</a> | <a href=\"/pricing\">Pricing"
          "</a></td></tr></table>\n<h1>Suggestions for <b>"
        + seedWords
        + "</b></h1>\n<table class=\"kw\" border=1 cellspacing=0><thead><tr><th>Searches</th>"
          "<th>Keyword</th></tr></thead>\n<tbody>\n";
    qint64 searches = 40000 + rng.below(400000);
    for (int row = 0; row < rows; ++row) {
        QByteArray phrase = seedWords + " ";
        appendWords(phrase, rng, 1 + rng.below(3));
        QByteArray query = phrase;
        query.replace(' ', '+');
        page += "<tr class=\"" + QByteArray(row % 2 ? "odd" : "even") + "\"><td align=right>"
            + grouped(searches) + "</td><td><a href=\"/suggest?term=" + query + "\">"
            + phrase.replace(' ', "&nbsp;") + "</a><br></td></tr>\n";
        searches -= searches / 40 + rng.below(50);
    }
    page += "</tbody></table>\n<p class=foot>Figures are monthly estimates.</p></body></html>";
    return page;
}

QByteArray nestedTablesPage()
{
    constexpr int depth = 30000;
    constexpr qsizetype bytes = 1024 * 1024;
    const QByteArrayView open = "<table><tr><td>";
    const QByteArrayView close = "</td></tr></table>";
    const QByteArrayView head = "<html><head><style>";
    const QByteArrayView body = "</style></head><body>";
    const QByteArrayView middle = "sponsored";
    const QByteArrayView end = "link</body></html>";

    QByteArray page;
    page.reserve(bytes);
    page += head;
    // The style block takes whatever the tables leave of the mebibyte.
    const qsizetype styleBytes = bytes - head.size() - body.size() - middle.size() - end.size()
        - depth * (open.size() + close.size());
    static const QByteArrayView rule = "td{padding:0;margin:0}\n";
    while (page.size() + rule.size() <= head.size() + styleBytes)
        page += rule;
    page.append(head.size() + styleBytes - page.size(), ' ');
    page += body;
    for (int i = 0; i < depth; ++i)
        page += open;
    page += middle;
    for (int i = 0; i < depth; ++i)
        page += close;
    page += end;
    return page;
}

} // namespace Quorvane
