// The linter's entry: parsing as Setup.exe parses, the walk from the root
// down to each configuration, and the closing run of Setup.exe's own reader.
#include "lint.h"

#include <filesystem>
#include <set>

#include "components/filters.h"
#include "config/document.h"
#include "base/text.h"
#include "lint_internal.h"
#include "os_codes.h"

namespace setup_check {

std::filesystem::path path_from_argument(const std::string& argument)
{
    return std::filesystem::u8path(argument);
}

bool parse_like_setup(const std::string& bytes, TiXmlDocument& document, config::text_encoding& encoding)
{
    encoding = config::detect_encoding(bytes);
    // Columns count characters: a tab is one, like any other.
    document.SetTabSize(1);
    return config::parse_document(document, std::string(bytes), encoding);
}

namespace lint_detail {

std::vector<diagnostic> linter::run(const std::string& bytes)
{
    if (!config::within_document_limits(bytes)) {
        diagnostic d;
        d.rule = "xml";
        d.message = "the document is larger than " + std::to_string(config::max_document_bytes / (1024 * 1024)) +
                    " MiB or nests elements deeper than " + std::to_string(config::max_element_depth) +
                    " levels: Setup.exe refuses it with \"Invalid configuration file, failed to parse XML elements.\"";
        found_.push_back(d);
        return found_;
    }
    TiXmlDocument document;
    config::text_encoding encoding;
    if (!parse_like_setup(bytes, document, encoding)) {
        diagnostic d;
        d.line = document.ErrorRow();
        d.column = document.ErrorCol();
        d.rule = "xml";
        d.message = std::string("not well-formed XML (") + document.ErrorDesc() +
                    "): Setup.exe fails with \"Invalid configuration file, failed to parse XML elements.\"";
        found_.push_back(d);
        return found_;
    }
    encoding_ = encoding;
    reader_ = std::make_unique<config::attribute_reader>(config::reading_system(sys_), encoding);
    check_comments(document);
    check_root(document.RootElement());
    if (errors_ == 0) cross_check_with_reader(document.RootElement());
    sort_diagnostics(found_);
    return found_;
}

// Setup.exe's parser accepts "--" inside a comment; XML does not, and
// editors, validators and other tools refuse the document.
void linter::check_comments(const TiXmlNode& node)
{
    for (const TiXmlNode* n = node.FirstChild(); n != nullptr; n = n->NextSibling()) {
        if (const TiXmlComment* c = n->ToComment()) {
            const std::string text = c->Value();
            if (text.find("--") != std::string::npos || (!text.empty() && text.back() == '-'))
                warning(c, "xml",
                        "the comment holds \"--\", which XML does not allow: Setup.exe reads the document, but "
                        "other XML tools (the schema validation among them) refuse it");
        }
        check_comments(*n);
    }
}

void linter::check_root(const TiXmlElement* root)
{
    if (root == nullptr) {
        diagnostic d;
        d.line = 1;
        d.column = 1;
        d.rule = "root";
        d.message = "the document has no element: Setup.exe fails with \"Invalid configuration file, node name not "
                    "supported, expected 'configurations'.\"";
        found_.push_back(d);
        ++errors_;
        return;
    }
    const std::string name = root->Value();
    if (name != "configurations") {
        error(root, lower(name) == "configurations" ? "keyword-case" : "root",
              "the root element is " + quoted(name) +
                  (lower(name) == "configurations" ? " (names are case-sensitive)" : "") +
                  ": Setup.exe expects \"configurations\" and fails with \"Invalid configuration file, node name "
                  "not supported, expected 'configurations'.\"");
        return;
    }
    check_attribute_names(*root, "configurations", {}, {}, {});
    check_child_names(*root, "configurations", {"configuration", "schema"});

    std::vector<const TiXmlElement*> configurations;
    for (const TiXmlElement* c = root->FirstChildElement(); c != nullptr; c = c->NextSiblingElement()) {
        const std::string n = c->Value();
        if (n == "configuration") configurations.push_back(c);
        if (n == "schema") check_attribute_names(*c, "schema", {"version"}, {}, {});
    }
    if (configurations.empty()) {
        error(root, "configuration",
              "no \"configuration\" element: Setup.exe fails with \"System not supported or invalid "
              "configuration, no valid 'configuration' node found.\"");
        return;
    }
    const TiXmlElement* catch_all = nullptr;
    for (const TiXmlElement* c : configurations) {
        if (catch_all != nullptr)
            warning(c, "unreachable",
                    "this configuration is never chosen: the one at line " + std::to_string(catch_all->Row()) +
                        " comes first and its empty lcid accepts every language");
        const bool silent = config::read_bool_attribute(has(*c, "install_silent")
                                                            ? value(*c, "install_silent").c_str()
                                                            : nullptr,
                                                        false);
        silent_ = silent;
        check_configuration(*c, silent);
        if (catch_all == nullptr && value(*c, "lcid").empty()) catch_all = c;
    }
}

// Runs Setup.exe's own reader on every configuration element, on every
// Windows version and every language the document names: what fails there
// must have been reported above. A failure that was not is reported with the
// reader's own message.
void linter::cross_check_with_reader(const TiXmlElement* root)
{
    std::set<std::uint16_t> languages = {1033};
    const auto collect = [&](const std::wstring& list) {
        for (const components::language_entry& entry : components::split_language_list(list)) {
            const std::int32_t n = entry.language;
            if (entry.is_number && n > 0 && n <= 0xFFFF) {
                languages.insert(static_cast<std::uint16_t>(n));
                // A language that a negated entry refuses, and one it accepts.
                if (n < 0xFFFF) languages.insert(static_cast<std::uint16_t>(n + 1));
            }
        }
    };
    std::vector<const TiXmlElement*> configurations;
    for (const TiXmlElement* c = root->FirstChildElement("configuration"); c != nullptr;
         c = c->NextSiblingElement("configuration")) {
        configurations.push_back(c);
        collect(value(*c, "lcid"));
        if (const TiXmlElement* list = c->FirstChildElement("components"))
            for (const TiXmlElement* k = list->FirstChildElement(); k != nullptr; k = k->NextSiblingElement())
                collect(value(*k, "os_filter_lcid"));
    }
    for (const TiXmlElement* c : configurations) {
        std::set<std::string> seen;
        for (const auto& code : os_codes()) {
            for (std::uint16_t language : languages) {
                stub_platform sys;
                sys.version = code.version;
                if (code.hotfix_q246009)
                    sys.machine_keys.insert(L"software\\microsoft\\windows nt\\currentversion\\hotfix\\q246009");
                sys.language = language;
                const config::attribute_reader reader(config::reading_system(sys), encoding_);
                config::configuration_settings settings;
                std::string failure;
                const base::result<bool> accepts = components::language_filter_matches(sys, sys, reader.text(*c, "lcid"));
                const base::status read = accepts ? config::read_configuration_node(reader, *c, settings)
                                                  : base::status(accepts.error());
                if (!read) failure = to_utf8(read.error().shown_text());
                if (!failure.empty() && seen.insert(failure).second)
                    error(c, "reader",
                          "Setup.exe cannot read this configuration on " + std::string(code.name) + " (code " +
                              std::to_string(code.code) + "), language " + std::to_string(language) + ": \"" +
                              failure + "\"");
            }
        }
    }
}

}  // namespace lint_detail

std::vector<diagnostic> lint_document(const std::string& bytes, const lint_options& options)
{
    return lint_detail::linter(options).run(bytes);
}

}  // namespace setup_check
