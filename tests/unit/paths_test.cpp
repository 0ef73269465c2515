// The program's folder, joining paths and the folder markers.
#include <gtest/gtest.h>

#include "base/paths.h"
#include "config/path_markers.h"
#include "fake_platform.h"

namespace {

std::wstring expanded(platform::fake_platform& sys, const std::wstring& text)
{
    const base::result<std::wstring> r = config::expand_path_variables(sys, text);
    EXPECT_TRUE(r);
    return r.value();
}

std::wstring folder_of(platform::fake_platform& sys)
{
    const base::result<std::wstring> folder = config::get_application_directory(sys);
    EXPECT_TRUE(folder);
    return folder.value();
}

TEST(application_directory, is_the_module_folder_without_its_last_separator)
{
    const struct {
        const wchar_t* module;
        const wchar_t* folder;
    } cases[] = {
        {L"C:\\medium\\Setup.exe", L"C:\\medium"},
        {L"D:\\Setup.exe", L"D:"},
        {L"C:/medium/disk1/Setup.exe", L"C:/medium/disk1"},
        {L"C:\\a/b\\Setup.exe", L"C:\\a/b"},
        {L"\\\\server\\share\\Setup.exe", L"\\\\server\\share"},
        {L"C:\\\u0423\u0441\u0442\u0430\u043d\u043e\u0432\u043a\u0430\\\u5b89\u88c5\\Setup.exe",
         L"C:\\\u0423\u0441\u0442\u0430\u043d\u043e\u0432\u043a\u0430\\\u5b89\u88c5"},
        {L"Setup.exe", L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << testing::PrintToString(std::wstring(c.module)));
        platform::fake_platform sys;
        sys.module = c.module;
        EXPECT_EQ(folder_of(sys), c.folder);
    }
}

TEST(application_directory, fails_when_the_program_path_is_unavailable)
{
    platform::fake_platform sys;
    sys.module_available = false;
    EXPECT_FALSE(config::get_application_directory(sys));
    sys.module_available = true;
    sys.module.clear();
    EXPECT_FALSE(config::get_application_directory(sys));
}

TEST(combine_path, joins_with_exactly_one_backslash_unless_the_folder_ends_in_a_separator_or_is_empty)
{
    const struct {
        const wchar_t* folder;
        const wchar_t* name;
        const wchar_t* joined;
    } cases[] = {
        {L"C:\\medium", L"setup.xml", L"C:\\medium\\setup.xml"},
        {L"C:\\medium\\", L"setup.xml", L"C:\\medium\\setup.xml"},
        {L"C:/medium/", L"setup.xml", L"C:/medium/setup.xml"}, {L"D:", L"setup.xml", L"D:\\setup.xml"},
        {L"", L"setup.xml", L"setup.xml"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.folder)));
        EXPECT_EQ(base::combine_path(c.folder, c.name), c.joined);
    }
}

// The fake's folders: program in C:\medium, system C:\Windows\system32,
// Windows C:\Windows, temporary folder C:\Users\user\Temp\ (with its slash).
TEST(expand_path_variables, replaces_every_marker_exactly_and_case_sensitively)
{
    const struct {
        const wchar_t* in;
        const wchar_t* out;
    } cases[] = {
        {L"#APPPATH\\Windows Installer\\setup.exe", L"C:\\medium\\Windows Installer\\setup.exe"},
        {L"#SYSTEMPATH\\msi.dll", L"C:\\Windows\\system32\\msi.dll"},
        {L"#WINDOWSPATH\\notepad.exe", L"C:\\Windows\\notepad.exe"},
        {L"#TEMPPATHyolvanesetup.log", L"C:\\Users\\user\\Temp\\yolvanesetup.log"},
        {L"/l* #TEMPPATHyolvanesetup.log", L"/l* C:\\Users\\user\\Temp\\yolvanesetup.log"},
        // every occurrence, wherever it stands
        {L"#APPPATH\\a;#APPPATH\\b", L"C:\\medium\\a;C:\\medium\\b"},
        {L"#APPPATH#APPPATH", L"C:\\mediumC:\\medium"},
        {L"x#WINDOWSPATH#SYSTEMPATH", L"xC:\\WindowsC:\\Windows\\system32"},
        {L"##APPPATH", L"#C:\\medium"},
        // not markers
        {L"#apppath\\a.exe", L"#apppath\\a.exe"},
        {L"#AppPath\\a.exe", L"#AppPath\\a.exe"},
        {L"#APPPAT\\a.exe", L"#APPPAT\\a.exe"},
        {L"APPPATH\\a.exe", L"APPPATH\\a.exe"},
        {L"plain text", L"plain text"},
        {L"", L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.in)));
        platform::fake_platform sys;
        EXPECT_EQ(expanded(sys, c.in), c.out);
    }
}

TEST(expand_path_variables, an_application_directory_of_a_drive_root_is_completed_by_the_configurations_backslash)
{
    platform::fake_platform sys;
    sys.module = L"D:\\Setup.exe";
    EXPECT_EQ(expanded(sys, L"#APPPATH\\Install Quarn Doduv Belmaris.msi"),
              L"D:\\Install Quarn Doduv Belmaris.msi");
}

TEST(expand_path_variables, an_inserted_folder_is_not_scanned_again_for_the_same_marker)
{
    platform::fake_platform sys;
    sys.module = L"C:\\#APPPATH\\Setup.exe";
    EXPECT_EQ(expanded(sys, L"#APPPATH\\a"), L"C:\\#APPPATH\\a");
    sys.system_dir = L"C:\\#SYSTEMPATH#SYSTEMPATH";
    EXPECT_EQ(expanded(sys, L"#SYSTEMPATH|#SYSTEMPATH"),
              L"C:\\#SYSTEMPATH#SYSTEMPATH|C:\\#SYSTEMPATH#SYSTEMPATH");
}

TEST(expand_path_variables, later_markers_are_searched_in_the_text_the_earlier_replacements_left)
{
    platform::fake_platform sys;
    sys.module = L"C:\\#TEMPPATH\\Setup.exe";
    EXPECT_EQ(expanded(sys, L"#APPPATH\\a"), L"C:\\C:\\Users\\user\\Temp\\\\a");
    // ...but an earlier marker is not looked for again in a later folder.
    platform::fake_platform other;
    other.temp_dir = L"T:\\#APPPATH\\";
    EXPECT_EQ(expanded(other, L"#TEMPPATHx"), L"T:\\#APPPATH\\x");
}

TEST(expand_path_variables, a_folder_the_system_does_not_give_becomes_empty)
{
    platform::fake_platform sys;
    sys.system_dir.clear();
    sys.windows_dir.clear();
    sys.temp_dir.clear();
    EXPECT_EQ(expanded(sys, L"#SYSTEMPATH\\msi.dll"), L"\\msi.dll");
    EXPECT_EQ(expanded(sys, L"#WINDOWSPATH\\x"), L"\\x");
    EXPECT_EQ(expanded(sys, L"#TEMPPATHyolvanesetup.log"), L"yolvanesetup.log");
    EXPECT_EQ(expanded(sys, L"#APPPATH\\x"), L"C:\\medium\\x");
}

TEST(expand_path_variables, fails_without_a_program_path_even_for_a_text_without_markers)
{
    platform::fake_platform sys;
    sys.module_available = false;
    for (const wchar_t* text : {L"#APPPATH\\a", L"#SYSTEMPATH\\a", L"no marker", L""})
        EXPECT_FALSE(config::expand_path_variables(sys, text)) << testing::PrintToString(std::wstring(text));
}

}  // namespace
