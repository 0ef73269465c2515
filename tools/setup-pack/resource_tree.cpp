#include "resource_tree.h"

#include <vector>

namespace pack {
namespace {

const std::uint32_t subdirectory_bit = 0x80000000u;

struct reader {
    const pe_image& image;
    std::uint32_t root_rva;

    bool bytes_at(std::uint32_t offset, std::uint32_t length, std::size_t& at) const
    {
        return image.file_offset(root_rva + offset, length, at);
    }

    bool key(std::uint32_t field, resource_key& out) const
    {
        if ((field & subdirectory_bit) == 0) {
            out = resource_key(field);
            return true;
        }
        std::size_t at = 0;
        if (!bytes_at(field & ~subdirectory_bit, 2, at)) return false;
        const std::uint32_t length = read_le(image.bytes, at, 2);
        if (!bytes_at(field & ~subdirectory_bit, 2 + 2 * length, at)) return false;
        std::u16string name;
        for (std::uint32_t i = 0; i < length; ++i)
            name += static_cast<char16_t>(read_le(image.bytes, at + 2 + 2 * i, 2));
        out = resource_key(name);
        return !name.empty();
    }

    // Calls `visit(key, entry field)` for each entry of the table at `offset`.
    template <class Visit>
    bool table(std::uint32_t offset, Visit visit) const
    {
        std::size_t at = 0;
        if (!bytes_at(offset, 16, at)) return false;
        const std::uint32_t count = read_le(image.bytes, at + 12, 2) + read_le(image.bytes, at + 14, 2);
        if (!bytes_at(offset, 16 + 8 * count, at)) return false;
        for (std::uint32_t i = 0; i < count; ++i) {
            resource_key k;
            if (!key(read_le(image.bytes, at + 16 + 8 * i, 4), k)) return false;
            if (!visit(k, read_le(image.bytes, at + 20 + 8 * i, 4))) return false;
        }
        return true;
    }

