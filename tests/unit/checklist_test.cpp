// The check list's rows, its read-back, the input filter, custom drawing
// and the centring arithmetic.
#include <gtest/gtest.h>

#include <memory>

#include "dialog/dialog_rules.h"
#include "engine/checklist.h"
#include "fake_platform.h"

using platform::fake_platform;

namespace {

struct checklist : ::testing::Test {
    fake_platform sys;
    config::configuration_settings settings;

    checklist() { settings.status_installed = L" [Already installed]"; }

    components::component& add(const std::wstring& name, bool installed, bool required = false, bool primary = false)
    {
        auto c = std::make_shared<components::cmd_component>();
        c->description = name;
        c->required = required;
        c->primary = primary;
        auto check = std::make_unique<components::installedcheck_check_file>(sys, sys);
        check->filename = L"C:\\" + name + L".marker";
        c->installed_checks.push_back(std::move(check));
        if (installed) sys.add_file(L"C:\\" + name + L".marker");
        c->selected = !installed;
        settings.components.push_back(c);
        return *c;
    }
};

TEST_F(checklist, rows_follow_the_installed_and_required_table)
{
    add(L"Installed", true);
    add(L"Required", false, true).required_message = L"(needed)";
    add(L"Optional", false);
    add(L"Product", false, true, true);
    add(L"InstalledRequired", true, true);
    const engine::checklist_fill fill = engine::fill_checklist(settings);
    ASSERT_EQ(fill.rows.size(), 4u);
    EXPECT_EQ(fill.rows[0].text, L"Installed  [Already installed]");
    EXPECT_TRUE(fill.rows[0].checked);
    EXPECT_TRUE(fill.rows[0].locked);
    EXPECT_EQ(fill.rows[1].text, L"Required (needed)");
    EXPECT_TRUE(fill.rows[1].checked);
    EXPECT_TRUE(fill.rows[1].locked);
    EXPECT_EQ(fill.rows[2].text, L"Optional");
    EXPECT_TRUE(fill.rows[2].checked);
    EXPECT_FALSE(fill.rows[2].locked);
    EXPECT_EQ(fill.rows[3].text, L"InstalledRequired  [Already installed]");
    EXPECT_TRUE(fill.rows[3].locked);
    EXPECT_FALSE(fill.all_installed);
}

TEST_F(checklist, a_required_component_with_an_empty_message_ends_in_one_space)
{
    add(L"Runtime", false, true);
    const engine::checklist_fill fill = engine::fill_checklist(settings);
    ASSERT_EQ(fill.rows.size(), 1u);
    EXPECT_EQ(fill.rows[0].text, L"Runtime ");
    EXPECT_TRUE(fill.rows[0].locked);
    EXPECT_FALSE(fill.all_installed);
}

TEST_F(checklist, no_rows_or_only_installed_ones_count_as_all_installed)
{
    EXPECT_TRUE(engine::fill_checklist(settings).all_installed);
    add(L"Product", false, true, true);
    EXPECT_TRUE(engine::fill_checklist(settings).all_installed);
    EXPECT_TRUE(engine::fill_checklist(settings).rows.empty());
    add(L"Done", true);
    EXPECT_TRUE(engine::fill_checklist(settings).all_installed);
}

TEST_F(checklist, an_optional_component_not_selected_and_now_missing_starts_unchecked)
{
    add(L"Later", false).selected = false;
    const engine::checklist_fill fill = engine::fill_checklist(settings);
    EXPECT_FALSE(fill.rows[0].checked);
    EXPECT_FALSE(fill.rows[0].locked);
}

TEST_F(checklist, the_read_back_sets_each_rows_own_component_and_leaves_the_product)
{
    auto& a = add(L"A", false);
    auto& product = add(L"Product", false, true, true);
    auto& b = add(L"B", false);
    const engine::checklist_fill fill = engine::fill_checklist(settings);
    ASSERT_EQ(fill.rows.size(), 2u);
    EXPECT_EQ(fill.rows[1].owner, &b);
    product.selected = true;
    engine::read_back_checks(fill.rows, {2, 1});
    EXPECT_TRUE(a.selected);
    EXPECT_FALSE(b.selected);
    EXPECT_TRUE(product.selected);
    engine::read_back_checks(fill.rows, {1, 0});
    EXPECT_FALSE(a.selected);
    EXPECT_TRUE(b.selected);
}

TEST(checklist_filter, mouse_buttons_on_a_locked_row_and_the_space_bar_on_a_locked_selected_row_are_swallowed)
{
    using dialog::list_input;
    EXPECT_TRUE(dialog::filter_swallows(list_input::mouse_button, false, {0, true}));
    EXPECT_FALSE(dialog::filter_swallows(list_input::mouse_button, false, {0, false}));
    EXPECT_FALSE(dialog::filter_swallows(list_input::mouse_button, false, {-1, false}));
    EXPECT_TRUE(dialog::filter_swallows(list_input::key, true, {1, true}));
    EXPECT_FALSE(dialog::filter_swallows(list_input::key, true, {1, false}));
    EXPECT_FALSE(dialog::filter_swallows(list_input::key, true, {-1, false}));
    EXPECT_FALSE(dialog::filter_swallows(list_input::key, false, {1, true}));  // the arrow keys still move
    EXPECT_FALSE(dialog::filter_swallows(list_input::other, true, {0, true}));
}

TEST(checklist_drawing, asks_for_rows_and_greys_only_locked_rows_of_the_list)
{
    using dialog::draw_stage;
    EXPECT_TRUE(dialog::custom_draw(true, draw_stage::prepaint, false).notify_each_item);
    const dialog::draw_decision locked = dialog::custom_draw(true, draw_stage::item_prepaint, true);
    EXPECT_TRUE(locked.grey_text);
    EXPECT_FALSE(locked.notify_each_item);
    EXPECT_FALSE(dialog::custom_draw(true, draw_stage::item_prepaint, false).grey_text);
    EXPECT_FALSE(dialog::custom_draw(false, draw_stage::prepaint, false).notify_each_item);
    EXPECT_FALSE(dialog::custom_draw(false, draw_stage::item_prepaint, true).grey_text);
}

TEST(centring, centres_on_the_area_and_keeps_the_window_inside_it)
{
    const dialog::rect area{0, 0, 1024, 738};
    const dialog::point p = dialog::centre_in({0, 0, 516, 466}, area, area);
    EXPECT_EQ(p.x, 254);
    EXPECT_EQ(p.y, 136);
    // Odd sizes truncate toward zero.
    const dialog::point q = dialog::centre_in({0, 0, 101, 51}, {0, 0, 201, 101}, {0, 0, 1000, 1000});
    EXPECT_EQ(q.x, 50);
    EXPECT_EQ(q.y, 25);
    // A window larger than the area sticks to its top left corner.
    const dialog::point r = dialog::centre_in({0, 0, 900, 900}, {0, 0, 800, 600}, {0, 0, 800, 600});
    EXPECT_EQ(r.x, 0);
    EXPECT_EQ(r.y, 0);
    // A centre window near the right edge pushes the window back inside.
    const dialog::point s = dialog::centre_in({0, 0, 400, 300}, {900, 100, 1100, 300}, {0, 0, 1024, 768});
    EXPECT_EQ(s.x, 624);
    EXPECT_EQ(s.y, 50);
}

}  // namespace

