#include "engine/interactive_run.h"

#include "base/text.h"
#include "engine/component_step.h"
#include "engine/format.h"
#include "engine/reboot.h"
#include "platform/admin.h"
#include "platform/system_error.h"

namespace engine {

namespace {

enum class next { go_on, end_run };

// What the dialog shows of a run when the configuration asks for its
// progress: the component being handled in the message and in its row, and
// each row as its component's turn ends. Components without a row show in
// the message only.
class shown_progress {
public:
    shown_progress(install_window& window, const config::configuration_settings& settings,
                   const std::vector<checklist_row>& rows)
        : window_(window), settings_(settings), rows_(rows)
    {
    }

    void turn_begins(const components::component& c)
    {
        // An empty text leaves the message as it is.
        if (!settings_.installing_component_wait.empty())
            window_.show_message(format_with_one_string(settings_.installing_component_wait, c.description));
        const std::size_t row = row_of(c);
        if (row < rows_.size()) window_.show_row(row, rows_[row], true);
    }

    void turn_ends(const components::component& c, bool installed)
    {
        const std::size_t row = row_of(c);
        if (row >= rows_.size()) return;
        rows_[row] = row_after_turn(rows_[row], installed, settings_.status_installed);
        window_.show_row(row, rows_[row], true);
    }

    // The run has ended: no row stays the selected one.
    void run_ends() { window_.clear_current_row(); }

private:
    std::size_t row_of(const components::component& c) const
    {
        std::size_t i = 0;
        while (i < rows_.size() && rows_[i].owner != &c) ++i;
        return i;
    }

