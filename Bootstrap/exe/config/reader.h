// Turns the chosen `configuration` element into settings and components.
#pragma once

#include <string>
#include <type_traits>

#include "base/failure.h"
#include "config/document.h"
#include "config/settings.h"
#include "platform/platform.h"
#include "base/event_log.h"

class TiXmlElement;

namespace config {

// What reading a configuration asks of the system: its files, its registry,
// its facts and its message boxes; never a process or the network.
struct reading_system {
    // From anything that plays all four roles (the whole platform, for one).
    template <class Platform, class = std::enable_if_t<!std::is_same_v<Platform, reading_system>>>
    reading_system(Platform& all) : files(all), registry(all), facts(all), ui(all)
    {
    }
    reading_system(platform::files& f, platform::registry& r, platform::system_facts& s, platform::user_interface& u)
        : files(f), registry(r), facts(s), ui(u)
    {
    }

    platform::files& files;
    platform::registry& registry;
    platform::system_facts& facts;
    platform::user_interface& ui;
    // The run's log, when there is one: installed checks write their answers to it.
    base::event_log* log = nullptr;
};

// How the reader judged a component element.
enum class component_verdict { kept, outside_version_range, language_not_accepted };

// Told what the reader decides, as it decides it: the checker's dry run
// shows it, the run's log records it.
class reading_observer {
public:
    virtual ~reading_observer() = default;
    // Where the document comes from: the file beside the program, or (an
    // empty path) the copy stored in it; `ignored` is a setup.xml beside
    // the program that a build reading its stored copy alone passed over.
    virtual void source_chosen(const std::wstring& path, const std::wstring& ignored) = 0;
    // The `configuration` element chosen: its place among the configuration
    // elements (1 for the first), its line in the document and its lcid.
    virtual void configuration_chosen(int index, int line, const std::wstring& lcid) = 0;
    // The `configuration` element's own attributes are read; its components
    // come next.
    virtual void settings_read(const configuration_settings& settings, int os_code) = 0;
    // A component element read at its line: kept, or left out by a filter.
    virtual void component_read(int line, const components::component& c, component_verdict verdict) = 0;
};

// Reads attributes of one document: text, path text (markers replaced) and
// the two kinds of boolean.
class attribute_reader {
public:
    attribute_reader(reading_system sys, text_encoding encoding, reading_observer* observer = nullptr)
        : sys_(sys), encoding_(encoding), observer_(observer)
    {
    }

    std::wstring text(const TiXmlElement& element, const char* name) const;
    // The text, or `fallback` when it is absent or empty.
    std::wstring text_or(const TiXmlElement& element, const char* name, const wchar_t* fallback) const;
    base::result<std::wstring> path_text(const TiXmlElement& element, const char* name) const;
    // Absent or unrecognised: the default; "true"/"false" in any letter case.
    bool boolean(const TiXmlElement& element, const char* name, bool fallback) const;
    // Absent: false; present: read with the default true, so that a present
    // but unrecognised value counts as true.
    bool presence_boolean(const TiXmlElement& element, const char* name) const;

    const reading_system& sys() const { return sys_; }
    reading_observer* observer() const { return observer_; }

private:
    reading_system sys_;
    text_encoding encoding_;
    reading_observer* observer_;
};

bool read_bool_attribute(const wchar_t* value, bool fallback);

// Whether the reader leaves the document as it found it, or removes each
// component element from it once read (the loader's way: it keeps memory
// low for large configurations).
enum class read_elements { keep, release };

// Components appended before a failure stay in the record.
base::status read_configuration_node(const attribute_reader& reader, const TiXmlElement& node,
                                     configuration_settings& settings, read_elements elements = read_elements::keep);

base::status read_download_dialog_node(const attribute_reader& reader, const TiXmlElement& node,
                                       components::download_dialog_settings& settings);

}  // namespace config
