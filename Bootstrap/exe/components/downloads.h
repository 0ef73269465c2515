// A component's files to fetch before it runs in the silent sequence.
#pragma once

#include <string>
#include <vector>

namespace components {

struct download_item {
    std::wstring sourceurl;            // path text: the address to fetch
    std::wstring destinationpath;      // path text: the folder to store into
    std::wstring destinationfilename;  // path text: empty takes the URL's name
    std::wstring componentname;        // names the item in the log
    std::wstring sha256;               // expected digest, 64 lower-case hex digits; empty: not checked
};

struct download_dialog_settings {
    std::vector<download_item> downloads;
};

}  // namespace components
