// Local time under the confinement is the local time that an unconfined engine
// gives in the same environment: the zone chosen through TZ, or through the
// machine's /etc/localtime.

#include "CaseName.h"
#include "ConfinedChild.h"
#include "RunnerHarness.h"
#include "ScopedEnvironment.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <sched.h>
#include <string>
#include <sys/mount.h>

namespace zov::test {
namespace {

// Offsets and string forms of a winter and a summer date, in local time.
constexpr const char* localTimes =
    "[new Date(2026, 0, 1).getTimezoneOffset(), new Date(2026, 6, 1).getTimezoneOffset(),"
    " new Date(2026, 0, 1).toString(), new Date(2026, 6, 1).toString()]";

// The JSON text of `localTimes` from a plain, unconfined engine.
std::string unconfinedLocalTimes() {
    const ChildRun run = runUnconfined([](engine::Context& context) {
        say(evaluateToString(context, std::string("JSON.stringify(") + localTimes + ")"));
    });
    EXPECT_TRUE(run.exitedCleanly()) << run;
    return run.output;
}

// The JSON text of `localTimes` from a plugin in the confined runner.
std::string confinedLocalTimes() {
    const Outcome outcome =
        runPlugin(method(std::string("return ") + localTimes + ";"), "m", std::nullopt);
    EXPECT_TRUE(outcome.succeeded()) << outcome.message;
    // The host channel writes the solidus with a backslash before it.
    std::string json = outcome.json;
    for (size_t at; (at = json.find("\\/")) != std::string::npos;)
        json.erase(at, 1);
    return json;
}

struct TzCase {
    const char* name;
    std::optional<std::string> tz;
    const char* offsets; // the two offsets, where the zone fixes them
};

class TimeZoneFromEnvironment : public ::testing::TestWithParam<TzCase> {};

TEST_P(TimeZoneFromEnvironment, IsTheUnconfinedEnginesZone) {
    const TzCase& test = GetParam();
    ScopedEnvironment tz("TZ", test.tz);
    const std::string expected = unconfinedLocalTimes();
    EXPECT_EQ(confinedLocalTimes(), expected);
    EXPECT_TRUE(expected.starts_with(test.offsets)) << expected;
}

INSTANTIATE_TEST_SUITE_P(
    Zones, TimeZoneFromEnvironment,
    ::testing::Values(TzCase{"Named", "Europe/Berlin", "[-60,-120,"},
                      TzCase{"NamedWithColon", ":Asia/Kathmandu", "[-345,-345,"},
                      TzCase{"NamedByPath", "/usr/share/zoneinfo/America/New_York", "["},
                      // A rule, which ICU passes over for the machine's /etc/localtime.
                      TzCase{"Rule", "XYZ-5:45", "["},
                      TzCase{"UnknownName", "Nowhere/Bogus", "[0,0,"}, TzCase{"Empty", "", "[0,0,"},
                      // Unset: the machine's own zone, whatever it is.
                      TzCase{"Unset", std::nullopt, "["}),
    CaseName());

// --- The machine's zone, through /etc/localtime in a private mount namespace

enum class Localtime { Link, Copy, Missing, DanglingLink };

// In a child: enters a mount namespace of its own and replaces /etc there by
// a copy of links to the real entries, with `kind` of /etc/localtime for
// `zone`. `scratch` is an empty directory to build the copy in. Returns why
// the machine gives the child no such /etc (no right to make a mount
// namespace or to mount in it, a file it cannot copy), or nothing.
std::optional<std::string> replaceLocaltime(const std::filesystem::path& scratch, Localtime kind,
                                            const char* zone) {
    namespace fs = std::filesystem;
    const auto failed = [](const char* step) { return step + std::string(": ") + strerror(errno); };
    const fs::path original = scratch / "original";
    const fs::path etc = scratch / "etc";
    if (::unshare(CLONE_NEWNS) != 0)
        return failed("a mount namespace of its own");
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return failed("making its mounts private");
    try {
        fs::create_directory(original);
        fs::create_directory(etc);
        if (::mount("/etc", original.c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0)
            return failed("binding /etc");
        for (const auto& entry : fs::directory_iterator(original)) {
            if (entry.path().filename() != "localtime")
                fs::create_symlink(entry.path(), etc / entry.path().filename());
        }
        const fs::path zoneFile = fs::path("/usr/share/zoneinfo") / zone;
        switch (kind) {
        case Localtime::Link:
            fs::create_symlink(zoneFile, etc / "localtime");
            break;
        case Localtime::Copy:
            fs::copy_file(zoneFile, etc / "localtime");
            break;
        case Localtime::Missing:
            break;
        case Localtime::DanglingLink:
            fs::create_symlink("/usr/share/zoneinfo/Nowhere/Bogus", etc / "localtime");
            break;
        }
    } catch (const fs::filesystem_error& error) {
        return error.what();
    }
    if (::mount(etc.c_str(), "/etc", nullptr, MS_BIND, nullptr) != 0)
        return failed("binding the copy over /etc");
    return std::nullopt;
}

struct LocaltimeCase {
    const char* name;
    Localtime kind;
    const char* offsets;
    bool sameNames; // whether the zone's names match the unconfined engine's too
};

class TimeZoneFromLocaltime : public ::testing::TestWithParam<LocaltimeCase> {};

TEST_P(TimeZoneFromLocaltime, IsTheUnconfinedEnginesZone) {
    const LocaltimeCase& test = GetParam();
    ScopedEnvironment tz("TZ", std::nullopt);
    char scratchName[] = "/tmp/zov-localtime-XXXXXX";
    ASSERT_NE(::mkdtemp(scratchName), nullptr);
    const std::filesystem::path scratch = scratchName;
    // Both engines run in the namespace; the child writes their results on
    // two lines, or why it has no namespace after `noNamespace`.
    const std::string noNamespace = "no private /etc: ";
    const ChildRun run = runInChild([&] {
        if (const auto reason = replaceLocaltime(scratch, test.kind, "Asia/Kathmandu")) {
            say(noNamespace + *reason);
            return;
        }
        const std::string expected = unconfinedLocalTimes();
        say(expected + "\n" + confinedLocalTimes() + "\n");
    });
    // Only links, empty directories and a copy of a zone file are left.
    std::error_code ignored;
    std::filesystem::remove_all(scratch, ignored);
    if (run.exitedCleanly() && run.output.starts_with(noNamespace))
        GTEST_SKIP() << "this machine gives the test no /etc of its own: "
                     << run.output.substr(noNamespace.size());
    ASSERT_TRUE(run.exitedCleanly()) << run;
    const size_t firstEnd = run.output.find('\n');
    const std::string expected = run.output.substr(0, firstEnd);
    const std::string confined = run.output.substr(firstEnd + 1, run.output.size() - firstEnd - 2);
    EXPECT_TRUE(expected.starts_with(test.offsets)) << expected;
    EXPECT_TRUE(confined.starts_with(test.offsets)) << confined;
    if (test.sameNames) {
        EXPECT_EQ(confined, expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Machines, TimeZoneFromLocaltime,
    ::testing::Values(LocaltimeCase{"Link", Localtime::Link, "[-345,-345,", true},
                      LocaltimeCase{"Copy", Localtime::Copy, "[-345,-345,", true},
                      LocaltimeCase{"Missing", Localtime::Missing, "[0,0,", true},
                      // ICU calls the zone it cannot name GMT; confined, it is UTC.
                      LocaltimeCase{"DanglingLink", Localtime::DanglingLink, "[0,0,", false}),
    CaseName());

} // namespace
} // namespace zov::test
