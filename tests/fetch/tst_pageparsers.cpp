// What the differential test cannot judge, since the reference shares it with the parsers: the
// decoding of page bytes, the byte folding and the reading of a count in any locale; and the page
// check tool built on the parsers.

#include "fetch/pageparsers.h"
#include "fetch/pagescan.h"
#include "fetch/pagetext.h"
#include "fetch/tagscanner.h"
#include "tests/support/testfiles.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <vector>

using namespace Quorvane;

class tst_PageParsers final : public QObject
{
    Q_OBJECT

private Q_SLOTS:

    // Result pages are English pages: their counts read the English way in any locale.
    void countIsReadWithEnglishRulesInEveryLocale_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("word");
        QTest::addColumn<QString>("results");
        const auto row = [](const char *label, const char *locale, const char *word,
                            const char *results) {
            QTest::newRow(label) << locale << word << results;
        };
        row("grouped thousands, English", "en_US", "1,234,567", "1234567");
        row("fraction rounded, English", "en_US", "2.5", "3");
        row("one separator, German", "de_DE", "243,697", "243697");
        row("two separators, German", "de_DE", "1,234,567", "1234567");
        row("fraction rounded, German", "de_DE", "2.5", "3");
        row("German grouping is no number", "de_DE", "1.234.567", "1.234.567");
    }

    void countIsReadWithEnglishRulesInEveryLocale()
    {
        QFETCH(QString, locale);
        QFETCH(QString, word);
        QLocale::setDefault(QLocale(locale));
        const auto restore = qScopeGuard([] { QLocale::setDefault(QLocale::system()); });
        SuggestionTable table;
        const bool stop = false;
        const QString page =
            QStringLiteral("<table>Results 1 - 10 of about <b>%1</b> for x</table>");
        QVERIFY(parseGoogleResults(page.arg(word), u"5", table, stop, nullptr));
        QTEST(table.entries[5].results, "results");
    }

    // Page text takes a short cut for ASCII pages; it must read every page as the system decoder
    // does, whichever byte first leaves ASCII, and keep an empty page apart from a missing one.
    void pageTextIsTheSystemDecoding()
    {
        QCOMPARE(pageText(QByteArray()).isNull(), QString::fromLocal8Bit(QByteArray()).isNull());
        QCOMPARE(pageText(QByteArray("")).isNull(),
                 QString::fromLocal8Bit(QByteArray("")).isNull());
        QRandomGenerator random(6);
        const QList<QByteArray> outside = {
            "\x80",         "\xff", "\xc3\xa9",         "\xe2\x84\xaa",
            "\xef\xbb\xbf", "\xc3", "\xf0\x9f\x98\x80", "\xed\xa0\x80"};
        for (int size = 0; size < 70; ++size) {
            QByteArray ascii(size, Qt::Uninitialized);
            for (char &byte : ascii)
                byte = char(random.bounded(0x80)); // NUL included
            QCOMPARE(pageText(ascii), QString::fromLocal8Bit(ascii));
            for (int at = 0; at <= size; ++at) {
                const QByteArray page = QByteArray(ascii).insert(at, outside.at(random.bounded(8)));
                QCOMPARE(pageText(page), QString::fromLocal8Bit(page));
            }
        }
    }

    // The fast parsers search folded bytes; they must agree with lowerCase() on every unit that
    // lower-cases into ASCII, and never turn anything else into ASCII.
    void byteFoldMatchesLowerCaseForEveryUnit()
    {
        std::vector<char16_t> units(0x10000);
        for (uint u = 0; u < 0x10000; ++u)
            units[u] = char16_t(u);
        std::vector<unsigned char> folded(units.size());
        PageScan::foldInto(folded.data(), units.data(), units.data() + units.size());
        for (uint u = 0; u < 0x10000; ++u) {
            const char16_t lower = lowerCase(QStringView(&units[u], 1)).at(0).unicode();
            const unsigned char expected = lower < 0x80 ? static_cast<unsigned char>(lower) : 0x80;
            if (folded[u] != expected || PageScan::fold(char16_t(u)) != expected)
                QFAIL(qPrintable(QStringLiteral("unit %1").arg(u, 4, 16, QLatin1Char('0'))));
        }
    }

    // The page check tool run as a person runs it: its JSON for saved pages, and its exit codes.
    void pageCheckToolPrintsJsonForSavedPages()
    {
        QTemporaryDir dir;
        // The tool's JSON for one page; an empty object unless it ends with exitCode.
        const auto run = [&dir](const char *page, QStringList arguments, int exitCode) {
            const QString file = dir.filePath(QStringLiteral("page.html"));
            QProcess process;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("de_DE.UTF-8"));
            process.setProcessEnvironment(environment);
            arguments.insert(1, file);
            // The page is in place before the tool starts, which reads it at once.
            if (!Quorvane::TestSupport::writeAll(file, page))
                return QJsonObject {{"failed", true}};
            process.start(QStringLiteral(QUORVANE_PAGECHECK), arguments);
            const bool ended = process.waitForFinished(30000) && process.exitCode() == exitCode;
            return ended ? QJsonDocument::fromJson(process.readAllStandardOutput()).object()
                         : QJsonObject {{"failed", true}};
        };
        const QJsonObject keyword =
            run("<table><tbody><tr><td>1200</td><td>caf\xc3\xa9</td></tr><tr><td>7</td>",
                {"keyword"}, 0);
        QCOMPARE(QJsonDocument(keyword.value("entries").toArray()).toJson(QJsonDocument::Compact),
                 QByteArray(R"([{"keyword":"café","searches":"1200"}])"));
        QCOMPARE(keyword.value("next").toObject().value("searches").toString(),
                 QStringLiteral("7"));
        QCOMPARE(keyword.value("status").toArray().size(), 8);
        // Under de_DE: English counts with one and with two separators.
        for (const char *count : {"243,697", "1,234,567"}) {
            const QByteArray page = QByteArray("<table>Results 1 - 10 of about <b>") + count
                + "</b></table><table>Sponsored Links</table>";
            const QJsonObject counted = run(page.constData(), {"results", "7"}, 0);
            QCOMPARE(counted.value("results").toString(), QString::fromLatin1(count).remove(u','));
        }
        const QJsonObject results = run("<table>Results 1 - 10 of about <b>1,234</b></table>"
                                        "<table>Sponsored Links</table>",
                                        {"results", "7", "--repeat", "3"}, 0);
        QCOMPARE(results.value("entry").toInt(), 7);
        QCOMPARE(results.value("results").toString(), QStringLiteral("1234"));
        QVERIFY(results.value("hasAds").toBool());
        QVERIFY(results.value("ms_per_page").toDouble(-1) >= 0);
        QCOMPARE(run("", {"results", "7", "8"}, 2), QJsonObject()); // a usage error, nothing out
    }
};

QTEST_GUILESS_MAIN(tst_PageParsers)
#include "tst_pageparsers.moc"
