#include "version_info.h"

#include "pe_image.h"

namespace pack {
namespace {

std::size_t align4(std::size_t n) { return (n + 3) & ~static_cast<std::size_t>(3); }

// One block at `at`, no longer than `end`; its end in `next`.
bool parse_block(const std::string& b, std::size_t at, std::size_t end, version_block& out, int depth)
{
    if (depth > 4 || end - at < 6) return false;
    const std::size_t length = read_le(b, at, 2), value_length = read_le(b, at + 2, 2);
    if (length < 6 || length > end - at) return false;
    const std::size_t block_end = at + length;
    out.text = read_le(b, at + 4, 2) == 1;
    std::size_t p = at + 6;
    for (;; p += 2) {
        if (p + 2 > block_end) return false;
        const char16_t c = static_cast<char16_t>(read_le(b, p, 2));
        if (c == 0) break;
        out.key += c;
    }
    p = align4(p + 2);
    const std::size_t value_bytes = out.text ? 2 * value_length : value_length;
    if (p > block_end || value_bytes > block_end - p) return false;
    out.value = b.substr(p, value_bytes);
    // A text's length counts its terminating zero, which is not kept.
    while (out.text && out.value.size() >= 2 && out.value.compare(out.value.size() - 2, 2, std::string(2, '\0')) == 0)
        out.value.resize(out.value.size() - 2);
    for (p = align4(p + value_bytes); p < block_end; ) {
        version_block child;
        if (!parse_block(b, p, block_end, child, depth + 1)) return false;
        p = align4(p + read_le(b, p, 2));
        out.children.push_back(std::move(child));
    }
    return true;
}

void put16(std::string& out, std::uint32_t v)
{
    out += static_cast<char>(v & 0xff);
    out += static_cast<char>(v >> 8 & 0xff);
}

std::string encode(const std::u16string& text)
{
    std::string out;
    for (char16_t c : text) put16(out, c);
    return out;
}

version_block* child(version_block& parent, const std::u16string& key)
{
    for (auto& c : parent.children)
        if (c.key == key) return &c;
    return nullptr;
}

void set_text(version_block& table, const std::u16string& key, const std::string& utf8)
{
    version_block* found = child(table, key);
    if (found == nullptr) {
        table.children.emplace_back();
        found = &table.children.back();
        found->key = key;
        found->text = true;
    }
    found->value = encode(utf16(utf8));
}

}  // namespace

std::u16string utf16(const std::string& utf8)
{
    std::u16string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        const int extra = c >= 0xf0 ? 3 : c >= 0xe0 ? 2 : c >= 0xc0 ? 1 : 0;
        std::uint32_t code = extra == 0 ? c : c & (0x3f >> extra);
        for (int k = 1; k <= extra && i + k < utf8.size(); ++k)
            code = code << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3f);
        i += 1 + extra;
        if (code >= 0x10000) {
            out += static_cast<char16_t>(0xd800 + ((code - 0x10000) >> 10));
            out += static_cast<char16_t>(0xdc00 + ((code - 0x10000) & 0x3ff));
        } else {
            out += static_cast<char16_t>(code);
        }
    }
    return out;
}

std::string parse_version_info(const std::string& bytes, version_block& root)
{
    root = version_block();
    return parse_block(bytes, 0, bytes.size(), root, 0) ? std::string() : "has damaged version information";
}

std::string write_version_info(const version_block& block)
{
    std::string out(6, '\0');
    out += encode(block.key);
    put16(out, 0);
    out.resize(align4(out.size()), '\0');
    std::string value = block.value;
    if (block.text && !value.empty()) put16(value, 0);
    out += value;
    for (const auto& c : block.children) {
        out.resize(align4(out.size()), '\0');
        out += write_version_info(c);
    }
    write_le(out, 0, 2, static_cast<std::uint32_t>(out.size()));
    write_le(out, 2, 2, static_cast<std::uint32_t>(block.text ? value.size() / 2 : value.size()));
    write_le(out, 4, 2, block.text ? 1 : 0);
    return out;
}

bool parse_product_version(const std::string& text, std::uint16_t (&parts)[4])
{
    std::size_t count = 0, at = 0;
    for (auto& p : parts) p = 0;
    while (count < 4) {
        std::uint32_t n = 0;
        std::size_t digits = 0;
        for (; at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 6; ++at, ++digits)
            n = n * 10 + static_cast<std::uint32_t>(text[at] - '0');
        if (digits == 0 || n > 65535) return false;
        parts[count++] = static_cast<std::uint16_t>(n);
        if (at == text.size()) return true;
        if (text[at++] != '.') return false;
    }
    return false;
}

std::string apply_version_texts(version_block& root, const version_texts& texts)
{
    if (!texts.product_version.empty()) {
        std::uint16_t parts[4];
        if (!parse_product_version(texts.product_version, parts))
            return "--product-version " + texts.product_version + " is not one to four dotted numbers of 0 to 65535";
        if (root.value.size() != 52 || read_le(root.value, 0, 4) != 0xfeef04bd) return "has damaged version information";
        const std::uint32_t ms = static_cast<std::uint32_t>(parts[0]) << 16 | parts[1];
        const std::uint32_t ls = static_cast<std::uint32_t>(parts[2]) << 16 | parts[3];
        for (std::size_t at : {8u, 16u}) {  // the file version, then the product version
            write_le(root.value, at, 4, ms);
            write_le(root.value, at + 4, 4, ls);
        }
    }
    version_block* strings = child(root, u"StringFileInfo");
    if (strings == nullptr) return "has no version texts";
    for (auto& table : strings->children) {
        if (!texts.product_name.empty()) {
            set_text(table, u"ProductName", texts.product_name);
            set_text(table, u"FileDescription", texts.product_name + " Setup");
        }
        if (!texts.product_version.empty()) {
            set_text(table, u"ProductVersion", texts.product_version);
            set_text(table, u"FileVersion", texts.product_version);
        }
        if (!texts.company.empty()) set_text(table, u"CompanyName", texts.company);
        if (!texts.copyright.empty()) set_text(table, u"LegalCopyright", texts.copyright);
    }
    return std::string();
}

}  // namespace pack
