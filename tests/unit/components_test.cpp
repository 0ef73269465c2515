// Starting components and reading how they ended.
#include <gtest/gtest.h>

#include "components/component.h"
#include "test_helpers.h"

namespace {

using components::cmd_component;
using components::msi_component;
using components::openfile_component;
using platform::fake_platform;
using testing_support::add_program;

const std::wstring msiexec = L"C:\\Windows\\system32\\msiexec.exe";

std::uint32_t exit_code_of(components::component& c)
{
    std::uint32_t code = 0xDEADBEEF;
    EXPECT_TRUE(c.get_exit_code(code));
    return code;
}

TEST(cmd_component, starts_the_command_as_one_file)
{
    fake_platform sys;
    add_program(sys, L"C:\\medium\\tool.exe");
    cmd_component c;
    c.command = L"C:\\medium\\tool.exe";
    ASSERT_TRUE(c.exec(sys, sys));
    ASSERT_EQ(sys.processes.size(), 1u);
    EXPECT_EQ(sys.processes[0].file, L"C:\\medium\\tool.exe");
    EXPECT_EQ(sys.processes[0].parameters, L"");
}

TEST(cmd_component, a_command_with_an_argument_is_handed_to_the_shell_whole_and_fails)
{
    fake_platform sys;
    add_program(sys, L"C:\\medium\\tool.exe");
    cmd_component c;
    c.command = L"C:\\medium\\tool.exe /quiet";
    EXPECT_FALSE(c.exec(sys, sys));
    EXPECT_EQ(sys.calls, std::vector<std::wstring>{L"shell_execute_ex:C:\\medium\\tool.exe /quiet|"});
    EXPECT_TRUE(sys.processes.empty());
}

TEST(cmd_component, does_not_count_as_started_when_the_shell_refuses_or_gives_no_process)
{
    fake_platform::program refused;
    refused.starts = false;
    fake_platform::program no_process;
    no_process.gives_process = false;
    for (const auto& behaviour : {refused, no_process}) {
        fake_platform sys;
        add_program(sys, L"C:\\doc.txt", behaviour);
        cmd_component c;
        c.command = L"C:\\doc.txt";
        EXPECT_FALSE(c.exec(sys, sys));
        EXPECT_FALSE(c.is_executing());
        std::uint32_t code = 0;
        EXPECT_FALSE(c.get_exit_code(code));
    }
}

TEST(msi_component, starts_windows_installer_from_the_system_folder_with_the_package_and_parameters)
{
    const struct {
        const wchar_t* system_dir;
        const wchar_t* parameters;
        const wchar_t* command_line;
    } cases[] = {
        {L"C:\\Windows\\system32", L"/l*v C:\\Temp\\log.txt",
         L"/i \"C:\\medium\\Install Quarn Doduv Belmaris.msi\" /l*v C:\\Temp\\log.txt"},
        {L"C:\\Windows\\system32\\", L"", L"/i \"C:\\medium\\Install Quarn Doduv Belmaris.msi\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.parameters)));
        fake_platform sys;
        sys.system_dir = c.system_dir;
        add_program(sys, msiexec);
        msi_component m;
        m.package = L"C:\\medium\\Install Quarn Doduv Belmaris.msi";
        m.cmdparameters = c.parameters;
        ASSERT_TRUE(m.exec(sys, sys));
        ASSERT_EQ(sys.processes.size(), 1u);
        EXPECT_EQ(sys.processes[0].file, msiexec);
        EXPECT_EQ(sys.processes[0].parameters, c.command_line);
    }
}

TEST(process_component, reports_running_then_the_real_exit_code)
{
    for (std::uint32_t code : {0u, 1u, 3010u, 0xC0000005u}) {
        SCOPED_TRACE(code);
        fake_platform sys;
        fake_platform::program behaviour;
        behaviour.exit_code = code;
        behaviour.polls_until_end = 2;
        add_program(sys, L"C:\\setup.exe", behaviour);
        cmd_component c;
        c.command = L"C:\\setup.exe";
        ASSERT_TRUE(c.exec(sys, sys));
        EXPECT_EQ(exit_code_of(c), platform::still_active);
        EXPECT_TRUE(c.is_executing());
        EXPECT_TRUE(c.is_executing());
        EXPECT_FALSE(c.is_executing());
        EXPECT_EQ(exit_code_of(c), code);
        EXPECT_FALSE(c.is_executing());
    }
}

TEST(process_component, a_process_that_ended_with_259_is_not_executing)
{
    fake_platform sys;
    fake_platform::program behaviour;
    behaviour.exit_code = platform::still_active;
    add_program(sys, L"C:\\odd.exe", behaviour);
    cmd_component c;
    c.command = L"C:\\odd.exe";
    ASSERT_TRUE(c.exec(sys, sys));
    EXPECT_TRUE(c.wait_until_ended(0xFFFFFFFF, false));
    EXPECT_FALSE(c.is_executing());
    EXPECT_EQ(exit_code_of(c), platform::still_active);
}

TEST(process_component, an_unreadable_exit_code_is_reported_as_such)
{
    fake_platform sys;
    fake_platform::program behaviour;
    behaviour.exit_code_readable = false;
    add_program(sys, L"C:\\a.exe", behaviour);
    cmd_component c;
    c.command = L"C:\\a.exe";
    ASSERT_TRUE(c.exec(sys, sys));
    std::uint32_t code = 0;
    EXPECT_FALSE(c.get_exit_code(code));
}

TEST(process_component, before_a_start_and_after_a_reset_nothing_executes_and_no_exit_code_is_read)
{
    fake_platform sys;
    cmd_component c;
    std::uint32_t code = 0;
    EXPECT_FALSE(c.is_executing());
    EXPECT_FALSE(c.get_exit_code(code));
    EXPECT_TRUE(c.wait_until_ended(0, false));

    fake_platform::program behaviour;
    behaviour.never_ends = true;
    add_program(sys, L"C:\\a.exe", behaviour);
    c.command = L"C:\\a.exe";
    ASSERT_TRUE(c.exec(sys, sys));
    EXPECT_TRUE(c.is_executing());
    c.reset();
    EXPECT_TRUE(sys.processes[0].closed);
    EXPECT_FALSE(c.is_executing());
    EXPECT_FALSE(c.get_exit_code(code));
}

TEST(process_component, each_process_handle_is_closed_once_a_second_start_or_the_component_replaces_it)
{
    fake_platform sys;
    add_program(sys, L"C:\\a.exe");
    {
        cmd_component c;
        c.command = L"C:\\a.exe";
        ASSERT_TRUE(c.exec(sys, sys));
        ASSERT_TRUE(c.exec(sys, sys));
        EXPECT_TRUE(sys.processes[0].closed);
        EXPECT_FALSE(sys.processes[1].closed);
        EXPECT_TRUE(c.wait_until_ended(0xFFFFFFFF, false));
        EXPECT_EQ(exit_code_of(c), 0u);
    }
    EXPECT_TRUE(sys.processes[1].closed);
}

TEST(openfile_component, hands_the_file_to_the_shell_and_looks_finished_and_successful_at_once)
{
    for (bool accepted : {true, false}) {
        fake_platform sys;
        sys.shell_open_accepts = accepted;
        openfile_component o;
        o.file = L"http://example.invalid/readme.html";
        EXPECT_EQ(o.exec(sys, sys), accepted);
        EXPECT_EQ(sys.opened, std::vector<std::wstring>{L"http://example.invalid/readme.html"});
        EXPECT_TRUE(sys.processes.empty());
        EXPECT_FALSE(o.is_executing());
        EXPECT_EQ(exit_code_of(o), 0u);
        EXPECT_TRUE(o.wait_until_ended(0, false));
    }
}

}  // namespace
