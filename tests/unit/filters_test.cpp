// The Windows-version code, the version range and the language lists.
#include <gtest/gtest.h>

#include <optional>

#include "components/filters.h"
#include "fake_platform.h"

namespace {

using platform::reg_root;

const wchar_t hotfix_key[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Hotfix\\Q246009";

TEST(os_version_code, classifies_every_release)
{
    const struct {
        std::uint32_t platform_id, major, minor;
        std::uint16_t service_pack;
        const wchar_t* csd;
        bool hotfix;
        int code;
    } cases[] = {
        {0, 3, 10, 0, L"", false, 0},     // Win32s
        {1, 3, 95, 0, L"", false, 0},     // below 4 in the 95 family
        {1, 4, 0, 0, L"", false, 5},      // Windows 95
        {1, 4, 0, 0, L" A", false, 5},
        {1, 4, 0, 0, L" B", false, 10},   // OSR2
        {1, 4, 0, 0, L" C", false, 10},
        {1, 4, 0, 0, L" b", false, 5},    // the letters are case-sensitive
        {1, 4, 0, 0, L"B", false, 5},     // it is the second character that counts
        {1, 4, 10, 0, L"", false, 15},    // Windows 98
        {1, 4, 10, 0, L" A", false, 20},  // Second Edition
        {1, 4, 10, 0, L" a", false, 15},
        {1, 4, 10, 0, L" B", false, 15},
        {1, 4, 90, 0, L"", false, 25},    // Windows Me
        {1, 4, 1, 0, L"", false, 0},
        {1, 4, 50, 0, L"", false, 0},
        {1, 4, 91, 0, L"", false, 100},
        {1, 5, 0, 0, L"", false, 100},
        {2, 3, 51, 0, L"Service Pack 5", false, 30},   // NT 3.51
        {2, 4, 0, 0, L"", false, 30},                  // NT 4.0
        {2, 4, 0, 5, L"Service Pack 5", true, 30},
        {2, 4, 0, 6, L"Service Pack 6a", true, 30},
        {2, 4, 0, 6, L"Service Pack 6", false, 35},
        {2, 4, 0, 6, L"Service Pack 6", true, 40},
        {2, 4, 0, 6, L"service pack 6", false, 35},
        {2, 4, 0, 6, L"service pack 6", true, 40},
        {2, 4, 0, 6, L"SERVICE PACK 6", true, 40},
        {2, 5, 0, 0, L"", false, 45},                  // Windows 2000
        {2, 5, 0, 1, L"Service Pack 1", false, 50},
        {2, 5, 0, 2, L"Service Pack 2", false, 55},
        {2, 5, 0, 3, L"Service Pack 3", false, 60},
        {2, 5, 0, 4, L"Service Pack 4", false, 65},
        {2, 5, 0, 5, L"Service Pack 5", false, 65},
        {2, 5, 1, 0, L"", false, 75},                  // Windows XP
        {2, 5, 1, 1, L"Service Pack 1", false, 80},
        {2, 5, 1, 2, L"Service Pack 2", false, 82},
        {2, 5, 1, 3, L"Service Pack 3", false, 82},
        {2, 5, 2, 0, L"", false, 90},                  // Server 2003
        {2, 5, 2, 2, L"Service Pack 2", false, 90},
        {2, 5, 3, 0, L"", false, 100},
        {2, 6, 0, 0, L"", false, 100},
        {2, 6, 1, 1, L"Service Pack 1", false, 100},
        {2, 10, 0, 0, L"", false, 100},
        {3, 5, 1, 2, L"", false, 0},                   // any other platform
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.platform_id << " " << c.major << "." << c.minor << " sp "
                                        << c.service_pack << " " << testing::PrintToString(std::wstring(c.csd))
                                        << (c.hotfix ? " hotfix" : ""));
        platform::fake_platform sys;
        sys.version = platform::os_version_info{c.platform_id, c.major, c.minor, c.service_pack, c.csd};
        if (c.hotfix) sys.add_reg_key(reg_root::local_machine, hotfix_key);
        EXPECT_EQ(components::get_os_version_code(sys, sys), c.code);
    }
}

TEST(os_version_code, only_a_hotfix_key_that_opens_under_local_machine_counts)
{
    const std::wstring hklm = platform::fake_platform::key_of(reg_root::local_machine, hotfix_key);
    for (bool denied : {true, false}) {
        platform::fake_platform sys;
        sys.version = platform::os_version_info{2, 4, 0, 6, L"Service Pack 6"};
        if (denied) {
            sys.add_reg_key(reg_root::local_machine, hotfix_key);
            sys.registry_denied[hklm] = true;
        } else {
            sys.add_reg_key(reg_root::current_user, hotfix_key);
        }
        EXPECT_EQ(components::get_os_version_code(sys, sys), 35);
    }
}

TEST(os_version_code, a_failed_extended_query_falls_back_with_service_pack_zero_and_a_failed_plain_one_gives_zero)
{
    const struct {
        std::uint32_t platform_id, major, minor;
        std::uint16_t service_pack;
        const wchar_t* csd;
        int code;
    } cases[] = {
        {2, 5, 1, 2, L"Service Pack 2", 75},
        {2, 5, 0, 3, L"Service Pack 3", 45},
        {1, 4, 0, 0, L" C", 10},  // the service-pack text still comes through
        {1, 4, 10, 0, L" A", 20},
        {2, 5, 2, 1, L"Service Pack 1", 90},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.major << "." << c.minor);
        platform::fake_platform sys;
        sys.extended_version_works = false;
        sys.version = platform::os_version_info{c.platform_id, c.major, c.minor, c.service_pack, c.csd};
        EXPECT_EQ(components::get_os_version_code(sys, sys), c.code);
        sys.version_works = false;  // both queries failing give 0
        EXPECT_EQ(components::get_os_version_code(sys, sys), 0);
    }
}

