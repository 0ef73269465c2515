// The version information resource (VS_VERSIONINFO): read as a tree of
// blocks, its texts and numbers changed, and written back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pack {

struct version_block {
    std::u16string key;
    bool text = false;   // the value is UTF-16 text (a String), else bytes
    std::string value;   // as stored, without padding
    std::vector<version_block> children;
};

// An empty text when `bytes` hold one whole block, else what is wrong.
std::string parse_version_info(const std::string& bytes, version_block& root);
std::string write_version_info(const version_block& root);

// The branding's texts and version; empty ones are left as they are.
struct version_texts {
    std::string product_name, product_version, company, copyright;  // UTF-8
};

// "2.5.1" as the four numbers of the fixed part; false unless it is one to
// four dotted numbers of 0 to 65535.
bool parse_product_version(const std::string& text, std::uint16_t (&parts)[4]);

// Puts the texts into every string table, the version into the fixed part:
// ProductName and FileDescription ("NAME Setup"), ProductVersion and
// FileVersion, CompanyName, LegalCopyright.
std::string apply_version_texts(version_block& root, const version_texts& texts);

std::u16string utf16(const std::string& utf8);

}  // namespace pack
