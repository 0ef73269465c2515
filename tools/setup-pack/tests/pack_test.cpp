// The packer on the Setup.exe this build makes: what it writes reads back,
// everything else stays, the same inputs give the same bytes, and each
// input it must not pack is refused with nothing written.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

#include "branding_rules.h"
#include "pack.h"
#include "resources/resource.h"

namespace {

namespace fs = std::filesystem;
using namespace pack;

std::string read_file(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string le(std::uint32_t v, int size)
{
    std::string out(static_cast<std::size_t>(size), '\0');
    write_le(out, 0, size, v);
    return out;
}

std::string picture(std::uint32_t width, std::int32_t height, std::uint32_t bits, char fill)
{
    std::string b = "BM" + le(0, 4) + le(0, 4) + le(54, 4) + le(40, 4) + le(width, 4) +
                    le(static_cast<std::uint32_t>(height), 4) + le(1, 2) + le(bits, 2) + std::string(24, '\0');
    b += std::string(1000, fill);
    write_le(b, 2, 4, static_cast<std::uint32_t>(b.size()));
    return b;
}

std::string icon(std::initializer_list<int> sizes)
{
    std::string b = le(0, 2) + le(1, 2) + le(static_cast<std::uint32_t>(sizes.size()), 2), images;
    std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(sizes.size());
    for (int s : sizes) {
        const std::string image(static_cast<std::size_t>(100 + s), static_cast<char>(s));
        b += std::string(1, static_cast<char>(s)) + std::string(1, static_cast<char>(s)) + le(0, 2) + le(1, 2) +
             le(32, 2) + le(static_cast<std::uint32_t>(image.size()), 4) + le(offset, 4);
        offset += static_cast<std::uint32_t>(image.size());
        images += image;
    }
    return b + images;
}

const resource_data& only(const resource_tree& tree, resource_key type, resource_key name)
{
    return tree.at(type).at(name).begin()->second;
}

std::string version_text(const resource_tree& tree, const std::u16string& key)
{
    version_block root;
    EXPECT_EQ(parse_version_info(only(tree, rt_version, 1).bytes, root), "");
    for (const auto& table : root.children.at(0).children.at(0).children)
        if (table.key == key) return table.value;
    return "(none)";
}

std::string u16bytes(const std::string& utf8)
{
    std::string out;
    for (char16_t c : utf16(utf8)) out += le(c, 2);
    return out;
}

// The file's bytes outside the resources, section by section.
std::string everything_but_resources(const pe_image& image)
{
    std::string out;
    for (const section& s : image.sections)
        if (s.name != ".rsrc" && s.name != ".reloc") out += s.name + image.bytes.substr(s.raw_pointer, s.raw_size);
    return out;
}

class packing : public ::testing::Test {
protected:
    void SetUp() override
    {
        input = read_file(SETUP_EXE);
        ASSERT_EQ(parse_pe(input, original), "");
        request.configuration = "<?xml version=\"1.0\"?><configurations/>";
        request.picture = picture(510, 437, 24, 'p');
        request.icon = icon({48, 32, 16});
        request.texts = {"Acme Widget", "2.5.1", "Acme Tools", "\xc2\xa9 2026 Acme Tools"};
        request.sources = pack_request::stored_only::on;
    }
    std::string input;
    pe_image original;
    pack_request request;
};

TEST_F(packing, WritesEachPartAndKeepsTheRest)
{
    std::string output;
    ASSERT_EQ(pack_setup(input, request, output), "");
    pe_image packed;
    resource_tree tree, before;
    ASSERT_EQ(parse_pe(output, packed), "");
    ASSERT_EQ(read_resources(packed, tree), "");
    ASSERT_EQ(read_resources(original, before), "");

    EXPECT_EQ(only(tree, rt_rcdata, IDR_CONFIGURATION).bytes, request.configuration);
    EXPECT_EQ(only(tree, rt_rcdata, IDR_STORED_ONLY).bytes, "1");
    EXPECT_EQ(only(tree, rt_bitmap, IDB_PICTURE).bytes, request.picture.substr(14));
    const std::string group = only(tree, rt_group_icon, IDI_SETUP).bytes;
    ASSERT_EQ(read_le(group, 4, 2), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        const std::uint32_t id = read_le(group, 6 + 14 * i + 12, 2);
        EXPECT_EQ(only(tree, rt_icon, id).bytes.size(), read_le(group, 6 + 14 * i + 8, 4));
        EXPECT_EQ(only(tree, rt_icon, id).bytes[0], group[6 + 14 * i]);
    }
    EXPECT_EQ(tree.at(rt_icon).size(), 3u) << "the old group's images stay behind";
    EXPECT_EQ(version_text(tree, u"ProductName"), u16bytes("Acme Widget"));
    EXPECT_EQ(version_text(tree, u"FileDescription"), u16bytes("Acme Widget Setup"));
    EXPECT_EQ(version_text(tree, u"LegalCopyright"), u16bytes("\xc2\xa9 2026 Acme Tools"));
    EXPECT_EQ(version_text(tree, u"InternalName"), u16bytes("Setup"));
    version_block root;
    ASSERT_EQ(parse_version_info(only(tree, rt_version, 1).bytes, root), "");
    EXPECT_EQ(read_le(root.value, 8, 4), 0x00020005u);   // 2.5
    EXPECT_EQ(read_le(root.value, 12, 4), 0x00010000u);  // .1.0

    EXPECT_EQ(only(tree, 24, 1).bytes, only(before, 24, 1).bytes) << "the manifest changed";
    EXPECT_EQ(everything_but_resources(packed), everything_but_resources(original));
    EXPECT_EQ(read_le(output, packed.checksum_at(), 4), pe_checksum(output, packed.checksum_at()));
    std::uint32_t rva = 0, size = 0;
    packed.directory_entry(resource_directory, rva, size);
    EXPECT_EQ(packed.sections.back().virtual_address, rva) << "the resources are not the last section";
    EXPECT_EQ(read_le(output, packed.optional_at + 56, 4) % packed.section_alignment(), 0u);
}

TEST_F(packing, PacksItsOwnOutputAgainInPlace)
{
    std::string once, twice;
    ASSERT_EQ(pack_setup(input, request, once), "");
    pack_request more;
    more.configuration = std::string(70000, 'x');  // larger than the section was
    ASSERT_EQ(pack_setup(once, more, twice), "");
    pe_image packed;
    resource_tree tree;
    ASSERT_EQ(parse_pe(twice, packed), "");
    ASSERT_EQ(read_resources(packed, tree), "");
    EXPECT_EQ(only(tree, rt_rcdata, IDR_CONFIGURATION).bytes, more.configuration);
    EXPECT_EQ(only(tree, rt_bitmap, IDB_PICTURE).bytes, request.picture.substr(14));
    EXPECT_EQ(packed.sections.size(), original.sections.size());
}

TEST_F(packing, RefusesSignedAndForeignPrograms)
{
    std::string signed_copy = input, output;
    write_le(signed_copy, original.directory_at(security_directory), 4, 0x1000);
    write_le(signed_copy, original.directory_at(security_directory) + 4, 4, 0x200);
    EXPECT_NE(pack_setup(signed_copy, request, output).find("is signed"), std::string::npos);

    const std::string foreign = read_file(SETUP_CHECK_WIN_EXE);
    EXPECT_NE(pack_setup(foreign, request, output).find("not a Setup.exe of this project"), std::string::npos);
    EXPECT_NE(pack_setup("MZ not a program", request, output).find("not a Setup.exe"), std::string::npos);
    EXPECT_TRUE(output.empty());
}

// The command line: the same bytes from two runs, and each refusal exits
// with 2, says why in one line and leaves an existing output alone.
int run(const std::string& arguments)
{
    const int status = std::system((std::string(SETUP_PACK_EXE) + " " + arguments + " 2>/dev/null").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(setup_pack_command, SameBytesEachRunAndRefusalsWriteNothing)
{
    const fs::path dir = fs::temp_directory_path() / ("setup-pack-test-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    write_file(dir / "picture.bmp", picture(510, 437, 24, 'q'));
    write_file(dir / "small.bmp", picture(500, 437, 24, 'q'));
    write_file(dir / "two.ico", icon({48, 32}));
    write_file(dir / "bad.xml", "<configurations><configuration lcid=\"x\"></configurations>");
    const std::string base = std::string("--from ") + SETUP_EXE + " --configuration " + SOURCE_DIR +
                             "/tests/branding/brand-setup.xml --product-name 'Acme Widget' --stored-configuration-only";
    ASSERT_EQ(run(base + " --picture " + (dir / "picture.bmp").string() + " --out " + (dir / "a.exe").string()), 0);
    ASSERT_EQ(run(base + " --picture " + (dir / "picture.bmp").string() + " --out " + (dir / "b.exe").string()), 0);
    EXPECT_EQ(read_file(dir / "a.exe"), read_file(dir / "b.exe"));

    const std::string kept = read_file(dir / "a.exe");
    const std::string out = " --out " + (dir / "a.exe").string();
    for (const std::string& wrong :
         {" --picture " + (dir / "small.bmp").string(), " --icon " + (dir / "two.ico").string(),
          " --configuration " + (dir / "bad.xml").string(), std::string(" --product-version 2.x"),
          std::string(" --company \"$(printf '\\351')\""),  // Latin-1, not UTF-8
          " --from " + (dir / "nothing.exe").string()}) {
        EXPECT_EQ(run(base + wrong + out), 2) << wrong;
        EXPECT_EQ(read_file(dir / "a.exe"), kept) << wrong;
    }
    EXPECT_FALSE(fs::exists(dir / "a.exe.setup-pack-tmp"));
    fs::remove_all(dir);
}

TEST(branding_rules, SaysWhatIsWrongWithAPictureOrAnIcon)
{
    EXPECT_EQ(branding::check_picture(picture(510, -437, 24, 'r')), "") << "a top-down picture";
    EXPECT_EQ(branding::check_picture(picture(510, 437, 32, 'r')),
              "is 510 x 437 with 32 bits per pixel; the dialog's picture must be 510 x 437 with 24 bits per pixel "
              "(the dialog stretches it to its whole client area)");
    EXPECT_EQ(branding::check_picture("GIF89a"), "is not a BMP file");
    std::vector<branding::icon_image> images;
    EXPECT_EQ(branding::read_icon(icon({48, 16, 16}), images), "has images of 48;16 pixels; it needs 48, 32 and 16");
    std::string cut = icon({48, 32, 16});
    cut.resize(cut.size() - 1);
    EXPECT_EQ(branding::read_icon(cut, images), "is not an icon file");
}

}  // namespace