TEST(os_version_range, takes_both_bounds_as_exclusive_and_blank_ones_as_open)
{
    const struct {
        int code;
        const wchar_t* greater;
        const wchar_t* smaller;
        bool accepted;
    } cases[] = {
        {0, L"", L"", true}, {100, L"", L"", true}, {-9999, L"", L"", true}, {9999, L"", L"", true},
        {-10000, L"", L"", false}, {10000, L"", L"", false}, {82, L"80", L"", true}, {80, L"80", L"", false},
        {75, L"80", L"", false}, {40, L"", L"45", true}, {30, L"", L"45", true}, {5, L"", L"45", true},
        {45, L"", L"45", false}, {65, L"", L"45", false}, {50, L"45", L"55", true},
        {55, L"45", L"55", false}, {45, L"45", L"55", false}, {82, L"  80  ", L"", true},
        {80, L"\t80\r\n", L"", false}, {40, L"", L" 45 ", true}, {45, L"", L" 45 ", false},
        {0, L"   ", L"\t", true}, {45, L"45abc", L"", false}, {46, L"45abc", L"", true},
        {44, L"", L"45abc", true}, {0, L"-5", L"+5", true}, {5, L"-5", L"+5", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.code << " in (" << testing::PrintToString(std::wstring(c.greater))
                                        << ", " << testing::PrintToString(std::wstring(c.smaller)) << ")");
        const base::result<bool> in_range = components::os_version_in_range(c.code, c.greater, c.smaller);
        ASSERT_TRUE(in_range);
        EXPECT_EQ(in_range.value(), c.accepted);
    }
}

TEST(os_version_range, fails_on_a_bound_that_is_not_a_number)
{
    EXPECT_FALSE(components::os_version_in_range(50, L"abc", L""));
    EXPECT_FALSE(components::os_version_in_range(50, L"", L"abc"));
    EXPECT_FALSE(components::os_version_in_range(50, L"- 5", L""));
    // both bounds are read before the code is compared
    EXPECT_FALSE(components::os_version_in_range(50, L"100", L"abc"));
}

TEST(language_filter, accepts_the_listed_languages_and_those_differing_from_a_negated_one)
{
    const struct {
        std::uint16_t language;
        const wchar_t* list;
        bool accepted;
    } cases[] = {
        {1033, L"1033", true}, {1031, L"1033", false}, {1033, L"!1033", false}, {1031, L"!1033", true},
        {1033, L"1031,1033", true}, {1036, L"1031,1033", false}, {1033, L"!1033,!1031", true},
        {1031, L"!1033,!1031", true}, {1036, L"!1033,!1031", true}, {1033, L"!1033,1031", false},
        // empty entries are skipped
        {1033, L",1033", true}, {1033, L"1033,", true}, {1033, L"1031,,1033", true}, {1033, L",", false},
        {1033, L",,,", false},
        // "%d": leading blanks are allowed, anything after the number ignored
        {1033, L" 1033", true}, {1033, L"1033 ", true}, {1033, L"1033abc", true}, {1031, L"! 1033", true},
        {1033, L"! 1033", false}, {1033, L"+1033", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.language << " in " << testing::PrintToString(std::wstring(c.list)));
        platform::fake_platform sys;
        sys.set_language(c.language);
        const base::result<bool> accepted = components::language_filter_matches(sys, sys, c.list);
        ASSERT_TRUE(accepted);
        EXPECT_EQ(accepted.value(), c.accepted);
    }
}

TEST(language_filter, fails_on_an_entry_that_is_not_a_number_wherever_it_stands)
{
    const wchar_t* lists[] = {L" ", L" !1033", L"!", L"!!1033", L"xyz", L"1033,xyz", L"xyz,1033", L"1033, ,1031"};
    for (const wchar_t* list : lists) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(list)));
        platform::fake_platform sys;
        sys.set_language(1033);
        EXPECT_FALSE(components::language_filter_matches(sys, sys, list));
    }
}

TEST(language_filter, an_empty_list_accepts_without_reading_the_language)
{
    platform::fake_platform sys;  // no user.exe: the language cannot be read
    const base::result<bool> accepted = components::language_filter_matches(sys, sys, L"");
    EXPECT_TRUE(accepted && accepted.value());
    EXPECT_TRUE(sys.calls.empty());
}

TEST(language_filter, fails_when_the_language_cannot_be_read)
{
    platform::fake_platform sys;
    EXPECT_FALSE(components::language_filter_matches(sys, sys, L"1033"));
    EXPECT_FALSE(components::language_filter_matches(sys, sys, L","));
}

}  // namespace
