// Report names and service addresses from arbitrary typed keywords. A report name is one plain
// file of the report folder on every system the program runs on: never empty, no path
// separator, no NUL or other control character, no reserved device name, at most 200 bytes.
// An address carries the keyword as unreserved characters, "+" and percent escapes only, and
// decodes back to exactly the typed text.
//
// Input: the keyword as UTF-8; an input starting with byte 0x01 gives it as raw UTF-16 units
// after that byte (lone surrogates included).

#include "fuzz/fuzzsupport.h"
#include "results/reportfile.h"
#include "sources/serviceaddresses.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>

using namespace Quorvane;
using namespace Quorvane::Fuzz;

namespace {

constexpr int MaxNameBytes = 200;

const QTemporaryDir &scratchFolder()
{
    static const QTemporaryDir folder;
    if (!folder.isValid())
        fail(QStringLiteral("no temporary folder"));
    return folder;
}

// Windows treats these as devices whatever the extension, in any letter case.
bool isReservedDeviceName(const QString &fileName)
{
    const QString base = fileName.section(u'.', 0, 0).toLower();
    static const QStringList fixed = {QStringLiteral("con"),    QStringLiteral("prn"),
                                      QStringLiteral("aux"),    QStringLiteral("nul"),
                                      QStringLiteral("conin$"), QStringLiteral("conout$")};
    if (fixed.contains(base))
        return true;
    if (base.size() != 4
        || !(base.startsWith(QStringLiteral("com")) || base.startsWith(QStringLiteral("lpt"))))
        return false;
    const QChar last = base.at(3);
    return (last >= u'0' && last <= u'9') || last == u'\u00b9' || last == u'\u00b2'
        || last == u'\u00b3';
}

bool isPlainKeyword(const QString &keyword)
{
    if (keyword.isEmpty() || keyword.size() > 150)
        return false;
    for (const QChar c : keyword) {
        const bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z')
            || (c >= u'0' && c <= u'9') || c == u' ' || c == u'-' || c == u'_';
        if (!plain)
            return false;
    }
    return true;
}

void checkReportName(const QString &keyword)
{
    const QString name = reportFileName(keyword);
    const QStringList details {QStringLiteral("keyword: ") + visible(keyword),
                               QStringLiteral("name: ") + visible(name)};
    QUORVANE_FUZZ_CHECK(
        name == reportStem(keyword) + QStringLiteral(".kwd") && name == reportFileName(keyword),
        QStringLiteral("the name is not the stem and \".kwd\", the same every time"), details);
    QUORVANE_FUZZ_CHECK(name.size() > 4, QStringLiteral("empty report name"), details);
    QUORVANE_FUZZ_CHECK(QFile::encodeName(name).size() <= MaxNameBytes
                            && name.toUtf8().size() <= MaxNameBytes,
                        QStringLiteral("report name over %1 bytes").arg(MaxNameBytes), details);
    for (const QChar c : name) {
        const char16_t u = c.unicode();
        QUORVANE_FUZZ_CHECK(u >= 0x20 && u != 0x7f && !(u >= 0x80 && u <= 0x9f),
                            QStringLiteral("control character in a report name"), details);
        QUORVANE_FUZZ_CHECK(!QStringView(u"/\\:*?\"<>|").contains(c),
                            QStringLiteral("a character no file name may hold"), details);
    }
    QUORVANE_FUZZ_CHECK(!isReservedDeviceName(name), QStringLiteral("reserved device name"),
                        details);

    const QString folder = QDir::cleanPath(scratchFolder().path());
    const QString path = QDir::cleanPath(ReportFolder(folder).filePath(name));
    QUORVANE_FUZZ_CHECK(path.startsWith(folder + u'/')
                            && !path.mid(folder.size() + 1).contains(u'/'),
                        QStringLiteral("the report leaves its folder"), details);
    QFile file(path);
    QUORVANE_FUZZ_CHECK(file.open(QIODevice::WriteOnly),
                        QStringLiteral("the report cannot be created"),
                        details + QStringList {file.errorString()});
    file.close();
    QUORVANE_FUZZ_CHECK(QFile::remove(path), QStringLiteral("the report cannot be removed"),
                        details);

    // Ordinary keywords keep the plain name the user can find in the folder.
    if (isPlainKeyword(keyword) && !isReservedDeviceName(keyword))
        QUORVANE_FUZZ_CHECK(name == keyword.toLower().replace(u' ', u'_') + QStringLiteral(".kwd"),
                            QStringLiteral("an ordinary keyword got another name"), details);
}

QByteArray decodePhrase(const QString &encoded, const QStringList &details)
{
    auto hex = [&](QChar c) {
        const char16_t u = c.unicode();
        if (u >= u'0' && u <= u'9')
            return int(u - u'0');
        if (u >= u'A' && u <= u'F')
            return int(u - u'A' + 10);
        fail(QStringLiteral("not an upper-case hex digit after %"), details);
    };
    QByteArray bytes;
    for (qsizetype i = 0; i < encoded.size(); ++i) {
        const QChar c = encoded.at(i);
        const char16_t u = c.unicode();
        if (u == u'+') {
            bytes += ' ';
        } else if (u == u'%') {
            QUORVANE_FUZZ_CHECK(i + 2 < encoded.size(), QStringLiteral("cut percent escape"),
                                details);
            bytes += char(hex(encoded.at(i + 1)) * 16 + hex(encoded.at(i + 2)));
            i += 2;
        } else {
            const bool unreserved = (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z')
                || (u >= u'0' && u <= u'9') || u == u'-' || u == u'_' || u == u'.' || u == u'~';
            QUORVANE_FUZZ_CHECK(unreserved, QStringLiteral("a reserved character in an address"),
                                details);
            bytes += char(u);
        }
    }
    return bytes;
}

void checkAddress(const QString &keyword, const QString &address, const QString &prefix,
                  const QString &suffix)
{
    const QStringList details {QStringLiteral("keyword: ") + visible(keyword),
                               QStringLiteral("address: ") + visible(address)};
    QUORVANE_FUZZ_CHECK(address.startsWith(prefix) && address.endsWith(suffix)
                            && address.size() >= prefix.size() + suffix.size(),
                        QStringLiteral("the address lost its fixed pieces"), details);
    const QString phrase =
        address.mid(prefix.size(), address.size() - prefix.size() - suffix.size());
    QUORVANE_FUZZ_CHECK(decodePhrase(phrase, details) == keyword.toUtf8(),
                        QStringLiteral("the address does not carry the typed keyword"), details);
    // The fetcher hands the address to QUrl; the request must go out byte for byte.
    const QUrl url(address);
    QUORVANE_FUZZ_CHECK(url.isValid() && url.toEncoded() == address.toLatin1(),
                        QStringLiteral("QUrl changes the address"),
                        details + QStringList {QString::fromLatin1(url.toEncoded())});
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    InputReader input(data, size);
    const bool utf16 = size > 0 && data[0] == 0x01;
    if (utf16)
        input.byte();
    const QString keyword = textFromBytes(input.rest(), utf16);

    checkReportName(keyword);

    const ServiceEndpoints builtIn = builtInEndpoints();
    checkAddress(keyword, keywordDatabaseAddress(keyword), builtIn.keywordPrefix,
                 builtIn.keywordSuffix);
    checkAddress(keyword, queryAddress(keyword), builtIn.queryPrefix, builtIn.querySuffix);
    return 0;
}
