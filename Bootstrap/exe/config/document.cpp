#include "config/document.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "base/text.h"
#include "tinyxml.h"

namespace config {

namespace {

bool starts_with(const std::string& s, std::size_t at, const char* prefix)
{
    return s.compare(at, std::char_traits<char>::length(prefix), prefix) == 0;
}

// The value of `encoding` in a leading XML declaration; false when there is
// no declaration or it names no encoding.
bool declared_encoding(const std::string& doc, std::size_t start, std::string& value)
{
    if (!starts_with(doc, start, "<?xml")) return false;
    const std::size_t end = doc.find("?>", start);
    if (end == std::string::npos) return false;
    const std::string decl = doc.substr(start, end - start);
    std::size_t pos = decl.find("encoding");
    if (pos == std::string::npos) return false;
    pos += 8;
    while (pos < decl.size() && (decl[pos] == ' ' || decl[pos] == '\t' || decl[pos] == '\r' || decl[pos] == '\n')) ++pos;
    if (pos >= decl.size() || decl[pos] != '=') return false;
    ++pos;
    while (pos < decl.size() && (decl[pos] == ' ' || decl[pos] == '\t' || decl[pos] == '\r' || decl[pos] == '\n')) ++pos;
    if (pos >= decl.size() || (decl[pos] != '"' && decl[pos] != '\'')) return false;
    const char quote = decl[pos++];
    const std::size_t close = decl.find(quote, pos);
    if (close == std::string::npos) return false;
    value = decl.substr(pos, close - pos);
    return !value.empty();
}

}  // namespace

bool parse_document(TiXmlDocument& document, std::string&& bytes, text_encoding encoding)
{
    // The parser reads a zero-terminated buffer: whatever follows an embedded
    // zero byte is not part of the document. In UTF-8 mode it takes a lead
    // byte's whole sequence at once, even one cut short by the end of the
    // document, and so can step over the terminator: the zero bytes after it
    // stop it there.
    bytes.append(8, '\0');
    document.Parse(bytes.c_str(), nullptr,
                   encoding == text_encoding::utf8 ? TIXML_ENCODING_UTF8 : TIXML_ENCODING_LEGACY);
    std::string().swap(bytes);
    return !document.Error();
}

namespace {

bool blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The ">" that ends the start tag at `i` (or `n`), found outside quoted
// attribute values; each of its attributes (an "=" outside a value) counts
// as a node.
std::size_t end_of_start_tag(const char* d, std::size_t i, std::size_t n, std::size_t& nodes)
{
    char quote = 0;
    std::size_t j = i + 1;
    for (; j < n; ++j) {
        if (quote != 0) {
            if (d[j] == quote) quote = 0;
        } else if (d[j] == '"' || d[j] == '\'') {
            quote = d[j];
        } else if (d[j] == '=') {
            ++nodes;
        } else if (d[j] == '>') {
            break;
        }
    }
    return j;
}

}  // namespace

bool within_document_limits(const std::string& document)
{
    if (document.size() > max_document_bytes) return false;
    // Counts the nodes the parser will make, an upper bound: every element
    // and attribute, every comment, CDATA section, declaration and other
    // "<?...>" or "<!...>", and every run of text that is not blank. Each
    // costs the parser far more than its bytes, whatever it is. The parser
    // stops at the first zero byte, so does this.
    const std::size_t n = std::min(document.size(), std::strlen(document.c_str()));
    const char* d = document.c_str();
    int depth = 0;
    std::size_t nodes = 0;
    // Searches within the first n bytes only, so that each search costs what
    // it passes over.
    const std::string_view within(d, n);
    auto skip_past = [&](std::size_t from, const char* end_mark) {
        const std::size_t found = within.find(end_mark, std::min(from, n));
        return found == std::string_view::npos ? n : found + std::strlen(end_mark);
    };
    for (std::size_t i = 0; i < n;) {
        if (d[i] != '<') {
            bool text = false;
            for (; i < n && d[i] != '<'; ++i) text = text || !blank(d[i]);
            if (text && ++nodes > max_document_nodes) return false;
            continue;
        }
        if (d[i + 1] == '/') {
            if (depth > 0) --depth;
            i = skip_past(i + 2, ">");
            continue;
        }
        if (++nodes > max_document_nodes) return false;
        if (std::strncmp(d + i, "<!--", 4) == 0) {
            i = skip_past(i + 4, "-->");
        } else if (std::strncmp(d + i, "<![CDATA[", 9) == 0) {
            i = skip_past(i + 9, "]]>");
        } else if (d[i + 1] == '?' || d[i + 1] == '!') {
            i = skip_past(i + 2, ">");
        } else {
            const std::size_t j = end_of_start_tag(d, i, n, nodes);
            if (nodes > max_document_nodes) return false;
            if (j >= n || d[j - 1] != '/') {
                if (++depth > max_element_depth) return false;
            }
            i = j + 1;
        }
    }
    return true;
}

text_encoding detect_encoding(const std::string& document)
{
    if (starts_with(document, 0, "\xEF\xBB\xBF")) return text_encoding::utf8;
    // The parser skips white space before the declaration, and so does this.
    const std::size_t start = document.find_first_not_of(" \t\r\n");
    std::string declared;
    if (start != std::string::npos && declared_encoding(document, start, declared)) {
        const std::wstring name = text::ascii_lower(text::narrow_to_wide_ascii(declared));
        return (name == L"utf-8" || name == L"utf8") ? text_encoding::utf8 : text_encoding::ansi;
    }
    return text::is_valid_utf8(document) ? text_encoding::utf8 : text_encoding::ansi;
}

}  // namespace config