    bool leaf(std::uint32_t field, resource_data& out) const
    {
        std::size_t at = 0, data_at = 0;
        if ((field & subdirectory_bit) != 0 || !bytes_at(field, 16, at)) return false;
        const std::uint32_t rva = read_le(image.bytes, at, 4), size = read_le(image.bytes, at + 4, 4);
        if (!image.file_offset(rva, size, data_at)) return false;
        out.bytes = image.bytes.substr(data_at, size);
        out.code_page = read_le(image.bytes, at + 8, 4);
        return true;
    }
};

}  // namespace

std::string read_resources(const pe_image& image, resource_tree& tree)
{
    tree.clear();
    std::uint32_t rva = 0, size = 0;
    image.directory_entry(resource_directory, rva, size);
    if (rva == 0) return "has no resources";
    const reader r{image, rva};
    const auto level = [](std::uint32_t field) { return (field & subdirectory_bit) != 0; };
    const bool whole = r.table(0, [&](const resource_key& type, std::uint32_t f1) {
        return level(f1) && r.table(f1 & ~subdirectory_bit, [&](const resource_key& name, std::uint32_t f2) {
                   return level(f2) && r.table(f2 & ~subdirectory_bit, [&](const resource_key& lang, std::uint32_t f3) {
                              return r.leaf(f3, tree[type][name][lang]);
                          });
               });
    });
    return whole ? std::string() : "has a damaged resource directory";
}

namespace {

std::uint32_t align(std::uint32_t n, std::uint32_t to) { return (n + to - 1) / to * to; }

struct table_plan {
    std::vector<const resource_key*> keys;
    std::vector<std::uint32_t> targets;  // each entry's table or data entry, or its index before the offsets are known
    bool leaves = false;
};

// The directory's tables breadth first: the root, the types' tables, the
// names' tables (whose entries point at the data entries, `leaves`).
struct directory_plan {
    std::vector<table_plan> tables;
    std::vector<const resource_data*> leaves;
};

directory_plan plan_directory(const resource_tree& tree)
{
    directory_plan plan;
    std::vector<table_plan>& tables = plan.tables;
    tables.resize(1);
    std::vector<std::pair<std::size_t, const resource_names*>> type_tables;
    std::vector<std::pair<std::size_t, const resource_languages*>> name_tables;
    for (const auto& type : tree) {
        tables[0].keys.push_back(&type.first);
        tables[0].targets.push_back(static_cast<std::uint32_t>(tables.size()));
        type_tables.emplace_back(tables.size(), &type.second);
        tables.emplace_back();
    }
    for (const auto& t : type_tables) {
        for (const auto& name : *t.second) {
            tables[t.first].keys.push_back(&name.first);
            tables[t.first].targets.push_back(static_cast<std::uint32_t>(tables.size()));
            name_tables.emplace_back(tables.size(), &name.second);
            tables.emplace_back();
        }
    }
    for (const auto& n : name_tables) {
        tables[n.first].leaves = true;
        for (const auto& lang : *n.second) {
            tables[n.first].keys.push_back(&lang.first);
            tables[n.first].targets.push_back(static_cast<std::uint32_t>(plan.leaves.size()));
            plan.leaves.push_back(&lang.second);
        }
    }
    return plan;
}

// Where each part goes: the tables, then the data entries, then the names
// (each written once), then the data, each on 8 bytes.
struct directory_places {
    std::vector<std::uint32_t> table_at, data_at;
    std::uint32_t entries_at = 0, size = 0;
    std::map<std::u16string, std::uint32_t> name_at;
};

directory_places place_directory(const directory_plan& plan)
{
    directory_places p;
    std::uint32_t at = 0;
    for (const auto& t : plan.tables) {
        p.table_at.push_back(at);
        at += 16 + 8 * static_cast<std::uint32_t>(t.keys.size());
    }
    p.entries_at = at;
    at += 16 * static_cast<std::uint32_t>(plan.leaves.size());
    for (const auto& t : plan.tables)
        for (const resource_key* k : t.keys)
            if (!k->name.empty() && p.name_at.emplace(k->name, at).second)
                at += 2 + 2 * static_cast<std::uint32_t>(k->name.size());
    for (const resource_data* d : plan.leaves) {
        at = align(at, 8);
        p.data_at.push_back(at);
        at += static_cast<std::uint32_t>(d->bytes.size());
    }
    p.size = align(at, 8);
    return p;
}

void write_tables(const directory_plan& plan, const directory_places& p, std::string& out)
{
    for (std::size_t i = 0; i < plan.tables.size(); ++i) {
        const table_plan& t = plan.tables[i];
        std::uint32_t named = 0;
        for (const resource_key* k : t.keys) named += k->name.empty() ? 0 : 1;
        write_le(out, p.table_at[i] + 12, 2, named);
        write_le(out, p.table_at[i] + 14, 2, static_cast<std::uint32_t>(t.keys.size()) - named);
        for (std::size_t e = 0; e < t.keys.size(); ++e) {
            const std::size_t entry = p.table_at[i] + 16 + 8 * e;
            const resource_key& k = *t.keys[e];
            write_le(out, entry, 4, k.name.empty() ? k.id : subdirectory_bit | p.name_at.at(k.name));
            write_le(out, entry + 4, 4,
                     t.leaves ? p.entries_at + 16 * t.targets[e] : subdirectory_bit | p.table_at[t.targets[e]]);
        }
    }
}

}  // namespace

std::string lay_out_resources(const resource_tree& tree, std::uint32_t rva)
{
    const directory_plan plan = plan_directory(tree);
    const directory_places p = place_directory(plan);
    std::string out(p.size, '\0');
    write_tables(plan, p, out);
    for (const auto& n : p.name_at) {
        write_le(out, n.second, 2, static_cast<std::uint32_t>(n.first.size()));
        for (std::size_t c = 0; c < n.first.size(); ++c) write_le(out, n.second + 2 + 2 * c, 2, n.first[c]);
    }
    for (std::size_t i = 0; i < plan.leaves.size(); ++i) {
        const resource_data& d = *plan.leaves[i];
        write_le(out, p.entries_at + 16 * i, 4, rva + p.data_at[i]);
        write_le(out, p.entries_at + 16 * i + 4, 4, static_cast<std::uint32_t>(d.bytes.size()));
        write_le(out, p.entries_at + 16 * i + 8, 4, d.code_page);
        out.replace(p.data_at[i], d.bytes.size(), d.bytes);
    }
    return out;
}

}  // namespace pack
