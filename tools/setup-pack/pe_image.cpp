#include "pe_image.h"

namespace pack {

std::uint32_t read_le(const std::string& bytes, std::size_t at, int size)
{
    std::uint32_t v = 0;
    for (int i = size - 1; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(bytes[at + i]);
    return v;
}

void write_le(std::string& bytes, std::size_t at, int size, std::uint32_t value)
{
    for (int i = 0; i < size; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i) & 0xff);
}

void pe_image::directory_entry(int index, std::uint32_t& rva, std::uint32_t& size) const
{
    rva = size = 0;
    if (static_cast<std::uint32_t>(index) >= read_le(bytes, optional_at + 92, 4)) return;
    rva = read_le(bytes, directory_at(index), 4);
    size = read_le(bytes, directory_at(index) + 4, 4);
}

int pe_image::section_of(std::uint32_t rva) const
{
    for (std::size_t i = 0; i < sections.size(); ++i) {
        const section& s = sections[i];
        const std::uint32_t span = s.virtual_size > s.raw_size ? s.virtual_size : s.raw_size;
        if (rva >= s.virtual_address && rva - s.virtual_address < span) return static_cast<int>(i);
    }
    return -1;
}

bool pe_image::file_offset(std::uint32_t rva, std::uint32_t length, std::size_t& offset) const
{
    const int i = section_of(rva);
    if (i < 0) return false;
    const section& s = sections[i];
    const std::uint32_t into = rva - s.virtual_address;
    if (into > s.raw_size || length > s.raw_size - into) return false;
    offset = static_cast<std::size_t>(s.raw_pointer) + into;
    return offset + length <= bytes.size();
}

std::string parse_pe(std::string bytes, pe_image& image)
{
    image = pe_image();
    if (bytes.size() < 0x40 || bytes.compare(0, 2, "MZ") != 0) return "is not a Windows program";
    const std::size_t pe_at = read_le(bytes, 0x3c, 4);
    if (pe_at > bytes.size() || bytes.size() - pe_at < 24 || bytes.compare(pe_at, 4, std::string("PE\0\0", 4)) != 0)
        return "is not a Windows program";
    image.coff_at = pe_at + 4;
    image.optional_at = image.coff_at + 20;
    const std::size_t optional_size = read_le(bytes, image.coff_at + 16, 2);
    if (read_le(bytes, image.coff_at, 2) != 0x14c || optional_size < 96 ||
        bytes.size() - image.optional_at < optional_size || read_le(bytes, image.optional_at, 2) != 0x10b)
        return "is not a 32-bit Windows program";
    const std::uint32_t directories = read_le(bytes, image.optional_at + 92, 4);
    if (directories > 16 || 96 + 8 * directories > optional_size) return "has a damaged optional header";
    image.table_at = image.optional_at + optional_size;
    const std::size_t count = read_le(bytes, image.coff_at + 2, 2);
    if (bytes.size() - image.table_at < 40 * count) return "has a damaged section table";
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = image.table_at + 40 * i;
        section s;
        s.name = bytes.substr(at, 8).c_str();
        s.virtual_size = read_le(bytes, at + 8, 4);
        s.virtual_address = read_le(bytes, at + 12, 4);
        s.raw_size = read_le(bytes, at + 16, 4);
        s.raw_pointer = read_le(bytes, at + 20, 4);
        s.characteristics = read_le(bytes, at + 36, 4);
        if (s.raw_pointer > bytes.size() || s.raw_size > bytes.size() - s.raw_pointer)
            return "has a section beyond the end of the file";
        if (!image.sections.empty() && s.virtual_address < image.sections.back().virtual_address)
            return "has sections out of order";
        image.sections.push_back(s);
    }
    const std::uint32_t sa = read_le(bytes, image.optional_at + 32, 4), fa = read_le(bytes, image.optional_at + 36, 4);
    if (sa == 0 || fa == 0 || (fa & (fa - 1)) != 0 || (sa & (sa - 1)) != 0) return "has a damaged optional header";
    image.bytes = std::move(bytes);
    return std::string();
}

std::uint32_t pe_checksum(const std::string& bytes, std::size_t checksum_at)
{
    std::uint64_t sum = 0;
    for (std::size_t at = 0; at < bytes.size(); at += 2) {
        if (at == checksum_at || at == checksum_at + 2) continue;
        std::uint32_t word = static_cast<unsigned char>(bytes[at]);
        if (at + 1 < bytes.size()) word |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8;
        sum += word;
        sum = (sum & 0xffff) + (sum >> 16);
    }
    sum = (sum & 0xffff) + (sum >> 16);
    return static_cast<std::uint32_t>(sum + bytes.size());
}

}  // namespace pack
