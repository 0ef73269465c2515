// The run's log, and message boxes as the run shows them.
#pragma once

#include <string>

#include "base/event_log.h"
#include "platform/platform.h"

namespace engine {

// One line per event, each stamped with the local time to the millisecond,
// as UTF-8 with CRLF line ends. Until the configuration names its file the
// lines wait in memory; a configuration that names none keeps nothing, and
// nothing is written anywhere. Once the file is open each line reaches it
// as it is written, so that a run that hangs, is killed or is cut short by
// a restart leaves its trace. A file that cannot be opened or written
// changes nothing else: the lines are dropped.
class run_log : public base::event_log {
public:
    run_log(platform::files& files, platform::system_facts& facts) : files_(files), facts_(facts) {}
    run_log(const run_log&) = delete;
    run_log& operator=(const run_log&) = delete;

    // Whether lines are still wanted: a file is named, or none yet.
    bool wanted() const override { return state_ != state::off; }
    void write(const std::wstring& event) override;
    // The file named by the configuration: the lines so far go to it first.
    // An empty name keeps nothing from now on.
    void open(const std::wstring& path);

private:
    enum class state { waiting, writing, off };

    // Appends what waits to the file; a file that refuses ends the log.
    void write_out();

    platform::files& files_;
    platform::system_facts& facts_;
    state state_ = state::waiting;
    std::wstring path_;
    std::string buffer_;
};

// Message boxes with the run's log beside them: each box and its answer is
// written to the log. In an unattended run no box is shown at all: each one
// goes to the log instead and takes the answer No (a notice, OK).
class logged_ui : public platform::user_interface {
public:
    logged_ui(platform::user_interface& screen, run_log& log) : screen_(screen), log_(log) {}

    void go_unattended() { unattended_ = true; }
    bool unattended() const { return unattended_; }

    platform::box_answer message_box(platform::window_handle owner, const std::wstring& text,
                                     const wchar_t* caption, platform::box_icon icon,
                                     platform::box_buttons buttons) override;

private:
    platform::user_interface& screen_;
    run_log& log_;
    bool unattended_ = false;
};

}  // namespace engine
