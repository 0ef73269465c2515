// Small text helpers shared by the reader, the filters and the engine. They
// behave the same on every build, so the native tests speak for Setup.exe.
#pragma once

#include <cstdint>
#include <string>

namespace text {

// White space as the C runtime's iswspace classifies it for UTF-16 text.
bool is_space(wchar_t c);

// `s` without white space at either end.
std::wstring trim(const std::wstring& s);

// Reads one number the way "%d" does: optional white space, an optional sign,
// then at least one decimal digit. On success `pos` stands after the number.
// Overlong numbers wrap to 32 bits.
bool scan_int(const std::wstring& s, std::size_t& pos, std::int32_t& value);

// True when every byte sequence is well-formed UTF-8.
bool is_valid_utf8(const std::string& bytes);

// Decodes UTF-8 into wide text; malformed sequences become U+FFFD.
std::wstring utf8_to_wide(const std::string& bytes);

// Encodes wide text as UTF-8 (UTF-16 surrogate pairs joined where wchar_t
// is 16 bits; a lone surrogate becomes U+FFFD).
std::string wide_to_utf8(const std::wstring& text);

// Lower-cases ASCII letters only.
std::wstring ascii_lower(std::wstring s);

// The number in decimal, without printf: the program carries no printf.
std::wstring decimal(std::uint64_t value);

// A fingerprint of some bytes as 16 lower-case hexadecimal digits (64-bit
// FNV-1a): the same bytes give the same text. Not a defence against anyone
// who wants two texts to collide.
std::wstring fingerprint(const std::string& bytes);

// Widens ASCII text byte for byte (for fixed texts made by the program).
std::wstring narrow_to_wide_ascii(const std::string& s);

}  // namespace text
