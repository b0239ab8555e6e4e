#include "bench/peers.h"

#include <gumbo.h>
#include <libxml/HTMLparser.h>
#include <libxml/tree.h>
#include <myhtml/api.h>

#include <cstring>
#include <stdexcept>
#include <string_view>

namespace Quorvane {

void PageTextCollector::add(const char *text, size_t length)
{
    const size_t start = m_text.size();
    m_text.append(text, length);
    for (size_t i = start; i < m_text.size(); ++i) {
        const char c = m_text[i];
        if (c >= 'A' && c <= 'Z')
            m_text[i] = char(c + ('a' - 'A'));
    }
}

PeerFindings PageTextCollector::findings() const
{
    const std::string_view text(m_text);
    PeerFindings found;
    found.count = text.find("results 1 - 10 of about") != std::string_view::npos;
    found.sponsored = text.find("sponsored") != std::string_view::npos;
    found.link = text.find("link") != std::string_view::npos;
    return found;
}

namespace {

const GumboVector *gumboChildren(const GumboNode *node)
{
    switch (node->type) {
    case GUMBO_NODE_DOCUMENT:
        return &node->v.document.children;
    case GUMBO_NODE_ELEMENT:
    case GUMBO_NODE_TEMPLATE:
        if (node->v.element.tag == GUMBO_TAG_STYLE || node->v.element.tag == GUMBO_TAG_SCRIPT)
            return nullptr;
        return &node->v.element.children;
    default:
        return nullptr;
    }
}

} // namespace

// The walks below go by parent links instead of recursion: hostile pages nest tens of
// thousands of elements deep.
PeerFindings gumboFind(const QByteArray &page, PageTextCollector &text)
{
    GumboOutput *output =
        gumbo_parse_with_options(&kGumboDefaultOptions, page.constData(), size_t(page.size()));
    text.clear();
    const GumboNode *root = output->document;
    const GumboNode *node = root;
    while (node) {
        if (node->type == GUMBO_NODE_TEXT || node->type == GUMBO_NODE_WHITESPACE
            || node->type == GUMBO_NODE_CDATA)
            text.add(node->v.text.text, std::strlen(node->v.text.text));
        const GumboVector *children = gumboChildren(node);
        if (children && children->length > 0) {
            node = static_cast<const GumboNode *>(children->data[0]);
            continue;
        }
        while (node != root) {
            const GumboNode *parent = node->parent;
            const GumboVector *siblings = gumboChildren(parent);
            const size_t next = node->index_within_parent + 1;
            if (next < siblings->length) {
                node = static_cast<const GumboNode *>(siblings->data[next]);
                break;
            }
            node = parent;
        }
        if (node == root)
            break;
    }
    gumbo_destroy_output(&kGumboDefaultOptions, output);
    return text.findings();
}

namespace {

bool libxml2SkipsChildren(const xmlNode *node)
{
    return node->type == XML_ELEMENT_NODE && node->name
        && (xmlStrcasecmp(node->name, BAD_CAST "style") == 0
            || xmlStrcasecmp(node->name, BAD_CAST "script") == 0);
}

} // namespace

PeerFindings libxml2Find(const QByteArray &page, PageTextCollector &text)
{
    // Without XML_PARSE_HUGE the parser gives up 256 elements deep and would skip most of a
    // page of nested tables.
    constexpr int options = HTML_PARSE_RECOVER | HTML_PARSE_NONET | HTML_PARSE_NOERROR
        | HTML_PARSE_NOWARNING | XML_PARSE_HUGE;
    htmlDocPtr doc = htmlReadMemory(page.constData(), int(page.size()), nullptr, "UTF-8", options);
    text.clear();
    if (!doc)
        return {};
    const xmlNode *node = doc->children;
    while (node) {
        if ((node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) && node->content)
            text.add(reinterpret_cast<const char *>(node->content),
                     std::strlen(reinterpret_cast<const char *>(node->content)));
        if (node->children && node->type != XML_ENTITY_REF_NODE && !libxml2SkipsChildren(node)) {
            node = node->children;
            continue;
        }
        while (node && !node->next)
            node = node->parent == reinterpret_cast<const xmlNode *>(doc) ? nullptr : node->parent;
        if (node)
            node = node->next;
    }
    xmlFreeDoc(doc);
    return text.findings();
}

struct MyhtmlFinder::Private
{
    myhtml_t *myhtml = nullptr;
    myhtml_tree_t *tree = nullptr;
};

MyhtmlFinder::MyhtmlFinder()
    : d(std::make_unique<Private>())
{
    d->myhtml = myhtml_create();
    if (myhtml_init(d->myhtml, MyHTML_OPTIONS_PARSE_MODE_SINGLE, 1, 0) != MyHTML_STATUS_OK)
        throw std::runtime_error("myhtml_init failed");
    d->tree = myhtml_tree_create();
    if (myhtml_tree_init(d->tree, d->myhtml) != MyHTML_STATUS_OK)
        throw std::runtime_error("myhtml_tree_init failed");
}

MyhtmlFinder::~MyhtmlFinder()
{
    myhtml_tree_destroy(d->tree);
    myhtml_destroy(d->myhtml);
}

PeerFindings MyhtmlFinder::find(const QByteArray &page, PageTextCollector &text)
{
    text.clear();
    if (myhtml_parse(d->tree, MyENCODING_UTF_8, page.constData(), size_t(page.size()))
        != MyHTML_STATUS_OK)
        return {};
    myhtml_tree_node_t *root = myhtml_tree_get_document(d->tree);
    myhtml_tree_node_t *node = root;
    while (node) {
        const myhtml_tag_id_t tag = myhtml_node_tag_id(node);
        if (tag == MyHTML_TAG__TEXT) {
            size_t length = 0;
            const char *content = myhtml_node_text(node, &length);
            if (content)
                text.add(content, length);
        }
        myhtml_tree_node_t *child = (tag == MyHTML_TAG_STYLE || tag == MyHTML_TAG_SCRIPT)
            ? nullptr
            : myhtml_node_child(node);
        if (child) {
            node = child;
            continue;
        }
        while (node != root && !myhtml_node_next(node))
            node = myhtml_node_parent(node);
        node = node == root ? nullptr : myhtml_node_next(node);
    }
    return text.findings();
}

size_t countTagStarts(const QByteArray &page)
{
    const char *p = page.constData();
    const char *const end = p + page.size();
    size_t count = 0;
    while (p < end) {
        const void *hit = std::memchr(p, '<', size_t(end - p));
        if (!hit)
            break;
        ++count;
        p = static_cast<const char *>(hit) + 1;
    }
    return count;
}

} // namespace Quorvane
