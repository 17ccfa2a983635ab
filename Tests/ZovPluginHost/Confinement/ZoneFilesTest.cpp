// The runtime's time-zone files: every runner points ICU at them and opens all four before it
// confines itself, since it can open no file afterwards. ICU would then fall back to its built-in
// data without a word, so each test asks for something that the files answer differently from
// the built-in data, for zones that nothing touched before the confinement.

#include "CaseName.h"
#include "ConfinedChild.h"
#include "RunnerHarness.h"
#include "ScopedEnvironment.h"

#include <unicode/ucal.h>
#include <unicode/uloc.h>
#include <unicode/ustring.h>

#include "Utf.h"

#include <array>
#include <filesystem>
#include <string>
#include <vector>

namespace zov::test {
namespace {

// The zone files in the build tree, where an installation puts them.
const std::string zoneFilesFolder = ZOV_TEST_ZONE_FILES;

std::string fromIcu(const UChar* text, int32_t length) {
    return utf16ToUtf8(
        std::u16string_view(reinterpret_cast<const char16_t*>(text), static_cast<size_t>(length)));
}

// One answer from each of the four zone files, through ICU's C API, on a line of its own. Each
// one differs between the runtime's files and ICU's built-in data.
std::vector<std::string> zoneFileAnswers() {
    std::vector<std::string> answers;
    // zoneinfo64: the rules, and the tz release they come from.
    UErrorCode status = U_ZERO_ERROR;
    const char* release = ucal_getTZDataVersion(&status);
    answers.push_back(U_SUCCESS(status) ? release : u_errorName(status));
    // timezoneTypes: the BCP 47 type of a zone that ICU's own data does not know.
    const char* type = uloc_toUnicodeLocaleType("timezone", "America/Ciudad_Juarez");
    answers.push_back(type ? type : "no type");
    // metaZones: a zone whose metazone has changed, which names the zone.
    std::array<UChar, 128> text{};
    status = U_ZERO_ERROR;
    UCalendar* calendar = ucal_open(u"Asia/Almaty", -1, "en", UCAL_GREGORIAN, &status);
    ucal_setMillis(calendar, 1736942400000.0, &status); // 2025-01-15T12:00:00Z
    int32_t length = ucal_getTimeZoneDisplayName(calendar, UCAL_STANDARD, "en", text.data(),
                                                 text.size(), &status);
    ucal_close(calendar);
    answers.push_back(U_SUCCESS(status) ? fromIcu(text.data(), length) : u_errorName(status));
    // windowsZones: the zone that a Windows zone name stands for.
    status = U_ZERO_ERROR;
    length = ucal_getTimeZoneIDForWindowsID(u"Central Asia Standard Time", -1, nullptr, text.data(),
                                            text.size(), &status);
    answers.push_back(U_SUCCESS(status) ? fromIcu(text.data(), length) : u_errorName(status));
    return answers;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t start = 0; start < text.size();) {
        const size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

const ContextStep sayZoneFileAnswers = [](engine::Context&) {
    for (const std::string& answer : zoneFileAnswers())
        say(answer + "\n");
};

TEST(ZoneFiles, AreAllFourLoadedBeforeTheConfinement) {
    const ChildRun builtIn = runUnconfined(sayZoneFileAnswers);
    ScopedEnvironment folder("ICU_TIMEZONE_FILES_DIR", zoneFilesFolder);
    const ChildRun unconfined = runUnconfined(sayZoneFileAnswers);
    const ChildRun confined = runConfined(sayZoneFileAnswers);
    ASSERT_TRUE(builtIn.exitedCleanly()) << builtIn;
    ASSERT_TRUE(unconfined.exitedCleanly()) << unconfined;
    ASSERT_TRUE(confined.exitedCleanly()) << confined;

    const std::vector<std::string> files = linesOf(unconfined.output);
    const std::vector<std::string> builtInData = linesOf(builtIn.output);
    const std::vector<std::string> underConfinement = linesOf(confined.output);
    const std::vector<std::string> fileNames = {"zoneinfo64", "timezoneTypes", "metaZones",
                                                "windowsZones"};
    ASSERT_EQ(files.size(), fileNames.size()) << unconfined;
    ASSERT_EQ(builtInData.size(), fileNames.size()) << builtIn;
    ASSERT_EQ(underConfinement.size(), fileNames.size()) << confined;
    for (size_t i = 0; i < fileNames.size(); ++i) {
        // Otherwise the answer could not tell the files from the built-in data.
        EXPECT_NE(files[i], builtInData[i]) << fileNames[i];
        EXPECT_EQ(underConfinement[i], files[i]) << fileNames[i];
    }
}

// Zone names, canonical names and the list of zones, for zones that the runner's warm-up never
// touches, in two languages: each depends on the zone rules, the metazones or the canonical names.
constexpr const char* zoneNames = R"js((() => {
    const at = Date.UTC(2025, 0, 15, 12);
    const zones = ['America/Ciudad_Juarez', 'America/Coyhaique', 'Asia/Almaty', 'America/Nuuk',
                   'Europe/Kyiv', 'Asia/Calcutta', 'US/Pacific', 'Etc/GMT+5'];
    const styles = ['long', 'short', 'longGeneric', 'shortGeneric', 'longOffset'];
    const result = {zones: Intl.supportedValuesOf('timeZone')};
    for (const zone of zones) {
        try {
            const names = styles.flatMap((style) => ['en-US', 'de-DE'].map((locale) =>
                new Intl.DateTimeFormat(locale, {timeZone: zone, timeZoneName: style})
                    .formatToParts(at).find((part) => part.type === 'timeZoneName').value));
            const canonical = new Intl.DateTimeFormat('en-US', {timeZone: zone.toLowerCase()})
                .resolvedOptions().timeZone;
            result[zone] = [canonical, ...names];
        } catch (error) {
            result[zone] = String(error);
        }
    }
    return result;
})())js";