    install_window& window_;
    const config::configuration_settings& settings_;
    std::vector<checklist_row> rows_;
};

// The run's own view of how it went, for its end.
struct run_course {
    shown_progress* shown = nullptr;  // none: the run shows only its wait cursor
    bool restart_asked = false;
    // Why the component's files did not arrive, for the user; empty when
    // they did or there were none.
    std::wstring download_failure;
};

// The product failing ends the run without a question; a run that shows its
// progress says so, so that the window the user watched does not simply
// vanish. A failed download adds its reason on a line of its own.
void tell_product_failed(run_context& run, const config::configuration_settings& settings,
                         const components::component& c, platform::window_handle owner, const run_course& course)
{
    if (course.shown == nullptr || settings.installation_failed.empty()) return;
    std::wstring text = format_with_one_string(settings.installation_failed, c.description);
    if (!course.download_failure.empty()) text += L"\n" + course.download_failure;
    run.ui.message_box(owner, text, nullptr, platform::box_icon::error, platform::box_buttons::ok);
}

next ask_after_failure(run_context& run, const config::configuration_settings& settings, components::component& c,
                       platform::window_handle owner, run_course& course)
{
    run.record.failed = true;
    if (course.shown != nullptr) course.shown->turn_ends(c, false);
    if (components::is_product(c)) {
        tell_product_failed(run, settings, c, owner, course);
        return next::end_run;
    }
    return run.ui.message_box(owner, failure_question(settings, c), nullptr, platform::box_icon::warning,
                              platform::box_buttons::yes_no) == platform::box_answer::yes
               ? next::go_on
               : next::end_run;
}

// A component that needs rights the run has not got: its own text, then
// the failure handling.
next refuse_component(run_context& run, const config::configuration_settings& settings, components::component& c,
                      platform::window_handle owner, run_course& course)
{
    run.ui.message_box(owner, c.admin_required, c.description.c_str(), platform::box_icon::information,
                       platform::box_buttons::ok);
    return ask_after_failure(run, settings, c, owner, course);
}

// The component's files, in the download window when the run shows its
// progress; true when there is nothing to fetch or everything arrived.
bool fetch_files(run_context& run, const config::configuration_settings& settings, components::component& c,
                 install_window& window, run_course& course)
{
    course.download_failure.clear();
    if (course.shown == nullptr || !c.has_download_dialog) return true;
    // The window closes as soon as the downloads end, before the component starts.
    const std::unique_ptr<download::progress_view> view =
        window.open_download_window(c.download_dialog, settings.dialog_caption);
    return download::download_component_files(run.sys, run.log, c, view.get(), &course.download_failure);
}

next run_component(run_context& run, const config::configuration_settings& settings, components::component& c,
                   install_window& window, run_course& course)
{
    const platform::window_handle owner = window.handle();
    const std::wstring name = L"component \"" + c.description + L"\"";
    if (!c.selected) {
        run.log.write(name + L": not selected");
        return next::go_on;
    }
    if (course.shown != nullptr) course.shown->turn_begins(c);
    if (c.is_installed()) {
        run.log.write(name + L": installed meanwhile, passed over");
        if (course.shown != nullptr) course.shown->turn_ends(c, true);
        return next::go_on;
    }
    platform::shell_verb verb = platform::shell_verb::default_action;
    if (!c.admin_required.empty() && !platform::is_current_user_admin(run.sys, run.sys)) {
        if (!platform::can_ask_for_rights(run.sys)) {
            run.log.write(name + L": needs administrator rights the user lacks");
            return refuse_component(run, settings, c, owner, course);
        }
        run.log.write(name + L": needs administrator rights the user lacks; they are requested at its start");
        verb = platform::shell_verb::run_as_administrator;
    }
    if (!fetch_files(run, settings, c, window, course)) {
        log_outcome(run, c, step_outcome::download_failed);
        return ask_after_failure(run, settings, c, owner, course);
    }
    const step_outcome outcome =
        run_component_step(run, c, settings.reboot_required, owner, run_kind::interactive, verb);
    log_outcome(run, c, outcome);
    if (outcome == step_outcome::start_failed && verb == platform::shell_verb::run_as_administrator &&
        c.start_error == platform::error_cancelled) {
        run.log.write(name + L": the request for administrator rights was declined");
        return refuse_component(run, settings, c, owner, course);
    }
    switch (outcome) {
    case step_outcome::installed:
        if (course.shown != nullptr) course.shown->turn_ends(c, true);
        return next::go_on;
    case step_outcome::restart:
    case step_outcome::restart_started:
        course.restart_asked = true;
        if (course.shown != nullptr) course.shown->turn_ends(c, true);
        return next::end_run;
    case step_outcome::still_running:
        return next::end_run;
    default:
        return ask_after_failure(run, settings, c, owner, course);
    }
}

// The completion text and command follow a run in which nothing is left
// selected; in a run that shows its progress, also one in which no
// component failed and no restart question was asked (so that a second
// start that finds everything in place says so).
void finish(run_context& run, const config::configuration_settings& settings, const run_course& course)
{
    const bool went_well = course.shown != nullptr && !run.record.failed && !course.restart_asked;
    for (const auto& c : settings.components)
        if (c->selected && !went_well) return;
    const std::wstring completed = text::trim(settings.installation_completed);
    if (!completed.empty())
        run.ui.message_box(0, completed, L"", platform::box_icon::information, platform::box_buttons::ok);
    const std::wstring command = text::trim(settings.complete_command);
    if (command.empty()) return;
    std::uint32_t error = 0;
    if (run.sys.shell_open(command, error))
        run.log.write(L"complete_command " + command + L" opened");
    else
        run.log.write(L"complete_command " + command + L" refused by the shell: " +
                      platform::describe_error(run.sys, error));
}

}  // namespace

bool starts_by_itself(platform::platform& sys, bool all_listed_installed)
{
    return all_listed_installed || is_run_value_present(sys);
}

opening how_the_dialog_opens(platform::platform& sys, bool all_listed_installed, bool show_progress, bool passive)
{
    if (passive) return opening::show_then_run;
    if (!starts_by_itself(sys, all_listed_installed)) return opening::wait_for_continue;
    return show_progress ? opening::show_then_run : opening::run_unseen;
}

void run_interactive_install(run_context& run, const config::configuration_settings& settings,
                             const std::vector<checklist_row>& rows, install_window& window)
{
    window.begin_run();
    read_back_checks(rows, window.row_state_images());
    run.log.write(settings.show_progress ? L"interactive run, showing its progress" : L"interactive run");
    shown_progress shown(window, settings, rows);
    run_course course;
    if (settings.show_progress) course.shown = &shown;
    window.show_wait_cursor();
    for (const auto& c : settings.components) {
        const next n = run_component(run, settings, *c, window, course);
        if (n == next::end_run) break;
    }
    window.restore_cursor();
    if (course.shown != nullptr) shown.run_ends();
    finish(run, settings, course);
    window.end_dialog();
}

}  // namespace engine
