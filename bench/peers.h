#pragma once

#include <QByteArray>

#include <memory>
#include <string>

namespace Quorvane {

// What a peer library's parse reveals about a result page: the two things our result parser
// looks for, found in the document's text (style and script contents left out).
struct PeerFindings
{
    bool count = false; // "results 1 - 10 of about", in any case
    bool sponsored = false;
    bool link = false;
};

// The document's text, ASCII-lower-cased as it is collected. One instance is reused across
// runs so that no peer pays for growing it again.
class PageTextCollector
{
public:
    void clear() { m_text.clear(); }
    void add(const char *text, size_t length);
    PeerFindings findings() const;

private:
    std::string m_text;
};

// Each finder parses the page into the library's tree, walks its text once and searches it.
PeerFindings gumboFind(const QByteArray &page, PageTextCollector &text);
PeerFindings libxml2Find(const QByteArray &page, PageTextCollector &text);

// myhtml keeps its parser and tree between pages, as a program reading many pages would.
class MyhtmlFinder
{
public:
    MyhtmlFinder();
    ~MyhtmlFinder();
    MyhtmlFinder(const MyhtmlFinder &) = delete;
    MyhtmlFinder &operator=(const MyhtmlFinder &) = delete;

    PeerFindings find(const QByteArray &page, PageTextCollector &text);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// The floor of any tag walk: every "<" of the page found with memchr. Returns how many.
size_t countTagStarts(const QByteArray &page);

} // namespace Quorvane