// The JSON text of `zoneNames` from a plain, unconfined engine, with the zone files that the
// environment names (none: ICU's built-in data).
std::string unconfinedZoneNames() {
    const ChildRun run = runUnconfined([](engine::Context& context) {
        say(evaluateToString(context, std::string("JSON.stringify(") + zoneNames + ")"));
    });
    EXPECT_TRUE(run.exitedCleanly()) << run;
    return run.output;
}

TEST(ZoneFiles, GiveTheRunnersPluginsTheNamesOfTheUnconfinedEngine) {
    const std::string builtIn = unconfinedZoneNames();
    std::string expected;
    {
        ScopedEnvironment folder("ICU_TIMEZONE_FILES_DIR", zoneFilesFolder);
        expected = unconfinedZoneNames();
    }
    ASSERT_NE(expected, builtIn);
    // The runner finds the files beside it by itself.
    ScopedEnvironment unset("ICU_TIMEZONE_FILES_DIR", std::nullopt);
    const Outcome outcome = runPlugin(method(std::string("return ") + zoneNames + ";"), "m");
    ASSERT_TRUE(outcome.succeeded()) << outcome.message;
    EXPECT_EQ(outcome.json, expected);
    // Zones that tz releases after ICU's own data brought, and their names.
    EXPECT_NE(outcome.json.find(R"("America/Coyhaique")"), std::string::npos);
    EXPECT_NE(outcome.json.find(R"(["America/Ciudad_Juarez","Mountain Standard Time",)"),
              std::string::npos)
        << outcome.json;
}

// The offset of Mexico City in July 2025, which changed after ICU's built-in data was made: the
// text after "GMT" in the zone's long offset.
std::string mexicoCityOffset() {
    const Outcome outcome = runPlugin(method("return new Intl.DateTimeFormat('en-US', {timeZone: "
                                             "'America/Mexico_City', timeZoneName: 'longOffset'})"
                                             ".format(Date.UTC(2025, 6, 1)).split('GMT')[1];"),
                                      "m");
    EXPECT_TRUE(outcome.succeeded()) << outcome.message;
    return outcome.json;
}

struct FolderCase {
    const char* name;
    std::optional<std::string> folder; // ICU_TIMEZONE_FILES_DIR in the host's environment
    std::string offset;
};

class HostsZoneFiles : public ::testing::TestWithParam<FolderCase> {};

TEST_P(HostsZoneFiles, DecideWhichFilesTheRunnerReads) {
    ScopedEnvironment folder("ICU_TIMEZONE_FILES_DIR", GetParam().folder);
    EXPECT_EQ(mexicoCityOffset(), GetParam().offset);
}

INSTANTIATE_TEST_SUITE_P(
    Folders, HostsZoneFiles,
    ::testing::Values(FolderCase{"None", std::nullopt, R"("-06:00")"},
                      FolderCase{"EmptyIsNone", "", R"("-06:00")"},
                      FolderCase{"TheRuntimesOwn", zoneFilesFolder, R"("-06:00")"},
                      // A folder of the host's is kept, even one without files: ICU then
                      // reads its built-in data, from before Mexico ended daylight saving time.
                      FolderCase{"AnotherFolder", "/nonexistent/zone/files", R"("-05:00")"}),
    CaseName());

TEST(ZoneFiles, ARunnerWithoutThemUsesIcusOwnData) {
    // A copy of the runner in a folder of its own, with no data beside it.
    char folderName[] = "/tmp/zov-runner-XXXXXX";
    ASSERT_NE(::mkdtemp(folderName), nullptr);
    const std::filesystem::path runner = std::filesystem::path(folderName) / "ZovPluginHost";
    std::filesystem::copy_file(client::defaultRunnerPath(), runner);
    ScopedEnvironment unset("ICU_TIMEZONE_FILES_DIR", std::nullopt);
    const Outcome outcome = client::call(
        client::requestLine(method("return new Intl.DateTimeFormat('en-US', {timeZone: "
                                   "'America/Mexico_City', timeZoneName: 'longOffset'})"
                                   ".format(Date.UTC(2025, 6, 1));"),
                            "m"),
        options(), {runner.string()});
    std::filesystem::remove_all(folderName);
    expectWellFormed(outcome);
    ASSERT_TRUE(outcome.succeeded()) << outcome.message;
    EXPECT_EQ(outcome.json, R"("6/30/2025, GMT-05:00")");
}

} // namespace
} // namespace zov::test
