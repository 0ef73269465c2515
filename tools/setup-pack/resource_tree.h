// A program's resources as a tree of type, name and language, read from a
// resource section and laid out anew for one.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "pe_image.h"

namespace pack {

enum resource_type : std::uint32_t {
    rt_icon = 3, rt_bitmap = 2, rt_rcdata = 10, rt_group_icon = 14, rt_version = 16
};

// A number, or a name when `name` is not empty. Names come before numbers,
// as the format wants the entries of a table ordered.
struct resource_key {
    std::uint32_t id = 0;
    std::u16string name;

    resource_key() = default;
    resource_key(std::uint32_t number) : id(number) {}  // NOLINT: keys are written as numbers
    explicit resource_key(std::u16string text) : name(std::move(text)) {}
    bool operator<(const resource_key& other) const
    {
        if (name.empty() != other.name.empty()) return !name.empty();
        return name.empty() ? id < other.id : name < other.name;
    }
    bool operator==(const resource_key& other) const { return id == other.id && name == other.name; }
};

struct resource_data {
    std::string bytes;
    std::uint32_t code_page = 0;
};

using resource_languages = std::map<resource_key, resource_data>;
using resource_names = std::map<resource_key, resource_languages>;
using resource_tree = std::map<resource_key, resource_names>;

// Reads the tree that the resource directory points to; an empty text when
// it is whole, else what is wrong.
std::string read_resources(const pe_image& image, resource_tree& tree);

// The bytes of a resource section at address `rva` holding the tree: the
// tables, their entries, the names, the data entries, then the data, each
// block aligned. Nothing in it depends on the clock.
std::string lay_out_resources(const resource_tree& tree, std::uint32_t rva);

}  // namespace pack
