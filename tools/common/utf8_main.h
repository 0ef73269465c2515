// The entry point of a command-line tool that takes its arguments as UTF-8
// on every system. Windows hands a narrow main its arguments in the ANSI
// code page, which cannot hold every file name or text ("©", "é" in another
// code page): there the wide ones are taken and made UTF-8. Include it once,
// from the tool's main.cpp, after defining tool_main().
#pragma once

#include <string>
#include <vector>

#include "base/text.h"

int tool_main(const std::vector<std::string>& arguments);

#ifdef _WIN32
int wmain(int argc, wchar_t** argv)
{
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i) arguments.push_back(text::wide_to_utf8(argv[i]));
    return tool_main(arguments);
}
#else
int main(int argc, char** argv) { return tool_main(std::vector<std::string>(argv, argv + argc)); }
#endif
