// A component's files to fetch before it runs: in the silent sequence, and in
// an interactive run that shows its progress, with the download window's
// texts.
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
    // The download window: its caption (empty: the dialog's), its text until
    // the transfer starts and while it runs, and its buttons' captions
    // (empty: "Start" and "Cancel"). Without autostartdownload the transfer
    // waits for Start.
    std::wstring dialog_caption;
    std::wstring dialog_message;
    std::wstring dialog_message_downloading;
    std::wstring buttonstart_caption;
    std::wstring buttoncancel_caption;
    bool autostartdownload = true;
    // The status line's formats, with numbered fields: during a transfer
    // whose size the server announced, during one whose size it did not,
    // and during the pause before another attempt.
    std::wstring progress_text;
    std::wstring progress_text_no_size;
    std::wstring retry_text;
};

}  // namespace components
