// A configuration document's bytes on their way to the parser: how its
// attribute texts are decoded, the limits checked first, and the parse.
#pragma once

#include <cstddef>
#include <string>

class TiXmlDocument;

namespace config {

// How attribute bytes become wide text.
enum class text_encoding { utf8, ansi };

// UTF-8 when the document says so (byte-order mark or declaration), the ANSI
// code page when it declares any other encoding, and otherwise UTF-8 when its
// bytes are valid UTF-8.
text_encoding detect_encoding(const std::string& document);

// Limits checked before the parser sees a document: far beyond any real
// configuration, they keep a hostile one from exhausting memory or, through
// the parser's recursion, the stack. The size alone does not bound the tree:
// a few bytes make a node (an empty element, an empty comment, "<!>"), and
// each costs the parser far more than its bytes, so nodes are counted too.
constexpr std::size_t max_document_bytes = 64u * 1024u * 1024u;
constexpr int max_element_depth = 256;
constexpr std::size_t max_document_nodes = 1000000;  // every node of the parser's tree, attributes included

// True when the document is within all three limits.
bool within_document_limits(const std::string& document);

// Parses a whole document, then frees its bytes (the tree holds copies of
// everything). False when the parser reports an error.
bool parse_document(TiXmlDocument& document, std::string&& bytes, text_encoding encoding);

}  // namespace config
