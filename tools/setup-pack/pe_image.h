// A 32-bit Windows program file as setup-pack sees it: its headers, its
// section table and its data directories, read with every bound checked.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pack {

std::uint32_t read_le(const std::string& bytes, std::size_t at, int size);
void write_le(std::string& bytes, std::size_t at, int size, std::uint32_t value);

struct section {
    std::string name;
    std::uint32_t virtual_size = 0, virtual_address = 0, raw_size = 0, raw_pointer = 0, characteristics = 0;
};

enum directory { resource_directory = 2, security_directory = 4, relocation_directory = 5 };

struct pe_image {
    std::string bytes;
    std::size_t coff_at = 0;      // the file header, after "PE\0\0"
    std::size_t optional_at = 0;  // the PE32 optional header
    std::size_t table_at = 0;     // the section table
    std::vector<section> sections;

    std::uint32_t section_alignment() const { return read_le(bytes, optional_at + 32, 4); }
    std::uint32_t file_alignment() const { return read_le(bytes, optional_at + 36, 4); }
    std::size_t checksum_at() const { return optional_at + 64; }
    // The address and size of a data directory; zeros when it is absent.
    void directory_entry(int index, std::uint32_t& rva, std::uint32_t& size) const;
    std::size_t directory_at(int index) const { return optional_at + 96 + 8 * static_cast<std::size_t>(index); }
    // The section holding an address, or -1.
    int section_of(std::uint32_t rva) const;
    // The file offset of `length` bytes at an address, false when they are
    // not all in one section's file data.
    bool file_offset(std::uint32_t rva, std::uint32_t length, std::size_t& offset) const;
};

// An empty text when `bytes` is a PE32 program, else what is wrong.
std::string parse_pe(std::string bytes, pe_image& image);

// The checksum the loader checks for drivers and signed files: 16-bit sums
// with carries folded, the checksum field counted as zero, plus the length.
std::uint32_t pe_checksum(const std::string& bytes, std::size_t checksum_at);

}  // namespace pack
