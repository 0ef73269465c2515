// Whether the process runs with administrator rights.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/admin.h"
#include "fake_platform.h"

namespace {

using platform::is_current_user_admin;
using platform::membership_status;
using platform::token_status;

int count_calls(const platform::fake_platform& sys, const std::wstring& prefix)
{
    return static_cast<int>(std::count_if(sys.calls.begin(), sys.calls.end(),
                                          [&](const std::wstring& c) { return c.rfind(prefix, 0) == 0; }));
}

platform::fake_platform nt(std::uint32_t major, std::uint32_t minor = 0)
{
    platform::fake_platform sys;
    sys.version = platform::os_version_info{2, major, minor, 0, L""};
    return sys;
}

TEST(admin, every_user_of_a_system_outside_the_nt_family_is_administrator)
{
    for (std::uint32_t id : {0u, 1u, 3u}) {
        SCOPED_TRACE(id);
        platform::fake_platform sys;
        sys.version = platform::os_version_info{id, 4, 10, 0, L" A"};
        sys.sid_available = false;
        sys.member_of_admins = false;
        sys.token_group_is_admin = {false};
        EXPECT_TRUE(is_current_user_admin(sys, sys));
        EXPECT_TRUE(sys.calls.empty());
    }
}

TEST(admin, a_failed_version_query_counts_as_administrator)
{
    platform::fake_platform sys = nt(6, 1);
    sys.version_works = false;
    sys.member_of_admins = false;
    EXPECT_TRUE(is_current_user_admin(sys, sys));
}

TEST(admin, the_plain_version_query_decides_even_when_the_extended_one_fails)
{
    platform::fake_platform sys = nt(6, 1);
    sys.extended_version_works = false;
    sys.member_of_admins = false;
    EXPECT_FALSE(is_current_user_admin(sys, sys));
}

TEST(admin, is_false_when_the_group_identifier_cannot_be_built)
{
    for (std::uint32_t major : {4u, 5u, 6u}) {
        SCOPED_TRACE(major);
        platform::fake_platform sys = nt(major);
        sys.sid_available = false;
        EXPECT_FALSE(is_current_user_admin(sys, sys));
    }
}

TEST(admin, from_windows_2000_on_the_systems_membership_test_decides)
{
    const struct {
        membership_status status;
        bool member;
        bool admin;
    } cases[] = {
        {membership_status::ok, true, true},
        {membership_status::ok, false, false},
        {membership_status::no_library, true, false},
        {membership_status::no_function, true, false},
        {membership_status::failed, true, false},
    };
    for (std::uint32_t major : {5u, 6u, 10u}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << "major " << major << ", status " << static_cast<int>(c.status)
                                            << ", member " << c.member);
            platform::fake_platform sys = nt(major);
            sys.membership = c.status;
            sys.member_of_admins = c.member;
            sys.token_group_is_admin = {!c.admin};  // the token must not be consulted
            EXPECT_EQ(is_current_user_admin(sys, sys), c.admin);
            EXPECT_EQ(count_calls(sys, L"check_admin_membership"), 1);
            EXPECT_EQ(count_calls(sys, L"token_groups"), 0);
        }
    }
}

TEST(admin, from_windows_vista_on_a_member_also_needs_an_elevated_token)
{
    using platform::token_elevation;
    const struct {
        std::uint32_t major;
        bool member;
        token_elevation elevation;
        bool admin;
        int elevation_asked;
    } cases[] = {
        {5, true, token_elevation::limited, true, 0},  // never asked before user account control
        {6, true, token_elevation::elevated, true, 1},
        {6, true, token_elevation::limited, false, 1},
        {10, true, token_elevation::unknown, true, 1},  // the query failed: membership decides
        {6, false, token_elevation::elevated, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "major " << c.major << ", member " << c.member << ", elevation "
                                        << static_cast<int>(c.elevation));
        platform::fake_platform sys = nt(c.major);
        sys.member_of_admins = c.member;
        sys.elevation_answer = c.elevation;
        EXPECT_EQ(is_current_user_admin(sys, sys), c.admin);
        EXPECT_EQ(count_calls(sys, L"elevation"), c.elevation_asked);
    }
}

TEST(admin, before_windows_2000_the_token_groups_are_walked)
{
    const struct {
        const char* name;
        std::vector<std::uint8_t> groups;
        bool admin;
    } cases[] = {
        {"the group listed second", {false, true}, true},
        {"the group listed last of many", {false, false, false, false, true}, true},
        {"the group listed first", {true}, true},
        {"the group not listed", {false, false, false}, false},
        {"no groups", {}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        platform::fake_platform sys = nt(4);
        sys.token_group_is_admin = c.groups;
        sys.member_of_admins = !c.admin;  // the membership test must not be consulted
        EXPECT_EQ(is_current_user_admin(sys, sys), c.admin);
        EXPECT_EQ(sys.calls, std::vector<std::wstring>{L"token_groups:1024"});
    }
}

TEST(admin, a_token_larger_than_the_first_buffer_is_asked_again_with_the_size_it_needs)
{
    for (std::uint32_t size : {1025u, 4096u}) {
        SCOPED_TRACE(size);
        platform::fake_platform sys = nt(4);
        sys.token_size = size;
        sys.token_group_is_admin = {false, false, true};
        EXPECT_TRUE(is_current_user_admin(sys, sys));
        EXPECT_EQ(sys.calls, (std::vector<std::wstring>{L"token_groups:1024", L"token_groups:" + std::to_wstring(size)}));
    }
    platform::fake_platform exact = nt(4);
    exact.token_size = 1024;
    EXPECT_TRUE(is_current_user_admin(exact, exact));
    EXPECT_EQ(exact.calls, std::vector<std::wstring>{L"token_groups:1024"});
}

TEST(admin, a_token_that_cannot_be_read_is_no_administrator)
{
    for (token_status status : {token_status::no_token, token_status::failed}) {
        for (std::uint32_t size : {512u, 4096u}) {
            SCOPED_TRACE(testing::Message() << static_cast<int>(status) << " " << size);
            platform::fake_platform sys = nt(4);
            sys.token_result = status;
            sys.token_size = size;
            sys.token_group_is_admin = {true};
            EXPECT_FALSE(is_current_user_admin(sys, sys));
        }
    }
}

}  // namespace
