#include "Scripts.h"
#include "CaseName.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace {

using zov::test::CaseName;

std::vector<size_t> lineLengths(std::string_view text) {
    std::vector<size_t> lengths;
    for (size_t start = 0;;) {
        const size_t feed = text.find('\n', start);
        if (feed == std::string_view::npos) {
            lengths.push_back(text.size() - start);
            return lengths;
        }
        lengths.push_back(feed - start);
        start = feed + 1;
    }
}

struct ScriptCase {
    const char* name;
    std::string_view text;
    size_t bytes;
    std::vector<size_t> lines; // the part after a final line feed counts as an empty line
};

class FixedScripts : public testing::TestWithParam<ScriptCase> {};

TEST_P(FixedScripts, HaveTheirExactSizeAndLines) {
    const ScriptCase& script = GetParam();
    EXPECT_EQ(script.text.size(), script.bytes);
    EXPECT_EQ(lineLengths(script.text), script.lines);
    EXPECT_EQ(script.text.find('\r'), std::string_view::npos);
    EXPECT_EQ(script.text.find('\t'), std::string_view::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, FixedScripts,
    testing::Values(ScriptCase{"Prelude", zov::scripts::prelude, 277, {77, 83, 56, 20, 6, 29, 0}},
                    ScriptCase{"Suffix", zov::scripts::suffix, 6, {0, 5}},
                    ScriptCase{"Invocation",
                               zov::scripts::invocation,
                               462,
                               {8, 106, 49, 45, 113, 40, 73, 16, 4}},
                    // Line lengths in bytes: the first two lines hold two-byte characters.
                    ScriptCase{"WarmUp", zov::scripts::warmUp, 258, {82, 96, 78}}),
    CaseName());

TEST(Scripts, TheSuffixClosesWhatThePreludeOpens) {
    EXPECT_TRUE(zov::scripts::prelude.ends_with("const plugin = (function () {\n"));
    EXPECT_EQ(zov::scripts::suffix, "\n})();");
}

TEST(Scripts, TheWarmUpHoldsItsTwoPrecomposedLetters) {
    EXPECT_NE(zov::scripts::warmUp.find("\"\xC3\xA9\""), std::string_view::npos);
    EXPECT_NE(zov::scripts::warmUp.find("\"\xC3\x84\""), std::string_view::npos);
    EXPECT_NE(zov::scripts::warmUp.find("encodeURIComponent(\"\xC3\xA9 ?\")"),
              std::string_view::npos);
}

} // namespace
