// The checks of a setup.xml: everything in it that Setup.exe reads
// differently than a publisher would expect, or that makes it fail.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "config/reader.h"
#include "diagnostics.h"

class TiXmlDocument;

namespace setup_check {

struct lint_options {
    // The installation medium's folder (what #APPPATH stands for); empty: the
    // files that the configuration takes from the medium are not looked for.
    std::string medium_dir;
};

// Parses the document as Setup.exe does (the encoding from a byte-order
// mark, the declaration or the bytes themselves). False on a parse error.
bool parse_like_setup(const std::string& bytes, TiXmlDocument& document, config::text_encoding& encoding);

// A path as the command line gives it: UTF-8 on every system (utf8_main.h).
std::filesystem::path path_from_argument(const std::string& argument);

// Every problem of one document, sorted by place.
std::vector<diagnostic> lint_document(const std::string& bytes, const lint_options& options);

}  // namespace setup_check
