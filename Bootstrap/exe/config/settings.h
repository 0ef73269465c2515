// The settings of the chosen `configuration` element and its components.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "components/component.h"

namespace config {

// The texts that have a default: what an absent or empty attribute reads as.
// The download window's formats have numbered fields (text::format_numbered):
// a transfer's is the name, the bytes so far, the announced size, the
// item's place and the number of items; a pause's is the name, the attempt
// to come, the number of attempts, the item's place and the number of items.
inline constexpr const wchar_t* default_install_wait_caption = L"Please wait...";
inline constexpr const wchar_t* default_installation_failed = L"Setup could not install %s.";
inline constexpr const wchar_t* default_progress_text = L"%1 (%2 of %3) - %4/%5";
inline constexpr const wchar_t* default_progress_text_no_size = L"%1 (%2) - %4/%5";
inline constexpr const wchar_t* default_retry_text = L"%1: trying again (attempt %2 of %3) - %4/%5";

struct configuration_settings {
    std::wstring dialog_caption;
    std::wstring dialog_message;
    std::wstring install_caption;
    std::wstring cancel_caption;
    std::wstring status_installed;
    std::wstring failed_exec_command_continue;
    std::wstring installation_completed;
    std::wstring reboot_required;
    std::wstring dialog_admin_required;  // path text
    std::wstring complete_command;       // path text
    bool install_silent = false;
    std::wstring log_file;             // path text: where the run's log goes; empty: no log
    bool detailed_exit_status = false;  // the exit status tells how the run ended
    bool unattended = false;            // the silent run shows no message box at all
    // The interactive run shows its progress: the component being handled
    // in the message (installing_component_wait) and in the check list, the
    // download window, and the completion text after a run that went well.
    bool show_progress = false;
    std::wstring installing_component_wait;  // a format with one %s: the description
    // The disabled Continue's caption while the run goes on.
    std::wstring install_wait_caption = default_install_wait_caption;
    // The box after a required and primary component failed in a run that
    // shows its progress: a format with one %s, the description.
    std::wstring installation_failed = default_installation_failed;
    // Which document the settings were read from: the fingerprint of its
    // bytes, the same for the same text wherever it is stored.
    std::wstring document_fingerprint;
    // The driver's record owns the components; the copies made for the
    // dialog and the silent run share them.
    std::vector<std::shared_ptr<components::component>> components;
};

// Releases every component of the record, in list order, then empties it.
void release_components(configuration_settings& settings);

}  // namespace config
