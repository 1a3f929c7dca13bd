#include <gtest/gtest.h>

#include <string>

#include "script/expression.h"
#include "script/variables.h"

using namespace velmora;

TEST(Expression, Evaluates) {
    struct Case { std::string text; const char* want; };
    const Case cases[] = {
        {R"("a" = "a")", "TRUE"},
        {R"("a"="b")", "FALSE"},
        {R"("a" <> "b")", "TRUE"},
        {R"("10" < "9")", "TRUE"},                      // ordinal text comparison
        {R"("b" > "B")", "TRUE"},
        {R"("ab" < "abc")", "TRUE"},                    // a proper prefix is the smaller
        {"\"\xe9\" > \"z\"", "TRUE"},                   // bytes compare unsigned
        {R"("a" <= "a" and "b" >= "c")", "FALSE"},
        {R"("a" = "a" and "b" = "c" or "x" = "x")", "TRUE"},   // strictly left to right
        {R"("x" = "x" or "a" = "b" and "c" = "d")", "FALSE"},
        {R"(("x" = "x" or "a" = "b") and ("c" = "c"))", "TRUE"},
        {R"(((("a" = "a"))))", "TRUE"},
        {R"("say ""hi""" = "say ""hi""")", "TRUE"},
        {R"("" <> "")", "FALSE"},
        {R"(  "a"   =   "a"  )", "TRUE"},
        {R"("a"="a") or ("b"="c")", "TRUE"},            // ")" closes the evaluator's own "("
        // malformed
        {"", "ERROR"},
        {"   ", "ERROR"},
        {R"("a" == "a")", "ERROR"},
        {R"("a" = "a" AND "b" = "b")", "ERROR"},
        {R"("a" = "a" Or "b" = "b")", "ERROR"},
        {R"("a" = "b" and)", "ERROR"},
        {R"("a" = "a" and("b" = "b"))", "ERROR"},     // "and(" is one word
        {R"("a" = "a"))", "ERROR"},                     // surplus ")"
        {R"(("a" = "a")", "ERROR"},                     // "(" never closed
        {R"($A$ = "x")", "ERROR"},                      // an unexpanded reference
        {R"(a = "x")", "ERROR"},
        {R"("a" = "x" "b" = "y")", "ERROR"},
        {R"("a" "x")", "ERROR"},
        {R"("abc = "x")", "ERROR"},
        {"\"a\"\t=\t\"a\"", "ERROR"},                   // only spaces are blanks
        {R"("a" = "a" ())", "ERROR"},
    };
    for (const auto& c : cases) EXPECT_EQ(EvaluateExpressionText(c.text), c.want) << c.text;
}

TEST(Expression, DeepNestingNeedsNoRecursion) {
    const std::size_t depth = 200000;
    const std::string nested = std::string(depth, '(') + R"("a" = "a")" + std::string(depth, ')');
    EXPECT_EQ(EvaluateExpressionText(nested), "TRUE");
    EXPECT_EQ(EvaluateExpressionText(std::string(depth, '(')), "ERROR");
}

TEST(Expression, QuotedExpansionFeedsTheEvaluator) {
    TVariableManager store;
    store.StoreValue("A", "x");
    store.StoreValue("B", "x");
    store.StoreValue("EMPTY", "");
    store.StoreValue("HALF", "one \" quote");
    EXPECT_EQ(EvaluateExpressionText(store.ExpandQuoted(R"($A$ = $B$)")), "TRUE");
    EXPECT_EQ(EvaluateExpressionText(store.ExpandQuoted(R"($EMPTY$ <> "")")), "FALSE");
    EXPECT_EQ(EvaluateExpressionText(store.ExpandQuoted(R"($MISSING$ = "x")")), "ERROR");
    EXPECT_EQ(EvaluateExpressionText(store.ExpandQuoted(R"($HALF$ = "x")")), "ERROR");
}
