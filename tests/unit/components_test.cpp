// Starting components and reading how they ended.
#include <gtest/gtest.h>


#include "components/component.h"
#include "config/errors.h"
#include "test_helpers.h"

namespace {

using components::cmd_component;
using components::msi_component;
using components::openfile_component;
using platform::fake_platform;
using testing_support::add_program;

const std::wstring msiexec = L"C:\\Windows\\system32\\msiexec.exe";

TEST(cmd_component, starts_the_command_as_one_file_and_keeps_the_process_handle)
{
    fake_platform sys;
    add_program(sys, L"C:\\medium\\tool.exe");
    cmd_component c(sys);
    c.command = L"C:\\medium\\tool.exe";
    ASSERT_TRUE(c.exec());
    ASSERT_EQ(sys.processes.size(), 1u);
    EXPECT_EQ(sys.processes[0].file, L"C:\\medium\\tool.exe");
    EXPECT_EQ(sys.processes[0].parameters, L"");
    EXPECT_NE(c.process_info.process, 0u);
    EXPECT_EQ(c.process_info.thread, 0u);
    EXPECT_EQ(c.process_info.process_id, 0u);
    EXPECT_EQ(c.process_info.thread_id, 0u);
}

TEST(cmd_component, a_command_with_an_argument_is_handed_to_the_shell_whole_and_fails)
{
    fake_platform sys;
    add_program(sys, L"C:\\medium\\tool.exe");
    cmd_component c(sys);
    c.command = L"C:\\medium\\tool.exe /quiet";
    EXPECT_FALSE(c.exec());
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
        cmd_component c(sys);
        c.command = L"C:\\doc.txt";
        EXPECT_FALSE(c.exec());
        EXPECT_EQ(c.process_info.process, 0u);
        EXPECT_FALSE(c.is_executing());
        EXPECT_THROW(c.get_exit_code(), config::code_error);
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
        msi_component m(sys);
        m.package = L"C:\\medium\\Install Quarn Doduv Belmaris.msi";
        m.cmdparameters = c.parameters;
        ASSERT_TRUE(m.exec());
        ASSERT_EQ(sys.processes.size(), 1u);
        EXPECT_EQ(sys.processes[0].file, msiexec);
        EXPECT_EQ(sys.processes[0].parameters, c.command_line);
        EXPECT_NE(m.process_info.process, 0u);
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
        cmd_component c(sys);
        c.command = L"C:\\setup.exe";
        ASSERT_TRUE(c.exec());
        EXPECT_EQ(c.get_exit_code(), platform::still_active);
        EXPECT_TRUE(c.is_executing());
        EXPECT_TRUE(c.is_executing());
        EXPECT_FALSE(c.is_executing());
        EXPECT_EQ(c.get_exit_code(), code);
        EXPECT_FALSE(c.is_executing());
    }
}

TEST(process_component, a_process_that_ended_with_259_is_not_executing)
{
    fake_platform sys;
    fake_platform::program behaviour;
    behaviour.exit_code = platform::still_active;
    add_program(sys, L"C:\\odd.exe", behaviour);
    cmd_component c(sys);
    c.command = L"C:\\odd.exe";
    ASSERT_TRUE(c.exec());
    EXPECT_TRUE(c.wait_until_ended(0xFFFFFFFF, false));
    EXPECT_FALSE(c.is_executing());
    EXPECT_EQ(c.get_exit_code(), platform::still_active);
}

TEST(process_component, an_unreadable_exit_code_raises_the_code)
{
    fake_platform sys;
    fake_platform::program behaviour;
    behaviour.exit_code_readable = false;
    add_program(sys, L"C:\\a.exe", behaviour);
    cmd_component c(sys);
    c.command = L"C:\\a.exe";
    ASSERT_TRUE(c.exec());
    EXPECT_THROW(c.get_exit_code(), config::code_error);
}

TEST(process_component, before_a_start_nothing_executes_and_no_exit_code_can_be_read)
{
    fake_platform sys;
    cmd_component c(sys);
    EXPECT_FALSE(c.is_executing());
    EXPECT_THROW(c.get_exit_code(), config::code_error);
    EXPECT_TRUE(c.wait_until_ended(0, false));
}

TEST(process_component, reset_clears_the_process_record)
{
    fake_platform sys;
    fake_platform::program behaviour;
    behaviour.never_ends = true;
    add_program(sys, L"C:\\a.exe", behaviour);
    cmd_component c(sys);
    c.command = L"C:\\a.exe";
    ASSERT_TRUE(c.exec());
    EXPECT_TRUE(c.is_executing());
    c.reset();
    EXPECT_EQ(c.process_info.process, 0u);
    EXPECT_EQ(c.process_info.thread, 0u);
    EXPECT_EQ(c.process_info.process_id, 0u);
    EXPECT_EQ(c.process_info.thread_id, 0u);
    EXPECT_FALSE(c.is_executing());
    EXPECT_THROW(c.get_exit_code(), config::code_error);
}

TEST(process_component, the_process_handle_is_kept_until_the_component_goes)
{
    fake_platform sys;
    add_program(sys, L"C:\\a.exe");
    {
        cmd_component c(sys);
        c.command = L"C:\\a.exe";
        ASSERT_TRUE(c.exec());
        EXPECT_TRUE(c.wait_until_ended(0xFFFFFFFF, false));
        EXPECT_EQ(c.get_exit_code(), 0u);
        EXPECT_FALSE(sys.processes[0].closed);
    }
    EXPECT_TRUE(sys.processes[0].closed);
}

TEST(openfile_component, is_accepted_when_the_shell_answers_above_32)
{
    const struct {
        std::intptr_t result;
        bool accepted;
    } cases[] = {{33, true}, {42, true}, {32, false}, {2, false}, {0, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.result);
        fake_platform sys;
        sys.shell_execute_result = c.result;
        openfile_component o(sys);
        o.file = L"http://example.invalid/readme.html";
        EXPECT_EQ(o.exec(), c.accepted);
        EXPECT_EQ(sys.opened, std::vector<std::wstring>{L"http://example.invalid/readme.html"});
        EXPECT_TRUE(sys.processes.empty());
    }
}

TEST(openfile_component, looks_finished_and_successful_at_once)
{
    fake_platform sys;
    openfile_component o(sys);
    o.file = L"C:\\readme.txt";
    ASSERT_TRUE(o.exec());
    EXPECT_FALSE(o.is_executing());
    EXPECT_EQ(o.get_exit_code(), 0u);
    o.reset();
    EXPECT_EQ(o.file, L"C:\\readme.txt");
    EXPECT_FALSE(o.is_executing());
    EXPECT_EQ(o.get_exit_code(), 0u);
    EXPECT_TRUE(o.wait_until_ended(0, false));
}

}  // namespace
