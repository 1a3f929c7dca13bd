#include <gtest/gtest.h>

#include "core/text.h"
#include "core/text_list.h"

using namespace velmora;

TEST(Text, FoldsWindows1252Letters) {
    EXPECT_EQ(text::upper("abc\xe9\xff\x9a\xf7"), "ABC\xc9\x9f\x8a\xf7");
    EXPECT_TRUE(text::equalsIgnoreCase("Set Variable", "SET VARIABLE"));
    EXPECT_FALSE(text::equalsIgnoreCase("abc", "abd"));
    EXPECT_EQ(text::findIgnoreCase("a$Title$b", "$TITLE$"), 1u);
    EXPECT_EQ(text::hashIgnoreCase("TargetDir"), text::hashIgnoreCase("TARGETDIR"));
}

TEST(Text, Utf16RoundTrip) {
    const std::string ansi = "A\x80\xe9\x9f";
    EXPECT_EQ(text::toUtf16(ansi), std::u16string(u"A\u20ac\u00e9\u0178"));
    EXPECT_EQ(text::fromUtf16(text::toUtf16(ansi)), ansi);
    EXPECT_EQ(text::fromUtf16(u"\u4e2d"), "?");
}

TEST(TextList, FirstMatchIgnoringCaseSurvivesGrowth) {
    TextList list;
    for (int i = 0; i < 1000; ++i) list.add("line" + std::to_string(i));
    EXPECT_EQ(list.indexOf("LINE500"), 500u);
    list.add("line500");                       // a later duplicate never shadows the first
    list.add("Extra");
    EXPECT_EQ(list.indexOf("line500"), 500u);
    EXPECT_EQ(list.indexOf("EXTRA"), 1001u);
    EXPECT_EQ(list.indexOf("missing"), TextList::npos);
    TextList pairs{"USER", "alice", "PATH", "Alice"};
    EXPECT_EQ(pairs.valueOfPair("ALICE"), std::nullopt);   // names only at even positions
    EXPECT_EQ(pairs.valueOfPair("user"), "alice");
}
