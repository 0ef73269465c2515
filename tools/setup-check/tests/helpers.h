// Shared helpers of the checker's tests.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "diagnostics.h"
#include "lint.h"

namespace check_testing {

// A whole document around component elements; `attributes` go on the
// configuration element (a failure question is there unless replaced).
inline std::string document(const std::string& components,
                            const std::string& attributes = "failed_exec_command_continue=\"Continue without %s?\"")
{
    const std::string lcid = attributes.find("lcid=") == std::string::npos ? "lcid=\"\" " : "";
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<configurations>\n<configuration type=\"install\" " + lcid +
           attributes + ">\n<components>\n" + components + "\n</components>\n</configuration>\n</configurations>\n";
}

// A cmd component with a description and a command, plus `extra` attributes
// and `children`.
inline std::string component(const std::string& extra = "", const std::string& children = "")
{
    const std::string command =
        extra.find("command=") == std::string::npos ? "command=\"#APPPATH\\setup.exe\" " : "";
    const std::string description =
        extra.find("description=") == std::string::npos ? "description=\"Runtime\" " : "";
    return "<component type=\"cmd\" " + description + command + extra + ">" + children + "</component>";
}

inline std::vector<setup_check::diagnostic> lint(const std::string& xml, const std::string& medium = "")
{
    setup_check::lint_options options;
    options.medium_dir = medium;
    return setup_check::lint_document(xml, options);
}

inline std::vector<setup_check::diagnostic> with_rule(const std::vector<setup_check::diagnostic>& all,
                                                      const std::string& rule)
{
    std::vector<setup_check::diagnostic> out;
    for (const auto& d : all)
        if (d.rule == rule) out.push_back(d);
    return out;
}

inline int count(const std::vector<setup_check::diagnostic>& all, setup_check::severity level)
{
    int n = 0;
    for (const auto& d : all)
        if (d.level == level) ++n;
    return n;
}

inline std::string describe(const std::vector<setup_check::diagnostic>& all)
{
    std::string out;
    for (const auto& d : all) out += setup_check::format_text("test.xml", d) + "\n";
    return out.empty() ? "(no diagnostics)\n" : out;
}

inline std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace check_testing
