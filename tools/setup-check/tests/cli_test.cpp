// The setup-check program as a build server runs it: its output lines, its
// JSON, and its exit status.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "helpers.h"

namespace {

namespace fs = std::filesystem;
using namespace check_testing;

struct run_result {
    int status = -1;
    std::string out;
};

run_result run(const std::string& arguments)
{
    run_result r;
    const std::string command = std::string(SETUP_CHECK_EXE) + " " + arguments + " 2>&1";
    FILE* p = popen(command.c_str(), "r");
    if (p == nullptr) return r;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) r.out.append(buffer, n);
    const int status = pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

class cli : public testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::temp_directory_path() / ("setup-check-cli-" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string write(const std::string& name, const std::string& content)
    {
        const fs::path p = dir_ / name;
        std::ofstream(p, std::ios::binary) << content;
        return p.string();
    }
    fs::path dir_;
};

TEST_F(cli, a_clean_configuration_exits_0)
{
    const run_result r = run(write("setup.xml", document(component())));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "0 errors, 0 warnings\n");
}

TEST_F(cli, errors_are_lines_with_file_line_column_and_exit_1)
{
    const std::string file = write("setup.xml", document("<component type=\"MSI\" description=\"P\" package=\"p.msi\"/>\n" +
                                                         component("mustreboot=\"no\"")));
    const run_result r = run(file);
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find(file + ":5:12: error: component type \"MSI\" is not \"msi\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(file + ":6:"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(": warning: mustreboot=\"no\" reads as false"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\n1 error, 1 warning\n"), std::string::npos) << r.out;
}

TEST_F(cli, warnings_alone_exit_0)
{
    const run_result r = run(write("setup.xml", document(component("mustreboot=\"no\""))));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("0 errors, 1 warning"), std::string::npos) << r.out;
}

TEST_F(cli, a_file_that_cannot_be_read_exits_2_even_beside_a_faulty_one)
{
    EXPECT_EQ(run((dir_ / "absent.xml").string()).status, 2);
    EXPECT_EQ(run(dir_.string()).status, 2);
    const std::string faulty = write("bad.xml", document("<component type=\"MSI\"/>"));
    EXPECT_EQ(run(faulty + " " + (dir_ / "absent.xml").string()).status, 2);
}

TEST_F(cli, a_wrong_command_line_exits_2)
{
    EXPECT_EQ(run("").status, 2);
    EXPECT_EQ(run("--bogus x.xml").status, 2);
    EXPECT_EQ(run("--format xml x.xml").status, 2);
    EXPECT_EQ(run("--plan --language 1033 x.xml").status, 2);
    EXPECT_EQ(run("--plan --language 1033 --os-code 83 " + write("s.xml", document(component()))).status, 2);
    EXPECT_EQ(run("--medium " + (dir_ / "none").string() + " " + write("t.xml", document(component()))).status, 2);
    EXPECT_EQ(run("--quiet " + write("q.xml", document(component()))).status, 2);
    EXPECT_EQ(run("--plan --language 1033 --os-code 100 --log --quiet " + write("l.xml", document(component()))).status,
              2);
    EXPECT_EQ(run("--help").status, 0);
}

TEST_F(cli, json_output_is_one_valid_document_with_every_diagnostic)
{
    const std::string file = write("setup.xml", document("<component type=\"MSI\" description=\"P\" package=\"p.msi\"/>"));
    const run_result r = run("--format json " + file);
    EXPECT_EQ(r.status, 1) << r.out;
    const std::string json = write("out.json", r.out);
    const std::string validate =
        "python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); "
        "assert d[\"errors\"]==1 and d[\"status\"]==1, d; x=d[\"diagnostics\"][0]; "
        "assert (x[\"line\"],x[\"column\"],x[\"severity\"],x[\"rule\"])==(5,12,\"error\",\"keyword-case\"), x' " +
        json;
    EXPECT_EQ(std::system(validate.c_str()), 0) << r.out;
}

TEST_F(cli, the_medium_option_reports_missing_files)
{
    fs::create_directories(dir_ / "medium" / "Redist");
    std::ofstream(dir_ / "medium" / "Redist" / "runtime.exe") << "x";
    const std::string file = write("setup.xml", document(
        "<component type=\"cmd\" description=\"R\" command=\"#APPPATH\\Redist\\runtime.exe\"/>"
        "<component type=\"msi\" description=\"P\" package=\"#APPPATH\\product.msi\"/>"));
    run_result r = run("--medium " + (dir_ / "medium").string() + " " + file);
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("has no \"product.msi\" [medium]"), std::string::npos) << r.out;
    std::ofstream(dir_ / "medium" / "product.msi") << "x";
    r = run("--medium " + (dir_ / "medium").string() + " " + file);
    EXPECT_EQ(r.status, 0) << r.out;
}

