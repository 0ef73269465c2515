// setup-pack: stamps a ready Setup.exe with a publisher's configuration,
// picture, icon, version information and source switch, checked first with
// the same rules as the build and setup-check.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

#include "base/text.h"
#include "branding_rules.h"
#include "diagnostics.h"
#include "lint.h"
#include "pack.h"

namespace {

namespace fs = std::filesystem;
using setup_check::path_from_argument;

const char usage[] =
    "usage: setup-pack --out FILE [--from SETUP.EXE] [--configuration XML] [--picture BMP] [--icon ICO]\n"
    "                  [--product-name TEXT] [--product-version N[.N[.N[.N]]]] [--company TEXT]\n"
    "                  [--copyright TEXT] [--stored-configuration-only | --configuration-beside-allowed]\n"
    "\n"
    "Writes a copy of a ready Setup.exe (by default the one beside setup-pack) with the\n"
    "given branding; whatever is not given stays as it is. The configuration is checked as\n"
    "setup-check checks it, the picture must be a 24-bit BMP of 510 x 437 and the icon must\n"
    "hold 48, 32 and 16 pixel images. --stored-configuration-only makes Setup.exe ignore a\n"
    "setup.xml beside it; --configuration-beside-allowed undoes that.\n"
    "Exit status: 0 written, 2 refused (nothing written).\n";

[[noreturn]] void refuse(const std::string& message)
{
    std::fprintf(stderr, "setup-pack: %s\n", message.c_str());
    std::exit(2);
}

[[noreturn]] void usage_error(const std::string& message)
{
    std::fprintf(stderr, "setup-pack: %s\n\n%s", message.c_str(), usage);
    std::exit(2);
}

struct arguments {
    std::string out, from, configuration, picture, icon;
    pack::pack_request request;
};

// The texts go into the version information as UTF-16: bytes in another
// encoding would come out as other characters.
std::string text_option(const std::string& option, const std::string& value)
{
    if (!text::is_valid_utf8(value)) usage_error(option + " is not UTF-8 text");
    return value;
}

arguments parse(const std::vector<std::string>& argv)
{
    arguments a;
    const std::size_t argc = argv.size();
    for (std::size_t i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto next = [&]() -> std::string {
            if (i + 1 >= argc || argv[i + 1].empty()) usage_error(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            std::fputs(usage, stdout);
            std::exit(0);
        } else if (arg == "--out") {
            a.out = next();
        } else if (arg == "--from") {
            a.from = next();
        } else if (arg == "--configuration") {
            a.configuration = next();
        } else if (arg == "--picture") {
            a.picture = next();
        } else if (arg == "--icon") {
            a.icon = next();
        } else if (arg == "--product-name") {
            a.request.texts.product_name = text_option(arg, next());
        } else if (arg == "--product-version") {
            a.request.texts.product_version = text_option(arg, next());
        } else if (arg == "--company") {
            a.request.texts.company = text_option(arg, next());
        } else if (arg == "--copyright") {
            a.request.texts.copyright = text_option(arg, next());
        } else if (arg == "--stored-configuration-only" || arg == "--configuration-beside-allowed") {
            const auto wanted = arg == "--stored-configuration-only" ? pack::pack_request::stored_only::on
                                                                     : pack::pack_request::stored_only::off;
            if (a.request.sources != pack::pack_request::stored_only::keep && a.request.sources != wanted)
                usage_error("--stored-configuration-only and --configuration-beside-allowed exclude each other");
            a.request.sources = wanted;
        } else {
            usage_error("unknown argument " + arg);
        }
    }
    if (a.out.empty()) usage_error("--out is needed");
    std::uint16_t parts[4];
    if (!a.request.texts.product_version.empty() && !pack::parse_product_version(a.request.texts.product_version, parts))
        usage_error("--product-version " + a.request.texts.product_version +
                    " is not one to four dotted numbers of 0 to 65535");
    return a;
}

bool read_whole(const std::string& path, std::string& bytes)
{
    std::error_code ec;
    if (!fs::is_regular_file(path_from_argument(path), ec)) return false;
    std::ifstream in(path_from_argument(path), std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

std::string read_or_refuse(const std::string& option, const std::string& path)
{
    std::string bytes;
    if (!read_whole(path, bytes)) refuse(option + " " + path + " cannot be read");
    return bytes;
}

// The Setup.exe that ships beside this program.
std::string default_input()
{
#ifdef _WIN32
    wchar_t path[MAX_PATH * 4];
    const DWORD length = GetModuleFileNameW(nullptr, path, sizeof path / sizeof path[0]);
    if (length == 0 || length >= sizeof path / sizeof path[0]) return "Setup.exe";
    return (fs::path(path).parent_path() / "Setup.exe").u8string();
#else
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string("Setup.exe") : (self.parent_path() / "Setup.exe").u8string();
#endif
}

void check_configuration(const std::string& path, const std::string& bytes)
{
    int errors = 0;
    for (const auto& d : setup_check::lint_document(bytes, setup_check::lint_options())) {
        std::fprintf(stderr, "%s\n", setup_check::format_text(path, d).c_str());
        errors += d.level == setup_check::severity::error ? 1 : 0;
    }
    if (errors > 0)
        refuse("--configuration " + path + " has " + std::to_string(errors) + " error" + (errors == 1 ? "" : "s") +
               "; nothing written");
}

// Written beside the target under another name, then renamed over it, so
// that a failed write leaves an existing file as it was.
void write_output(const std::string& out, const std::string& bytes)
{
    const fs::path target = path_from_argument(out);
    fs::path temporary = target;
    temporary += ".setup-pack-tmp";
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        file.close();
        if (!file) {
            std::error_code ec;
            fs::remove(temporary, ec);
            refuse("--out " + out + " cannot be written");
        }
    }
    std::error_code ec;
    fs::rename(temporary, target, ec);
    if (ec) {
        fs::remove(temporary, ec);
        refuse("--out " + out + " cannot be replaced");
    }
}

}  // namespace

int tool_main(const std::vector<std::string>& argv)
{
    arguments a = parse(argv);
    if (a.from.empty()) a.from = default_input();
    const std::string input = read_or_refuse("--from", a.from);
    if (!a.configuration.empty()) {
        a.request.configuration = read_or_refuse("--configuration", a.configuration);
        check_configuration(a.configuration, a.request.configuration);
    }
    if (!a.picture.empty()) {
        a.request.picture = read_or_refuse("--picture", a.picture);
        const std::string wrong = branding::check_picture(a.request.picture);
        if (!wrong.empty()) refuse("--picture " + a.picture + " " + wrong);
    }
    if (!a.icon.empty()) {
        a.request.icon = read_or_refuse("--icon", a.icon);
        std::vector<branding::icon_image> images;
        const std::string wrong = branding::read_icon(a.request.icon, images);
        if (!wrong.empty()) refuse("--icon " + a.icon + " " + wrong);
    }
    std::string output;
    const std::string failed = pack::pack_setup(input, a.request, output);
    if (!failed.empty()) refuse(a.from + " " + failed);
    write_output(a.out, output);
    return 0;
}

#include "utf8_main.h"
