// Peak memory of one configuration load, in a fresh process:
//
//     bench_load_memory load|parse COUNT
//
// prepares the fake platform (or, for "parse", only the document), resets
// the kernel's peak resident size to the current one, loads the
// configuration (or only parses it), and prints one JSON line with the
// resident size before, the peak during, and the peak beyond the start, in
// KiB. The peak is read from /proc/self/status (VmHWM); when the reset is
// refused the peak includes the preparation, and "reset" says false.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "config/sources.h"
#include "generated_config.h"
#include "tinyxml.h"

namespace {

long status_kib(const char* field)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::size_t n = std::strlen(field);
    while (std::getline(in, line))
        if (line.compare(0, n, field) == 0 && line.size() > n && line[n] == ':') return std::atol(line.c_str() + n + 1);
    return -1;
}

bool reset_peak()
{
    std::ofstream out("/proc/self/clear_refs");
    out << "5";
    out.flush();
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3 || (std::strcmp(argv[1], "load") != 0 && std::strcmp(argv[1], "parse") != 0)) {
        std::fprintf(stderr, "usage: %s load|parse COUNT\n", argv[0]);
        return 2;
    }
    const bool load = std::strcmp(argv[1], "load") == 0;
    const std::size_t count = std::strtoul(argv[2], nullptr, 10);

    bench::quiet_platform sys;
    std::string doc;
    if (load)
        bench::prepare_platform(sys, count);
    else
        doc = bench::make_configuration(count);

    const long before = status_kib("VmRSS");
    const bool reset = reset_peak();
    std::size_t read = 0;
    long peak = 0;
    if (load) {
        config::configuration_settings settings;
        if (config::load_setup_configuration(sys, settings)) read = settings.components.size();
        peak = status_kib("VmHWM");
        config::release_components(settings);
    } else {
        TiXmlDocument document;
        document.Parse(doc.c_str(), nullptr, TIXML_ENCODING_UTF8);
        if (!document.Error()) read = count;
        peak = status_kib("VmHWM");
    }
    std::printf("{\"mode\":\"%s\",\"count\":%zu,\"read\":%zu,\"rss_before_kib\":%ld,\"peak_kib\":%ld,"
                "\"peak_beyond_start_kib\":%ld,\"reset\":%s}\n",
                argv[1], count, read, before, peak, peak - before, reset ? "true" : "false");
    return load && read != count ? 1 : 0;
}
