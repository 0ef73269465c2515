// The names and words of a configuration: element and attribute names,
// keywords and booleans, checked against what Setup.exe reads, with the
// likely misspelling or miscasing named.
#include <algorithm>
#include <set>

#include "base/text.h"
#include "lint_internal.h"

namespace setup_check {
namespace lint_detail {

namespace {

// What a publisher meant by a boolean's text: "true" or "false" as Setup.exe
// understands them, another word for yes or no, or nothing recognisable.
enum class boolean_word { exact, truthy, falsy, other };

boolean_word classify_boolean(const std::wstring& v)
{
    const std::wstring word = text::ascii_lower(v);
    if (word == L"true" || word == L"false") return boolean_word::exact;
    static const std::set<std::wstring> truthy = {L"yes", L"y", L"on", L"1", L"t", L"enabled", L"enable", L"true"};
    static const std::set<std::wstring> falsy = {L"no", L"n", L"off", L"0", L"f", L"disabled", L"disable", L"false"};
    const std::wstring trimmed = text::trim(word);
    if (truthy.count(trimmed) > 0) return boolean_word::truthy;
    if (falsy.count(trimmed) > 0) return boolean_word::falsy;
    return boolean_word::other;
}

}  // namespace

const char* const marker_names[4] = {"#APPPATH", "#SYSTEMPATH", "#WINDOWSPATH", "#TEMPPATH"};

std::string lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string upper(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

std::size_t edit_distance(const std::string& a, const std::string& b)
{
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

std::string suggestion(const std::string& word, const std::set<std::string>& known)
{
    std::string best;
    std::size_t best_distance = 3;
    for (const auto& k : known) {
        const std::size_t d = edit_distance(lower(word), lower(k));
        if (d < best_distance && d * 3 <= k.size()) {
            best = k;
            best_distance = d;
        }
    }
    return best;
}

std::string case_variant(const std::string& word, const std::set<std::string>& known)
{
    for (const auto& k : known)
        if (k != word && lower(k) == lower(word)) return k;
    return "";
}

std::string miscased(const std::string& what, const std::string& written, const std::string& variant)
{
    return what + " " + quoted(written) + " is not " + quoted(variant) + " (keywords are case-sensitive)";
}

std::string quoted(const std::string& utf8) { return "\"" + utf8 + "\""; }
std::string quoted(const std::wstring& text) { return quoted(to_utf8(text)); }

void split_kind_attributes(const std::map<std::string, std::set<std::string>>& kinds, const std::string& kind,
                           std::set<std::string>& read, std::set<std::string>& elsewhere)
{
    for (const auto& k : kinds) {
        if (k.first == kind || kind.empty())
            read.insert(k.second.begin(), k.second.end());
        else
            elsewhere.insert(k.second.begin(), k.second.end());
    }
    // Kinds may share an attribute: it is read, whichever kind it belongs to.
    for (const auto& r : read) elsewhere.erase(r);
}

void linter::check_attribute_names(const TiXmlElement& e, const std::string& what, const std::set<std::string>& read,
                                   const std::set<std::string>& inert, const std::set<std::string>& elsewhere)
{
    std::set<std::string> all = read;
    all.insert(inert.begin(), inert.end());
    for (const TiXmlAttribute* a = e.FirstAttribute(); a != nullptr; a = a->Next()) {
        const std::string name = a->Name();
        if (all.count(name) > 0) continue;
        if (elsewhere.count(name) > 0) {
            warning(a, "ignored", "attribute " + quoted(name) + " is not read for this kind of " + what);
            continue;
        }
        if (check_name_case(a, "attribute", name, read)) continue;
        const std::string inert_variant = case_variant(name, inert);
        if (!inert_variant.empty()) {
            warning(a, "keyword-case", "attribute " + quoted(name) + " would be " + quoted(inert_variant) +
                                           " (which has no effect either)");
            continue;
        }
        report_unknown_name(a, "unknown-attribute", "unknown attribute " + quoted(name) + " of " + what, name, read);
    }
}

void linter::check_child_names(const TiXmlElement& e, const std::string& what, const std::set<std::string>& known)
{
    for (const TiXmlElement* c = e.FirstChildElement(); c != nullptr; c = c->NextSiblingElement()) {
        const std::string name = c->Value();
        if (known.count(name) > 0) continue;
        if (check_name_case(c, "element", name, known)) continue;
        report_unknown_name(c, "unknown-element", "element " + quoted(name) + " inside " + what, name, known);
    }
}

// A name that is a known one in another letter case is not read: true when
// that is so and reported.
bool linter::check_name_case(const TiXmlBase* at, const std::string& noun, const std::string& name,
                             const std::set<std::string>& known)
{
    const std::string variant = case_variant(name, known);
    if (variant.empty()) return false;
    error(at, "keyword-case",
          noun + " " + quoted(name) + " is not read: names are case-sensitive, write " + quoted(variant));
    return true;
}

// An unknown name near a known one is most likely a misspelling of it, and
// an error; any other is a warning.
void linter::report_unknown_name(const TiXmlBase* at, const std::string& rule, const std::string& head,
                                 const std::string& name, const std::set<std::string>& known)
{
    const std::string guess = suggestion(name, known);
    if (!guess.empty())
        error(at, rule, head + " is ignored: did you mean " + quoted(guess) + "?");
    else
        warning(at, rule, head + " is ignored");
}

void linter::check_keyword(const TiXmlElement& e, const char* name, const std::set<std::string>& keywords,
                           const std::string& failure)
{
    const std::string v = to_utf8(value(e, name));
    if (keywords.count(v) > 0) return;
    const std::string variant = case_variant(v, keywords);
    std::string list;
    for (const auto& k : keywords) {
        if (k.empty()) continue;
        if (!list.empty()) list += ", ";
        list += k;
    }
    if (!variant.empty())
        error(place(e, name), "keyword-case", miscased(name, v, variant) + ": " + failure);
    else if (v.empty())
        error(place(e, name), name, std::string(name) + " is missing (" + list + "): " + failure);
    else
        error(place(e, name), name, std::string(name) + " " + quoted(v) + " is not one of " + list + ": " + failure);
}

// Anything but "true" and "false" reads as the attribute's default.
void linter::check_boolean(const TiXmlElement& e, const char* name, bool fallback)
{
    if (!has(e, name)) return;
    const std::wstring v = value(e, name);
    const boolean_word word = classify_boolean(v);
    if (word == boolean_word::exact) return;
    const std::string head = std::string(name) + "=" + quoted(v);
    const std::string reads = fallback ? "true" : "false";
    const bool empty = text::trim(v).empty();
    if (word == (fallback ? boolean_word::falsy : boolean_word::truthy))
        error(place(e, name), "boolean",
              head + " reads as " + reads + ": only \"true\" and \"false\" (in any letter case, without blanks) "
                     "are understood");
    else if (empty && fallback)
        warning(place(e, name), "boolean",
                head + " reads as true, the default: only \"true\" and \"false\" are understood; write one of "
                       "them or leave the attribute out");
    else if (word != boolean_word::other || empty)
        warning(place(e, name), "boolean",
                head + " reads as " + reads + ", as intended, but only \"true\" and \"false\" are understood: "
                       "write \"" + reads + "\"");
    else
        error(place(e, name), "boolean",
              head + " is not a boolean and reads as " + reads + ": write \"true\" or \"false\"");
}

void linter::check_presence_boolean(const TiXmlElement& e, const char* name)
{
    if (!has(e, name)) return;
    const std::wstring v = value(e, name);
    const boolean_word word = classify_boolean(v);
    if (word == boolean_word::exact) return;
    const std::string head = std::string(name) + "=" + quoted(v);
    if (v.empty())
        error(place(e, name), "boolean",
              std::string(name) + " is present but empty, which counts as true: write \"true\", or leave the "
                                  "attribute out for false");
    else if (word == boolean_word::falsy)
        error(place(e, name), "boolean",
              head + " counts as true: a present " + name +
                  " is true unless it says \"false\"; write \"false\" or leave it out");
    else if (word == boolean_word::truthy)
        warning(place(e, name), "boolean", head + " counts as true, as intended, but write \"true\"");
    else
        warning(place(e, name), "boolean", head + " is not a boolean and counts as true: write \"true\" or \"false\"");
}

}  // namespace lint_detail
}  // namespace setup_check
