// Whether a component is installed: file checks, registry checks and how a
// component combines them.
#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "components/component.h"
#include "components/installed_checks.h"
#include "test_helpers.h"

namespace {

using components::installedcheck_check_file;
using components::installedcheck_check_registry_value;
using platform::reg_root;
using prepare_fn = std::function<void(platform::fake_platform&)>;

const wchar_t comparison_message[] = L"Invalid comparison type, expected match or version.";
const wchar_t dword_message[] = L"Invalid registry value to check expected DWORD.";
const wchar_t type_message[] = L"Invalid registry type.";
const wchar_t key[] = L"SOFTWARE\\Yolvane\\Test";

// What a check answered and the one box it may have shown.
struct expectation {
    bool installed;
    const wchar_t* message = nullptr;  // nullptr: no box
    const wchar_t* caption = nullptr;
};

void expect_outcome(platform::fake_platform& sys, components::installedcheck& check, const expectation& e)
{
    EXPECT_EQ(check.is_installed(), e.installed);
    if (e.message == nullptr) {
        EXPECT_TRUE(sys.messages.empty()) << testing::PrintToString(sys.message_texts());
        return;
    }
    ASSERT_EQ(sys.messages.size(), 1u);
    const auto& m = sys.messages[0];
    EXPECT_EQ(m.text, e.message);
    EXPECT_EQ(m.caption, std::optional<std::wstring>(e.caption));
    EXPECT_EQ(m.owner, 0u);
    EXPECT_EQ(m.icon, platform::box_icon::error);
    EXPECT_EQ(m.buttons, platform::box_buttons::ok);
}

TEST(check_file, answers_from_presence_and_version_with_a_box_for_a_bad_comparison)
{
    const std::wstring path = L"C:\\Windows\\system32\\msi.dll";
    const prepare_fn missing = [](platform::fake_platform&) {};
    const prepare_fn unversioned = [&](platform::fake_platform& sys) { sys.add_file(path); };
    const prepare_fn folder = [&](platform::fake_platform& sys) { sys.add_directory(path); };
    const auto version = [&](std::uint16_t a, std::uint16_t b, std::uint16_t c, std::uint16_t d) {
        return prepare_fn([=](platform::fake_platform& sys) { sys.add_versioned_file(path, a, b, c, d); });
    };
    const struct {
        const char* name;
        prepare_fn prepare;
        const wchar_t* fileversion;
        const wchar_t* comparison;
        expectation outcome;
    } cases[] = {
        {"missing file", missing, L"", L"", {false}},
        {"missing file, bad comparison", missing, L"1.0", L"bogus", {false}},
        {"presence alone", unversioned, L"", L"", {true}},
        {"presence alone ignores the comparison", unversioned, L"", L"bogus", {true}},
        {"a folder counts as present", folder, L"", L"", {true}},
        {"newer build", version(2, 0, 2600, 0), L"2.0.0.0", L"version", {true}},
        {"same version", version(2, 0, 0, 0), L"2.0.0.0", L"version", {true}},
        {"older", version(1, 1, 0, 0), L"2.0.0.0", L"version", {false}},
        {"unversioned is 0.0.0.0", unversioned, L"2.0.0.0", L"version", {false}},
        {"a folder has no version", folder, L"1.0", L"version", {false}},
        {"unversioned meets 0", unversioned, L"0", L"version", {true}},
        {"match, exact text", version(5, 1, 2600, 5512), L"5.1.2600.5512", L"match", {true}},
        {"match compares text, not numbers", version(5, 1, 0, 0), L"5.1", L"match", {false}},
        {"match, newer is not equal", version(5, 1, 2600, 5513), L"5.1.2600.5512", L"match", {false}},
        {"match, unversioned", unversioned, L"0.0.0.0", L"match", {true}},
        {"exists is no comparison here", version(2, 0, 0, 0), L"2.0.0.0", L"exists",
         {false, comparison_message, L"exists"}},
        {"empty comparison", version(2, 0, 0, 0), L"2.0.0.0", L"", {false, comparison_message, L""}},
        {"comparison in capitals", version(2, 0, 0, 0), L"2.0.0.0", L"Version",
         {false, comparison_message, L"Version"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        platform::fake_platform sys;
        c.prepare(sys);
        installedcheck_check_file check(sys, sys);
        check.filename = path;
        check.fileversion = c.fileversion;
        check.comparison = c.comparison;
        expect_outcome(sys, check, c.outcome);
    }
}

prepare_fn dword(std::uint32_t value, const std::wstring& name = L"Value")
{
    return [=](platform::fake_platform& sys) { sys.set_reg_dword(reg_root::local_machine, key, name, value); };
}

prepare_fn bytes(std::vector<std::uint8_t> data)
{
    return [=](platform::fake_platform& sys) { sys.set_reg_value(reg_root::local_machine, key, L"Value", data); };
}

prepare_fn string_value(const std::wstring& value)
{
    return [=](platform::fake_platform& sys) { sys.set_reg_string(reg_root::local_machine, key, L"Value", value); };
}

struct registry_case {
    const char* name;
    prepare_fn prepare;
    const wchar_t* fieldtype;
    const wchar_t* fieldvalue;
    const wchar_t* comparison;
    expectation outcome;
    const wchar_t* fieldname = L"Value";
};

void run_registry_cases(const std::vector<registry_case>& cases)
{
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        platform::fake_platform sys;
        c.prepare(sys);
        installedcheck_check_registry_value check(sys, sys);
        check.path = key;
        check.fieldname = c.fieldname;
        check.fieldtype = c.fieldtype;
        check.fieldvalue = c.fieldvalue;
        check.comparison = c.comparison;
        expect_outcome(sys, check, c.outcome);
    }
}

TEST(check_registry_value, a_missing_key_is_not_installed_whatever_else_is_wrong)
{
    const prepare_fn other_root = [](platform::fake_platform& sys) {
        sys.set_reg_dword(reg_root::current_user, key, L"Value", 5);
    };
    const prepare_fn nothing = [](platform::fake_platform&) {};
    run_registry_cases({
        {"no key, empty type", nothing, L"", L"", L"", {false}},
        {"no key, bad type", nothing, L"bogus", L"", L"", {false}},
        {"no key, DWORD without number", nothing, L"REG_DWORD", L"abc", L"exists", {false}},
        {"the key under the current user does not count", other_root, L"REG_DWORD", L"1", L"exists", {false}},
        {"a key that does not open", [](platform::fake_platform& sys) {
             sys.add_reg_key(reg_root::local_machine, key);
             sys.registry_denied[platform::fake_platform::key_of(reg_root::local_machine, key)] = true;
         }, L"", L"", L"", {false}},
    });
}

TEST(check_registry_value, an_empty_type_is_met_by_the_key_alone_and_other_types_are_refused)
{
    const prepare_fn key_only = [](platform::fake_platform& sys) { sys.add_reg_key(reg_root::local_machine, key); };
    run_registry_cases({
        {"empty type, no value", key_only, L"", L"", L"", {true}},
        {"empty type, any comparison", key_only, L"", L"abc", L"bogus", {true}},
        {"lower-case reg_sz", string_value(L"1"), L"reg_sz", L"1", L"match", {false, type_message, L"reg_sz"}},
        {"lower-case reg_dword", dword(1), L"reg_dword", L"1", L"match", {false, type_message, L"reg_dword"}},
        {"REG_BINARY", key_only, L"REG_BINARY", L"", L"", {false, type_message, L"REG_BINARY"}},
        {"padded type", key_only, L" REG_SZ", L"", L"match", {false, type_message, L" REG_SZ"}},
    });
}

TEST(check_registry_value, dword_compares_the_stored_bits_unsigned)
{
    run_registry_cases({
        {"version, newer", dword(5), L"REG_DWORD", L"1", L"version", {true}},
        {"version, equal", dword(1), L"REG_DWORD", L"1", L"version", {true}},
        {"version, older", dword(0), L"REG_DWORD", L"1", L"version", {false}},
        {"version, all bits set is the largest", dword(0xFFFFFFFF), L"REG_DWORD", L"1", L"version", {true}},
        {"version -1 is met by all bits set", dword(0xFFFFFFFF), L"REG_DWORD", L"-1", L"version", {true}},
        {"version -1 is not met by one less", dword(0xFFFFFFFE), L"REG_DWORD", L"-1", L"version", {false}},
        {"version -1 is not met by 5", dword(5), L"REG_DWORD", L"-1", L"version", {false}},
        {"version with the high bit set", dword(0x80000000), L"REG_DWORD", L"2147483647", L"version", {true}},
        {"match", dword(7), L"REG_DWORD", L"7", L"match", {true}},
        {"match, differs", dword(7), L"REG_DWORD", L"8", L"match", {false}},
        {"match -1 and all bits set", dword(0xFFFFFFFF), L"REG_DWORD", L"-1", L"match", {true}},
        {"number with blanks and a tail", dword(7), L"REG_DWORD", L" 7 and more", L"match", {true}},
        {"exists", dword(123), L"REG_DWORD", L"0", L"exists", {true}},
        {"empty comparison", dword(0), L"REG_DWORD", L"99", L"", {true}},
        {"the default value", dword(3, L""), L"REG_DWORD", L"3", L"match", {true}, L""},
        {"the stored type is not examined", bytes({'A', 0, 0, 0}), L"REG_DWORD", L"65", L"match", {true}},
        {"a shorter value", bytes({2, 1}), L"REG_DWORD", L"258", L"match", {true}},
    });
}

TEST(check_registry_value, dword_without_a_readable_value_or_number_is_not_installed)
{
    run_registry_cases({
        {"missing value", dword(1, L"Other"), L"REG_DWORD", L"1", L"exists", {false}},
        {"missing value, no number", dword(1, L"Other"), L"REG_DWORD", L"abc", L"match", {false}},
        {"a value longer than four bytes", string_value(L"hello"), L"REG_DWORD", L"1", L"exists", {false}},
        {"a long value is refused before the number is read", bytes({1, 0, 0, 0, 0}), L"REG_DWORD", L"abc", L"match",
         {false}},
        {"no number", dword(1), L"REG_DWORD", L"abc", L"match", {false, dword_message, L"abc"}},
        {"exists still demands a number", dword(1), L"REG_DWORD", L"", L"exists", {false, dword_message, L""}},
        {"a lone sign is no number", dword(1), L"REG_DWORD", L"-", L"version", {false, dword_message, L"-"}},
        {"bad comparison", dword(1), L"REG_DWORD", L"1", L"Match", {false, comparison_message, L"Match"}},
        {"bad comparison after the number", dword(1), L"REG_DWORD", L"x", L"bogus", {false, dword_message, L"x"}},
    });
}

TEST(check_registry_value, string_compares_the_text_up_to_its_first_zero)
{
    std::vector<std::uint8_t> odd = platform::utf16_bytes(L"1.2", false);
    odd.push_back('3');  // an odd byte count: the last unit is 0x0033
    run_registry_cases({
        {"match", string_value(L"1.2.3"), L"REG_SZ", L"1.2.3", L"match", {true}},
        {"match is exact", string_value(L"1.2.3"), L"REG_SZ", L"1.2.3 ", L"match", {false}},
        {"match is case-sensitive", string_value(L"abc"), L"REG_SZ", L"ABC", L"match", {false}},
        {"match, empty value", string_value(L""), L"REG_SZ", L"", L"match", {true}},
        {"version, newer stored", string_value(L"2.5"), L"REG_SZ", L"2.0", L"version", {true}},
        {"version, equal", string_value(L"2.0.0.0"), L"REG_SZ", L"2", L"version", {true}},
        {"version, older stored", string_value(L"1.9"), L"REG_SZ", L"2.0", L"version", {false}},
        {"version, numbers not text", string_value(L"1.10"), L"REG_SZ", L"1.9", L"version", {true}},
        {"without a terminator", bytes(platform::utf16_bytes(L"1.2", false)), L"REG_SZ", L"1.2", L"match", {true}},
        {"an odd byte count keeps its last byte", bytes(odd), L"REG_SZ", L"1.23", L"match", {true}},
        {"taken up to the first zero", bytes(platform::utf16_bytes(std::wstring(L"ab\0cd", 5))), L"REG_SZ", L"ab",
         L"match", {true}},
        {"the stored type is not examined", dword(0x00420041), L"REG_SZ", L"AB", L"match", {true}},
        {"non-ASCII text", string_value(L"\u00e9\u20ac"), L"REG_SZ", L"\u00e9\u20ac", L"match", {true}},
    });
}

TEST(check_registry_value, string_without_a_value_or_with_another_comparison_is_not_installed)
{
    run_registry_cases({
        {"missing value", dword(1, L"Other"), L"REG_SZ", L"1", L"match", {false}},
        {"missing value, bad comparison", dword(1, L"Other"), L"REG_SZ", L"1", L"exists", {false}},
        {"exists is no comparison here", string_value(L"x"), L"REG_SZ", L"x", L"exists",
         {false, comparison_message, L"exists"}},
        {"empty comparison", string_value(L"x"), L"REG_SZ", L"x", L"", {false, comparison_message, L""}},
    });
}

TEST(check_registry_value, only_view_64_reads_the_native_view)
{
    const struct {
        const wchar_t* view;
        platform::reg_view expected;
    } cases[] = {
        {L"64", platform::reg_view::native},
        {L"32", platform::reg_view::redirected},
        {L"", platform::reg_view::redirected},
        {L"x64", platform::reg_view::redirected},
        {L" 64", platform::reg_view::redirected},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.view)));
        platform::fake_platform sys;
        sys.set_reg_dword(reg_root::local_machine, key, L"Value", 1);
        installedcheck_check_registry_value check(sys, sys);
        check.path = key;
        check.fieldname = L"Value";
        check.fieldtype = L"REG_DWORD";
        check.fieldvalue = L"1";
        check.comparison = L"match";
        check.view = c.view;
        EXPECT_TRUE(check.is_installed());
        ASSERT_EQ(sys.key_views.size(), 2u);  // the key, then its value
        for (const auto& asked : sys.key_views) EXPECT_EQ(asked.second, c.expected);
    }
}

