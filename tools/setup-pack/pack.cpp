#include "pack.h"

#include <set>
#include <vector>

#include "branding_rules.h"
#include "resources/resource.h"

namespace pack {
namespace {

const std::uint32_t english_us = 1033;

std::uint32_t align(std::uint32_t n, std::uint32_t to) { return (n + to - 1) / to * to; }

// The language of what a resource held before, so that a replaced one keeps it.
resource_key language_of(const resource_tree& tree, resource_key type, resource_key name)
{
    const auto t = tree.find(type);
    if (t == tree.end()) return resource_key(english_us);
    const auto n = t->second.find(name);
    if (n == t->second.end() || n->second.empty()) return resource_key(english_us);
    return n->second.begin()->first;
}

void put(resource_tree& tree, resource_key type, resource_key name, std::string bytes)
{
    const resource_key lang = language_of(tree, type, name);
    tree[type][name].clear();
    tree[type][name][lang].bytes = std::move(bytes);
}

// The icon group and its images; the old group's images go with it.
void replace_icon(resource_tree& tree, const std::vector<branding::icon_image>& images)
{
    const resource_key lang = language_of(tree, rt_group_icon, IDI_SETUP);
    const auto old_group = tree[rt_group_icon].find(IDI_SETUP);
    if (old_group != tree[rt_group_icon].end()) {
        for (const auto& l : old_group->second)
            for (std::size_t at = 6; at + 14 <= l.second.bytes.size(); at += 14)
                tree[rt_icon].erase(read_le(l.second.bytes, at + 12, 2));
    }
    std::string group(6, '\0');
    write_le(group, 2, 2, 1);
    write_le(group, 4, 2, static_cast<std::uint32_t>(images.size()));
    std::uint32_t id = 1;
    for (const auto& image : images) {
        while (tree[rt_icon].count(id) != 0) ++id;
        tree[rt_icon][id][lang].bytes = image.bytes;
        std::string entry(14, '\0');
        entry[0] = static_cast<char>(image.width);
        entry[1] = static_cast<char>(image.height);
        entry[2] = static_cast<char>(image.colors);
        write_le(entry, 4, 2, image.planes);
        write_le(entry, 6, 2, image.bit_count);
        write_le(entry, 8, 4, static_cast<std::uint32_t>(image.bytes.size()));
        write_le(entry, 12, 2, id);
        group += entry;
    }
    tree[rt_group_icon][IDI_SETUP].clear();
    tree[rt_group_icon][IDI_SETUP][lang].bytes = group;
}

std::string replace_version(resource_tree& tree, const version_texts& texts)
{
    const auto t = tree.find(rt_version);
    if (t == tree.end() || t->second.empty()) return "has no version information";
    for (auto& name : t->second) {
        for (auto& lang : name.second) {
            version_block root;
            std::string failed = parse_version_info(lang.second.bytes, root);
            if (failed.empty()) failed = apply_version_texts(root, texts);
            if (!failed.empty()) return failed;
            lang.second.bytes = write_version_info(root);
        }
    }
    return std::string();
}

bool marked(const resource_tree& tree)
{
    const auto t = tree.find(rt_rcdata);
    if (t == tree.end()) return false;
    const auto n = t->second.find(IDR_MARK);
    if (n == t->second.end()) return false;
    for (const auto& l : n->second)
        if (l.second.bytes.compare(0, sizeof SETUP_MARK_TEXT - 1, SETUP_MARK_TEXT) == 0) return true;
    return false;
}

// Only the base relocations may follow the resources: their table holds
// addresses of other sections, never its own, so it can move.
std::string check_movable(const pe_image& image, int r, std::uint32_t reloc_rva)
{
    const std::size_t after = image.sections.size() - static_cast<std::size_t>(r) - 1;
    if (after > 1 || (after == 1 && image.section_of(reloc_rva) != r + 1))
        return "has sections after its resources that cannot move";
    for (int i = 0; i < r; ++i)
        if (image.sections[i].raw_pointer + image.sections[i].raw_size > image.sections[r].raw_pointer)
            return "has sections stored after its resources";
    return std::string();
}

// The section table's entries from `first` on, as `image.sections` has them.
void write_section_headers(pe_image& image, std::size_t first)
{
    std::string& b = image.bytes;
    for (std::size_t i = first; i < image.sections.size(); ++i) {
        const section& s = image.sections[i];
        const std::size_t at = image.table_at + 40 * i;
        b.replace(at, 8, std::string((s.name + std::string(8, '\0')).substr(0, 8)));
        write_le(b, at + 8, 4, s.virtual_size);
        write_le(b, at + 12, 4, s.virtual_address);
        write_le(b, at + 16, 4, s.raw_size);
        write_le(b, at + 20, 4, s.raw_pointer);
        write_le(b, at + 36, 4, s.characteristics);
    }
}

}  // namespace

std::string replace_resources(pe_image& image, const resource_tree& tree)
{
    std::uint32_t rsrc_rva = 0, rsrc_size = 0, reloc_rva = 0, reloc_size = 0;
    image.directory_entry(resource_directory, rsrc_rva, rsrc_size);
    image.directory_entry(relocation_directory, reloc_rva, reloc_size);
    const int r = image.section_of(rsrc_rva);
    if (r < 0 || image.sections[r].virtual_address != rsrc_rva) return "has a misplaced resource section";
    const std::string unmovable = check_movable(image, r, reloc_rva);
    if (!unmovable.empty()) return unmovable;
    std::vector<section> moved(image.sections.begin() + r + 1, image.sections.end());
    const std::uint32_t sa = image.section_alignment(), fa = image.file_alignment();
    section rsrc = image.sections[r];
    const std::uint32_t old_raw_end = rsrc.raw_pointer + rsrc.raw_size;
    std::uint32_t next_va = rsrc.virtual_address, next_raw = rsrc.raw_pointer;
    std::string reloc_bytes;
    for (section& s : moved) {
        reloc_bytes = image.bytes.substr(s.raw_pointer, s.raw_size);
        reloc_rva = reloc_rva - s.virtual_address + next_va;
        s.virtual_address = next_va;
        s.raw_pointer = next_raw;
        next_va = align(next_va + std::max(s.virtual_size, 1u), sa);
        next_raw += s.raw_size;
    }
    // Whatever lies past the last section (not a signature: that was
    // refused) stays at the end.
    std::uint32_t file_end = old_raw_end;
    for (const section& s : image.sections) file_end = std::max(file_end, s.raw_pointer + s.raw_size);
    const std::string overlay = image.bytes.substr(file_end);
    const std::string data = lay_out_resources(tree, next_va);
    const std::uint32_t old_raw_size = rsrc.raw_size;
    rsrc.virtual_address = next_va;
    rsrc.raw_pointer = next_raw;
    rsrc.virtual_size = static_cast<std::uint32_t>(data.size());
    rsrc.raw_size = align(rsrc.virtual_size, fa);

    std::string& b = image.bytes;
    b.resize(image.sections[r].raw_pointer);
    b += reloc_bytes;
    b += data;
    b.resize(rsrc.raw_pointer + rsrc.raw_size, '\0');
    b += overlay;
    image.sections.resize(r);
    for (const section& s : moved) image.sections.push_back(s);
    image.sections.push_back(rsrc);
    write_section_headers(image, static_cast<std::size_t>(r));
    const std::size_t o = image.optional_at;
    write_le(b, o + 8, 4, read_le(b, o + 8, 4) - old_raw_size + rsrc.raw_size);  // SizeOfInitializedData
    write_le(b, o + 56, 4, align(rsrc.virtual_address + rsrc.virtual_size, sa));  // SizeOfImage
    write_le(b, image.directory_at(resource_directory), 4, rsrc.virtual_address);
    write_le(b, image.directory_at(resource_directory) + 4, 4, rsrc.virtual_size);
    if (!moved.empty()) write_le(b, image.directory_at(relocation_directory), 4, reloc_rva);
    write_le(b, image.checksum_at(), 4, pe_checksum(b, image.checksum_at()));
    return std::string();
}

std::string pack_setup(const std::string& input, const pack_request& request, std::string& output)
{
    pe_image image;
    resource_tree tree;
    std::string failed = parse_pe(input, image);
    if (failed.empty()) failed = read_resources(image, tree);
    if (!failed.empty() || !marked(tree)) return "is not a Setup.exe of this project (" +
                                                 (failed.empty() ? std::string("it lacks its mark") : failed) + ")";
    std::uint32_t signature_at = 0, signature_size = 0;
    image.directory_entry(security_directory, signature_at, signature_size);
    if (signature_size != 0)
        return "is signed, and packing would break its signature: pack the unsigned Setup.exe (built without "
               "the signing options) and sign the packed one";
    if (!request.configuration.empty()) put(tree, rt_rcdata, IDR_CONFIGURATION, request.configuration);
    if (request.picture.size() > 14) put(tree, rt_bitmap, IDB_PICTURE, request.picture.substr(14));
    if (!request.icon.empty()) {
        std::vector<branding::icon_image> images;
        failed = branding::read_icon(request.icon, images);
        if (!failed.empty()) return "--icon " + failed;
        replace_icon(tree, images);
    }
    const version_texts& t = request.texts;
    if (!t.product_name.empty() || !t.product_version.empty() || !t.company.empty() || !t.copyright.empty()) {
        failed = replace_version(tree, t);
        if (!failed.empty()) return failed;
    }
    if (request.sources != pack_request::stored_only::keep)
        put(tree, rt_rcdata, IDR_STORED_ONLY, request.sources == pack_request::stored_only::on ? "1" : "0");
    failed = replace_resources(image, tree);
    if (!failed.empty()) return failed;
    output = std::move(image.bytes);
    return std::string();
}

}  // namespace pack
