// Dotted version texts, file versions and the system language.
#include <gtest/gtest.h>

#include "components/version.h"
#include "fake_platform.h"

namespace {

using components::compare_versions;

TEST(compare_versions, reads_up_to_four_signed_parts_the_way_the_c_scanner_does)
{
    const struct {
        const wchar_t* a;
        const wchar_t* b;
        int expected;
    } cases[] = {
        {L"2.0.0.0", L"2.0.0.0", 0}, {L"2", L"2.0.0.0", 0}, {L"1.10", L"1.9", 1}, {L"10.0", L"9.9.9.9", 1},
        {L"1.2.3.4", L"1.2.3.5", -1}, {L"1.2.4", L"1.2.3.9", 1}, {L"1.3", L"1.2.99.99", 1},
        // a fifth part is ignored
        {L"1.2.3.4.5", L"1.2.3.4", 0}, {L"1.2.3.4.5", L"1.2.3.4.9", 0},
        // a blank after a dot is skipped, a blank before a dot ends the scan
        {L"1. 2", L"1.2.0.0", 0}, {L"1 .2", L"1.0.0.0", 0}, {L"1 .2", L"1.2", -1}, {L" 3", L"3.0", 0},
        // the scan stops at the first character that does not fit
        {L"1..2", L"1.0.0.0", 0}, {L"1.2abc.3", L"1.2", 0}, {L"1,2", L"1", 0},
        {L"2.0.2600.0x", L"2.0.2600", 0},
        // unreadable texts are 0.0.0.0
        {L"abc", L"0.0.0.0", 0}, {L"", L"0.0.0.0", 0}, {L"v2.0", L"0", 0}, {L"", L"0.0.0.1", -1},
        // parts are signed
        {L"-1.0.0.0", L"0.0.0.0", -1}, {L"1.-2", L"1.0", -1}, {L"+3.1", L"3.1", 0}, {L"-1", L"-2", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.a)) + " vs " + testing::PrintToString(std::wstring(c.b)));
        EXPECT_EQ(compare_versions(c.a, c.b), c.expected);
        EXPECT_EQ(compare_versions(c.b, c.a), -c.expected);
    }
}

TEST(file_version_string, formats_the_four_words_of_the_fixed_version)
{
    platform::fake_platform sys;
    sys.add_versioned_file(L"C:\\a.dll", 5, 1, 2600, 5512);
    sys.add_versioned_file(L"C:\\b.dll", 65535, 65535, 65535, 65535);
    sys.add_versioned_file(L"C:\\c.dll", 0, 0, 0, 0);
    sys.add_versioned_file(L"C:\\d.dll", 2, 0, 0, 7);
    EXPECT_EQ(components::get_file_version_string(sys, L"C:\\a.dll"), L"5.1.2600.5512");
    EXPECT_EQ(components::get_file_version_string(sys, L"C:\\b.dll"), L"65535.65535.65535.65535");
    EXPECT_EQ(components::get_file_version_string(sys, L"C:\\c.dll"), L"0.0.0.0");
    EXPECT_EQ(components::get_file_version_string(sys, L"C:\\d.dll"), L"2.0.0.7");
}

TEST(file_version_string, is_all_zeros_without_a_version_resource)
{
    platform::fake_platform sys;
    sys.add_file(L"C:\\plain.txt", "text");
    sys.add_directory(L"C:\\folder");
    EXPECT_EQ(components::get_file_version_string(sys, L"C:\\plain.txt"), L"0.0.0.0");
    EXPECT_EQ(components::get_file_version_string(sys, L"C:\\folder"), L"0.0.0.0");
    EXPECT_EQ(components::get_file_version_string(sys, L"C:\\missing.dll"), L"0.0.0.0");
}

TEST(system_language, is_the_first_translation_of_user_exe_in_the_system_folder)
{
    platform::fake_platform sys;
    sys.set_language(1033);
    EXPECT_EQ(components::get_system_language(sys, sys).value(), 1033);
    ASSERT_FALSE(sys.calls.empty());
    EXPECT_EQ(sys.calls.back(), L"file_language:C:\\Windows\\system32\\user.exe");

    sys.set_language(0xFFFF);  // unsigned, and read anew on every call
    EXPECT_EQ(components::get_system_language(sys, sys).value(), 0xFFFF);
}

TEST(system_language, joins_user_exe_with_one_backslash)
{
    platform::fake_platform sys;
    sys.system_dir = L"C:\\Windows\\system32\\";
    sys.set_language(1036);
    EXPECT_EQ(components::get_system_language(sys, sys).value(), 1036);
    EXPECT_EQ(sys.calls.back(), L"file_language:C:\\Windows\\system32\\user.exe");
}

TEST(system_language, fails_when_it_cannot_be_read)
{
    platform::fake_platform missing;
    EXPECT_FALSE(components::get_system_language(missing, missing));

    platform::fake_platform without_translation;
    without_translation.add_versioned_file(L"C:\\Windows\\system32\\user.exe", 5, 1, 0, 0);
    EXPECT_FALSE(components::get_system_language(without_translation, without_translation));

    platform::fake_platform elsewhere;  // the language of another file does not count
    elsewhere.files[L"c:\\windows\\user.exe"].language = 1033;
    EXPECT_FALSE(components::get_system_language(elsewhere, elsewhere));
}

}  // namespace
