// Turns the chosen `configuration` element into settings and components.
#pragma once

#include <string>

#include "config/settings.h"
#include "platform/platform.h"

class TiXmlElement;

namespace config {

// How attribute bytes become wide text.
enum class text_encoding { utf8, ansi };

// Reads attributes of one document: text, path text (markers replaced) and
// the two kinds of boolean.
class attribute_reader {
public:
    attribute_reader(platform::platform& sys, text_encoding encoding) : sys_(sys), encoding_(encoding) {}

    std::wstring text(const TiXmlElement& element, const char* name) const;
    std::wstring path_text(const TiXmlElement& element, const char* name) const;
    // Absent or unrecognised: the default; "true"/"false" in any letter case.
    bool boolean(const TiXmlElement& element, const char* name, bool fallback) const;
    // Absent: false; present: read with the default true, so that a present
    // but unrecognised value counts as true.
    bool presence_boolean(const TiXmlElement& element, const char* name) const;

    platform::platform& sys() const { return sys_; }

private:
    platform::platform& sys_;
    text_encoding encoding_;
};

bool read_bool_attribute(const wchar_t* value, bool fallback);

// Whether the reader leaves the document as it found it, or removes each
// component element from it once read (the loader's way: it keeps memory
// low for large configurations).
enum class read_elements { keep, release };

// Raises message_error or code_error; components appended before a failure
// stay in the record.
void read_configuration_node(const attribute_reader& reader, const TiXmlElement& node,
                             configuration_settings& settings, read_elements elements = read_elements::keep);

void read_download_dialog_node(const attribute_reader& reader, const TiXmlElement& node,
                               download_dialog_settings& settings);

}  // namespace config