// A file check that always shows its comparison box when asked.
std::unique_ptr<installedcheck_check_file> noisy_check(platform::fake_platform& sys, const wchar_t* caption)
{
    sys.add_file(L"C:\\present.dll");
    auto check = std::make_unique<installedcheck_check_file>(sys, sys);
    check->filename = L"C:\\present.dll";
    check->fileversion = L"1.0";
    check->comparison = caption;
    return check;
}

std::unique_ptr<installedcheck_check_file> presence_check(platform::fake_platform& sys, const wchar_t* path)
{
    auto check = std::make_unique<installedcheck_check_file>(sys, sys);
    check->filename = path;
    return check;
}

TEST(component_is_installed, is_false_without_checks)
{
    platform::fake_platform sys;
    components::cmd_component c;
    EXPECT_FALSE(c.is_installed());
}

TEST(component_is_installed, is_true_only_when_every_check_is)
{
    platform::fake_platform sys;
    sys.add_file(L"C:\\a");
    sys.add_file(L"C:\\b");
    components::cmd_component both;
    both.installed_checks.push_back(presence_check(sys, L"C:\\a"));
    both.installed_checks.push_back(presence_check(sys, L"C:\\b"));
    EXPECT_TRUE(both.is_installed());

    components::cmd_component last_missing;
    last_missing.installed_checks.push_back(presence_check(sys, L"C:\\a"));
    last_missing.installed_checks.push_back(presence_check(sys, L"C:\\missing"));
    EXPECT_FALSE(last_missing.is_installed());
}

TEST(component_is_installed, a_check_after_a_false_one_is_not_asked)
{
    platform::fake_platform sys;
    components::cmd_component c;
    c.installed_checks.push_back(presence_check(sys, L"C:\\missing"));
    c.installed_checks.push_back(noisy_check(sys, L"second"));
    EXPECT_FALSE(c.is_installed());
    EXPECT_TRUE(sys.messages.empty());

    // while a check after a true one is asked, and shows its box
    components::cmd_component d;
    d.installed_checks.push_back(presence_check(sys, L"C:\\present.dll"));
    d.installed_checks.push_back(noisy_check(sys, L"asked"));
    d.installed_checks.push_back(noisy_check(sys, L"not asked"));
    EXPECT_FALSE(d.is_installed());
    ASSERT_EQ(sys.messages.size(), 1u);
    EXPECT_EQ(sys.messages[0].caption, std::optional<std::wstring>(L"asked"));
}

}  // namespace