TEST_F(cli, the_plan_shows_the_chosen_configuration_and_the_remaining_components)
{
    const std::string file = write("setup.xml",
        "<configurations><configuration type=\"install\" lcid=\"1031\" failed_exec_command_continue=\"%s\">"
        "<components><component type=\"cmd\" description=\"Laufzeit\" command=\"#APPPATH\\r.exe\" "
        "os_filter_greater=\"80\"/><component type=\"msi\" description=\"Produkt\" package=\"#APPPATH\\p.msi\" "
        "required=\"true\" primary=\"true\"/></components></configuration>"
        "<configuration type=\"install\" lcid=\"\"/></configurations>");
    run_result r = run("--plan --language 1031 --os-code 80 " + file);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("configuration: element 1"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("msi \"Produkt\" required primary"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("left out by the filters:\n  line 1: \"Laufzeit\""), std::string::npos) << r.out;
    r = run("--plan --language 1031 --os-code 82 --app-dir E: " + file);
    EXPECT_NE(r.out.find("command E:\\r.exe"), std::string::npos) << r.out;
    r = run("--plan --language 1033 --os-code 82 " + file);
    EXPECT_NE(r.out.find("configuration: element 2"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("components: none"), std::string::npos) << r.out;
}

TEST_F(cli, the_plan_of_an_administrators_command_line_shows_a_quiet_run_without_restart)
{
    const std::string file = write("setup.xml", document(component("mustreboot=\"true\"") + component(""),
                                                         "log_file=\"#TEMPPATHa.log\""));
    const std::string options = "--plan --quiet --norestart --log 'C:\\x.log' --language 1033 --os-code 100 ";
    run_result r = run(options + file);
    EXPECT_EQ(r.status, 0) << r.out;
    for (const char* line :
         {"\ncommand line: /quiet /norestart /log C:\\x.log\n",
          "\nrun: silent (no dialog; downloads first), by /quiet (the configuration alone shows the dialog)\n",
          "\nlog file: C:\\x.log (/log; the configuration's C:\\TEMP\\a.log is not written)\n",
          "\nexit status:\n  0 every component the run handled ended installed\n  1603 a component failed\n"
          "  3010 a restart is pending (a component ended with 3010, or the restart question was answered No: "
          "/norestart)\ncomponents:\n",
          "; missing: installed by the silent run, then the run stops at its restart question (answered No: "
          "/norestart)\n",
          "; missing: left for the next run: this one stops at the restart question of \""})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
    r = run("--format json " + options + file);
    const std::string validate =
        "python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); c=d[\"configuration\"]; "
        "assert d[\"command_line\"]=={\"quiet\":True,\"norestart\":True,\"log\":\"C:\\\\x.log\"}, d; "
        "assert c[\"install_silent\"] and c[\"log_file\"]==\"C:\\\\x.log\", c; "
        "assert [s[\"status\"] for s in c[\"exit_statuses\"]]==[0,1603,3010], c' " +
        write("quiet.json", r.out);
    EXPECT_EQ(std::system(validate.c_str()), 0) << r.out;
}

TEST_F(cli, the_plan_says_whether_and_where_a_component_downloads)
{
    const std::string fetched = component(
        "", "<downloaddialog autostartdownload=\"false\"><downloads><download sourceurl=\"http://example.invalid/a.exe\" "
            "destinationpath=\"#TEMPPATHa\" destinationfilename=\"a.exe\"/></downloads></downloaddialog>");
    const std::string shown = write("shown.xml", document(fetched, "show_progress=\"true\""));
    const std::string plan = "--plan --language 1033 --os-code 100 ";
    run_result r = run(plan + shown);
    EXPECT_NE(r.out.find("\nrun: interactive (the dialog, showing its progress"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\n       downloads in the download window before it runs, after the user presses Start\n"),
              std::string::npos) << r.out;
    r = run(plan + write("plain.xml", document(fetched)));
    EXPECT_NE(r.out.find("\n       its downloads are ignored by the interactive run"), std::string::npos) << r.out;
    r = run(plan + "--quiet " + shown);
    EXPECT_NE(r.out.find("\n       downloads before it runs, without a window\n"), std::string::npos) << r.out;
    r = run("--format json " + plan + shown);
    const std::string validate = "python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); "
                                 "assert d[\"configuration\"][\"show_progress\"] is True, d; "
                                 "assert d[\"components\"][0][\"download_waits\"] is True, d' " +
                                 write("shown.json", r.out);
    EXPECT_EQ(std::system(validate.c_str()), 0) << r.out;
}

TEST_F(cli, a_plan_that_fails_to_load_shows_setup_exe_messages_and_exits_1)
{
    const std::string file = write("setup.xml", document("<component type=\"MSI\"/>"));
    run_result r = run("--plan --language 1033 --os-code 100 " + file);
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("message box: \"Invalid configuration file, component type not supported\"\n"
                         "  message box: \"Failed to read configuration file.\""),
              std::string::npos)
        << r.out;
    r = run("--plan --format json --language 1033 --os-code 100 " + file);
    EXPECT_EQ(r.status, 1) << r.out;
    const std::string validate = "python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); "
                                 "assert d[\"loaded\"] is False and len(d[\"message_boxes\"])==2, d' " +
                                 write("plan.json", r.out);
    EXPECT_EQ(std::system(validate.c_str()), 0) << r.out;
}

TEST_F(cli, the_version_codes_are_listed)
{
    const run_result r = run("--os-codes");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("  82  Windows XP service pack 2 or later\n"), std::string::npos) << r.out;
}

}  // namespace