TEST(download_window, moves_its_bar_without_a_size_and_never_fills_it_beyond_full)
{
    EXPECT_TRUE(dialog::progress_bar(1000, 0).moving);
    EXPECT_EQ(dialog::progress_bar(1, 3).thousandths, 333);
    EXPECT_EQ(dialog::progress_bar(5000, 4096).thousandths, 1000);  // more than announced: full, never beyond
}

TEST(download_window, the_status_line_reads_the_configured_formats_and_by_default_the_usual_english)
{
    // The reader's defaults.
    components::download_dialog_settings d;
    d.progress_text = config::default_progress_text;
    d.progress_text_no_size = config::default_progress_text_no_size;
    d.retry_text = config::default_retry_text;
    dialog::download_texts t = dialog::download_window_texts(d, L"");
    EXPECT_EQ(dialog::progress_text(t, L"Foo", 1536, 2097152, 1, 3), L"Foo (1.50KB of 2.00MB) - 1/3");
    EXPECT_EQ(dialog::progress_text(t, L"Foo", 1536, 0, 2, 3), L"Foo (1.50KB) - 2/3");  // no size announced
    EXPECT_EQ(dialog::pause_text(t, L"Foo", 2, 3, 1, 1), L"Foo: trying again (attempt 2 of 3) - 1/1");

    d.progress_text = L"%4/%5: %1, %2 von %3";
    d.progress_text_no_size = L"%4/%5: %1, %2%3";
    d.retry_text = L"%1: Versuch %2 von %3 (%4/%5)";
    t = dialog::download_window_texts(d, L"");
    EXPECT_EQ(dialog::progress_text(t, L"Foo", 2048, 4096, 1, 2), L"1/2: Foo, 2.00KB von 4.00KB");
    EXPECT_EQ(dialog::progress_text(t, L"Foo", 2048, 0, 1, 2), L"1/2: Foo, 2.00KB");
    EXPECT_EQ(dialog::pause_text(t, L"Foo", 3, 3, 2, 2), L"Foo: Versuch 3 von 3 (2/2)");
}
