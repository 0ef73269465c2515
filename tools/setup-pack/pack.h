// Stamps a ready Setup.exe with a publisher's branding: the resources are
// changed, everything else in the file stays as it was.
#pragma once

#include <string>

#include "pe_image.h"
#include "resource_tree.h"
#include "version_info.h"

namespace pack {

// What to change; an empty part is left as it is in the input.
struct pack_request {
    std::string configuration;  // the stored configuration's bytes, already checked
    std::string picture;        // a BMP file, already checked
    std::string icon;           // an icon file, already checked
    version_texts texts;
    enum class stored_only { keep, on, off } sources = stored_only::keep;
};

// The resource section's bytes are replaced: in place when it is the last
// section, else the sections after it (the base relocations) move up and
// it goes to the end. Sizes, directories and the checksum follow.
std::string replace_resources(pe_image& image, const resource_tree& tree);

// An empty text and the packed file in `output`, else a one-line reason
// (after the input's name) why the input cannot be packed.
std::string pack_setup(const std::string& input, const pack_request& request, std::string& output);

}  // namespace pack
