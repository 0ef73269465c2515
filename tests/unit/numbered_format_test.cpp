// Formats with numbered fields, written by publishers: only the fields that
// exist are ever filled in.
#include <gtest/gtest.h>

#include "base/numbered_format.h"

namespace {

TEST(numbered_format, fills_the_fields_it_has_and_shows_every_other_sequence_as_written)
{
    const std::vector<std::wstring> two = {L"Foo", L"%2"};
    EXPECT_EQ(text::format_numbered(L"%2/%1 %1", two), L"%2/Foo Foo");  // a field's own "%" is not read again
    EXPECT_EQ(text::format_numbered(L"100%% %3 %0 %x %", two), L"100% %3 %0 %x %");
    EXPECT_EQ(text::format_numbered(L"%1%", {}), L"%1%");
    EXPECT_EQ(text::format_numbered(L"%%1", two), L"%1");

    const auto faults = text::numbered_format_faults(L"%1 %% %6 %s %", 5);
    ASSERT_EQ(faults.size(), 3u);
    EXPECT_EQ(faults[0].at, 6u);
    EXPECT_EQ(faults[0].sequence, L"%6");
    EXPECT_TRUE(faults[0].unknown_field);
    EXPECT_EQ(faults[1].sequence, L"%s");
    EXPECT_FALSE(faults[1].unknown_field);
    EXPECT_EQ(faults[2].sequence, L"%");
    EXPECT_TRUE(text::numbered_format_faults(L"%5%%%1", 5).empty());
}

}  // namespace
