// The user's locale: plugins format numbers, dates and text in the locale that the runner's
// environment names, while the runner's own lines read the same in every locale. The tests use
// a locale compiled into a folder of the build tree (LOCPATH), not the machine's.

#include "CaseName.h"
#include "RunnerHarness.h"
#include "ScopedEnvironment.h"

#include <array>
#include <memory>
#include <vector>

namespace zov::test {
namespace {

// The variables from which the C library takes the character-type locale, in its order.
constexpr std::array<const char*, 3> localeVariables = {"LC_ALL", "LC_CTYPE", "LANG"};

using LocaleVariables = std::vector<std::pair<const char*, std::string>>;

// The environment of one case: the test's locales folder, and only the given locale variables.
class LocaleEnvironment {
public:
    explicit LocaleEnvironment(const LocaleVariables& values)
        : folder_("LOCPATH", ZOV_TEST_LOCALES) {
        for (const char* name : localeVariables) {
            std::optional<std::string> value;
            for (const auto& [assigned, text] : values) {
                if (std::string_view(assigned) == name)
                    value = text;
            }
            variables_.push_back(std::make_unique<ScopedEnvironment>(name, value));
        }
    }

private:
    ScopedEnvironment folder_;
    std::vector<std::unique_ptr<ScopedEnvironment>> variables_;
};

// What a plugin formats without naming a locale: the default locale, a number, a date, a list.
const std::string formats =
    method("return [new Intl.NumberFormat().resolvedOptions().locale,"
           " new Intl.DateTimeFormat().resolvedOptions().locale,"
           " new Intl.Collator().resolvedOptions().locale,"
           " (1234567.5).toLocaleString(),"
           " new Date(Date.UTC(2025, 0, 2)).toLocaleDateString(undefined, {timeZone: 'UTC'}),"
           " new Intl.ListFormat().format(['a', 'b', 'c'])];");
const std::string german = R"(["de-DE","de-DE","de-DE","1.234.567,5","2.1.2025","a, b und c"])";
const std::string english = R"(["en-US","en-US","en-US","1,234,567.5","1/2/2025","a, b, and c"])";

struct LocaleCase {
    const char* name;
    LocaleVariables environment;
    std::string formatted;
};

class EnvironmentLocales : public ::testing::TestWithParam<LocaleCase> {};

TEST_P(EnvironmentLocales, AreThePluginsDefault) {
    LocaleEnvironment environment(GetParam().environment);
    const Outcome outcome = runPlugin(formats, "m");
    ASSERT_TRUE(outcome.succeeded()) << outcome.message;
    EXPECT_EQ(outcome.json, GetParam().formatted);
}

INSTANTIATE_TEST_SUITE_P(
    Variables, EnvironmentLocales,
    ::testing::Values(
        LocaleCase{"Lang", {{"LANG", "de_DE.UTF-8"}}, german},
        LocaleCase{"LcCtype", {{"LC_CTYPE", "de_DE.UTF-8"}}, german},
        LocaleCase{"LcAll", {{"LC_ALL", "de_DE.UTF-8"}, {"LANG", "C"}}, german},
        // LC_ALL comes before the category, and the category before LANG.
        LocaleCase{"LcAllBeforeLang", {{"LC_ALL", "C"}, {"LANG", "de_DE.UTF-8"}}, english},
        LocaleCase{
            "LcCtypeBeforeLang", {{"LC_CTYPE", "C.UTF-8"}, {"LANG", "de_DE.UTF-8"}}, english},
        LocaleCase{"EmptyLcAllNamesNone", {{"LC_ALL", ""}, {"LANG", "de_DE.UTF-8"}}, german},
        // No locale, a C locale, or one the machine does not have: exactly en-US.
        LocaleCase{"None", {}, english}, LocaleCase{"C", {{"LANG", "C"}}, english},
        LocaleCase{"CUtf8", {{"LANG", "C.UTF-8"}}, english},
        LocaleCase{"Posix", {{"LANG", "POSIX"}}, english},
        LocaleCase{"NotOnTheMachine", {{"LANG", "fr_FR.UTF-8"}}, english},
        LocaleCase{"Malformed", {{"LANG", "../../de_DE.UTF-8"}}, english}),
    CaseName());

// What the runner writes for `input` (request and reply lines) in the locale that LANG names.
std::string runnerOutput(const std::string& input, const char* locale) {
    LocaleEnvironment environment(LocaleVariables{{"LANG", locale}});
    const RawRun run = runRaw(input);
    EXPECT_EQ(run.errors, "");
    return run.output;
}

struct OwnLinesCase {
    const char* name;
    std::string input; // exactly what the host writes
};

class RunnersOwnLines : public ::testing::TestWithParam<OwnLinesCase> {};

TEST_P(RunnersOwnLines, ReadTheSameInEveryLocale) {
    const std::string inC = runnerOutput(GetParam().input, "C");
    EXPECT_EQ(runnerOutput(GetParam().input, "de_DE.UTF-8"), inC);
}

std::string request(std::string_view body, std::optional<std::string_view> input = std::nullopt) {
    return client::requestLine(method(body), "m", input) + "\n";
}

INSTANTIATE_TEST_SUITE_P(
    Lines, RunnersOwnLines,
    ::testing::Values(
        // Numbers and text that the plugin does not format for a locale.
        OwnLinesCase{"Numbers", request("return [1234567.5, 0.1 + 0.2, 1e21, 1 / 3, String(1234.5),"
                                        " (1234.5).toFixed(2), parseFloat('1.5'), Number('1,5'),"
                                        " 'i\\u00e4'.toUpperCase(), JSON.stringify({a: 1.5})];")},
        OwnLinesCase{"Input", request("return input;", R"({"x":1234.5e3,"y":[-0.25,"\u00e4"]})")},
        OwnLinesCase{"FetchAndReply",
                     request("return zov.session.fetch('https://h/p', {n: 2.5}).v;") +
                         R"({"v":1234.5})"
                         "\n"},
        // The engine's errors, with numbers in them, and the runner's own.
        OwnLinesCase{"RangeError", request("return (1.5).toFixed(101);")},
        OwnLinesCase{"ErrorWithANumber", request("throw new Error('at ' + 1234.5);")},
        OwnLinesCase{"StateWithNumbers", request("throw {state: {n: String(1234.5)}};")},
        OwnLinesCase{"RequestThatIsNoJson", "{\"method\":\"m\",\"script\":1.5e\n"},
        OwnLinesCase{"InvalidInvocation", "{\"method\":1.5}\n"}),
    CaseName());

} // namespace
} // namespace zov::test
