// Zone rules under confinement: the offsets from UTC that plugins see are the ones the C library
// reads from the machine's tzdata, for every zone it lists, through Intl (a zone named by the
// plugin) and through local time (the zone named by TZ), except where the runtime's zone files
// and the machine's tzdata come from tz releases that differ.

#include "CaseName.h"
#include "ConfinedChild.h"
#include "RunnerHarness.h"
#include "ScopedEnvironment.h"

#include <nlohmann/json.hpp>
#include <unicode/ucal.h>

#include <algorithm>
#include <ctime>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace zov::test {
namespace {

// --- The machine's tzdata, through the C library

constexpr const char* tzdataListing = "/usr/share/zoneinfo/tzdata.zi";

// The machine's tzdata release and every name it lists, zones and links alike; none when the
// machine has no listing.
struct MachineZones {
    std::string release;
    std::vector<std::string> names;
};

std::optional<MachineZones> machineZones() {
    std::ifstream listing(tzdataListing);
    if (!listing)
        return std::nullopt;
    MachineZones zones;
    for (std::string line; std::getline(listing, line);) {
        std::istringstream words(line);
        std::string kind, first, second;
        words >> kind >> first >> second;
        if (kind == "#" && first == "version")
            zones.release = second;
        else if (kind == "Z")
            zones.names.push_back(first);
        else if (kind == "L")
            zones.names.push_back(second);
    }
    std::sort(zones.names.begin(), zones.names.end());
    return zones;
}

constexpr time_t sampledFrom = 1420070400;  // 2015-01-01T00:00:00Z
constexpr time_t sampledUntil = 2082758400; // 2036-01-01T00:00:00Z
// The regular samples: ten days and seven hours apart, so that they fall on every hour of the day.
constexpr time_t sampleStep = (10 * 24 + 7) * 3600;
// Transitions are looked for day by day.
constexpr time_t scanStep = 24 * 3600;

// An instant and the offset from UTC, in seconds, that the C library gives for it.
struct Sample {
    time_t at;
    long offset;
};

long offsetAt(time_t at) {
    tm local{};
    localtime_r(&at, &local);
    return local.tm_gmtoff;
}

// What the C library gives for `zone`, named in TZ, from 2015 to 2035: the regular samples, and
// the last instant before and the first after each change of offset, where a release that moved
// the change by even a second differs.
std::vector<Sample> librarySamples(const std::string& zone) {
    std::vector<Sample> samples;
    {
        ScopedEnvironment tz("TZ", zone);
        tzset();
        for (time_t at = sampledFrom; at < sampledUntil; at += sampleStep)
            samples.push_back({at, offsetAt(at)});
        long offset = offsetAt(sampledFrom);
        for (time_t day = sampledFrom; day < sampledUntil; day += scanStep) {
            const time_t next = day + scanStep;
            const long nextOffset = offsetAt(next);
            if (nextOffset != offset) {
                time_t before = day, after = next;
                while (after - before > 1) {
                    const time_t middle = before + (after - before) / 2;
                    (offsetAt(middle) == offset ? before : after) = middle;
                }
                samples.push_back({before, offset});
                samples.push_back({after, offsetAt(after)});
            }
            offset = nextOffset;
        }
    }
    // The C library reads TZ again: this process's own zone.
    tzset();
    return samples;
}

// --- Where the releases differ

// The tz release of the runtime's zone files, as ICU reads it from them.
std::string zoneFilesRelease() {
    ScopedEnvironment folder("ICU_TIMEZONE_FILES_DIR", ZOV_TEST_ZONE_FILES);
    const ChildRun run = runUnconfined([](engine::Context&) {
        UErrorCode status = U_ZERO_ERROR;
        const char* release = ucal_getTZDataVersion(&status);
        say(U_SUCCESS(status) ? release : "");
    });
    EXPECT_TRUE(run.exitedCleanly()) << run;
    return run.output;
}

// The zones whose offsets from 2015 to 2035 two tz releases give differently, where the runtime's
// zone files and the machine's tzdata are of those releases. Each difference is the releases'
// own; no other zone may differ.
struct ReleaseDifference {
    const char* zoneFiles;
    const char* machine;
    std::set<std::string> zones;
};

const std::vector<ReleaseDifference> releaseDifferences = {
    // 2026a: Moldova has changed its clocks at 01:00 UTC, as the EU does, since 2022; 2025b
    // has it change them at 00:00 UTC.
    {"2026a", "2025b", {"Europe/Chisinau", "Europe/Tiraspol"}},
};

std::set<std::string> zonesThatDiffer(const std::string& zoneFiles, const std::string& machine) {
    for (const ReleaseDifference& difference : releaseDifferences) {
        if (zoneFiles == difference.zoneFiles && machine == difference.machine)
            return difference.zones;
    }
    return {};
}

// --- The engine's offsets, from the confined runner

// Offsets in seconds, for each zone of the input ({zone: [instants in seconds]}), through Intl.
constexpr const char* intlOffsets = R"js(return {m(input) {
    const offsets = {};
    for (const [zone, instants] of Object.entries(input)) {
        let format;
        try {
            format = new Intl.DateTimeFormat('en-US', {timeZone: zone, timeZoneName: 'longOffset'});
        } catch (error) {
            offsets[zone] = String(error);
            continue;
        }
        offsets[zone] = instants.map((at) => {
            const [, sign, hours, minutes, seconds] =
                /GMT(?:([+-])(\d\d):(\d\d)(?::(\d\d))?)?$/.exec(format.format(at * 1000));
            const offset = sign ? (hours * 3600 + minutes * 60 + (seconds ?? 0)) : 0;
            return sign === '-' ? -offset : offset;
        });
    }
    return offsets;
}};)js";

// Offsets in seconds, for each instant of the input ([instants in seconds]), in local time.
constexpr const char* localOffsets =
    "return {m(input) { return input.map((at) => -new Date(at * 1000).getTimezoneOffset() * 60); "
    "}};";

nlohmann::json instantsJson(const std::vector<Sample>& samples) {
    nlohmann::json instants = nlohmann::json::array();
    for (const Sample& sample : samples)
        instants.push_back(sample.at);
    return instants;
}

// An instant as the text of its date and time in UTC, for a failure's message.
std::string utcText(time_t at) {
    tm utc{};
    gmtime_r(&at, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

// How the engine's offsets for `zone` differ from the C library's, or nothing.
std::string mismatch(const std::string& zone, const std::vector<Sample>& samples,
                     const nlohmann::json& offsets) {
    if (!offsets.is_array() || offsets.size() != samples.size())
        return zone + ": the engine gives " + offsets.dump() + "\n";
    std::string found;
    for (size_t i = 0; i < samples.size(); ++i) {
        if (offsets[i] != samples[i].offset) {
            found += zone + " at " + utcText(samples[i].at) + ": the C library gives " +
                     std::to_string(samples[i].offset) + ", the engine " + offsets[i].dump() + "\n";
        }
    }
    return found;
}

// --- The zones the issue names, whose rules changed after ICU's own data was made

struct ChangedZone {
    const char* name;
    const char* zone;
    time_t at;
    long offset;           // in seconds
    const char* localTime; // Date.prototype.toString from "GMT", under TZ=zone
};

class ChangedZones : public ::testing::TestWithParam<ChangedZone> {};

TEST_P(ChangedZones, HaveTheirCurrentOffsetThroughIntlAndLocalTime) {
    const ChangedZone& test = GetParam();
    const Outcome intl = runPlugin(
        intlOffsets, "m", "{\"" + std::string(test.zone) + "\":[" + std::to_string(test.at) + "]}");
    ASSERT_TRUE(intl.succeeded()) << intl.message;
    EXPECT_EQ(intl.json,
              "{\"" + std::string(test.zone) + "\":[" + std::to_string(test.offset) + "]}");

    ScopedEnvironment tz("TZ", test.zone);
    const Outcome local = runPlugin(
        method("const date = new Date(input * 1000);\n"
               "return [-date.getTimezoneOffset() * 60, date.toString().split(' GMT')[1]];"),
        "m", std::to_string(test.at));
    ASSERT_TRUE(local.succeeded()) << local.message;
    EXPECT_EQ(local.json,
              "[" + std::to_string(test.offset) + ",\"" + std::string(test.localTime) + "\"]");
}

INSTANTIATE_TEST_SUITE_P(
    Zones, ChangedZones,
    ::testing::Values(
        // Mexico abolished daylight saving time in late 2022.
        ChangedZone{"MexicoCity", "America/Mexico_City", 1751328000, -6 * 3600,
                    "-0600 (Central Standard Time)"},
        // Kazakhstan moved to a single zone, UTC+5, in March 2024.
        ChangedZone{"Almaty", "Asia/Almaty", 1736942400, 5 * 3600, "+0500 (GMT+05:00)"},
        // Greenland moved to UTC-2, with daylight saving time, in 2023.
        ChangedZone{"NuukWinter", "America/Nuuk", 1736942400, -2 * 3600, "-0200 (GMT-02:00)"},
        ChangedZone{"NuukSummer", "America/Nuuk", 1751328000, -1 * 3600, "-0100 (GMT-01:00)"},
        // Egypt brought daylight saving time back in 2023.
        ChangedZone{"CairoSummer", "Africa/Cairo", 1751328000, 3 * 3600,
                    "+0300 (Eastern European Summer Time)"},
        // A zone since tz 2022g, which ICU's own data does not know.
        ChangedZone{"CiudadJuarez", "America/Ciudad_Juarez", 1736942400, -7 * 3600,
                    "-0700 (Mountain Standard Time)"}),
    CaseName());

// --- Every zone of the machine's tzdata, through Intl, in batches by area

struct Batch {
    const char* name;
    std::string area; // the zones whose names begin with it; empty: every other zone
};

const std::vector<std::string> areas = {"Africa/", "America/",  "Antarctica/",
                                        "Asia/",   "Atlantic/", "Australia/",
                                        "Europe/", "Indian/",   "Pacific/"};

bool inBatch(const std::string& zone, const Batch& batch) {
    if (!batch.area.empty())
        return zone.starts_with(batch.area);
    return std::none_of(areas.begin(), areas.end(),
                        [&](const std::string& area) { return zone.starts_with(area); });
}

class EveryZone : public ::testing::TestWithParam<Batch> {};

TEST_P(EveryZone, HasTheCLibrarysOffsetsThroughIntl) {
    const std::optional<MachineZones> machine = machineZones();
    if (!machine)
        GTEST_SKIP() << "this machine has no " << tzdataListing;
    const std::string filesRelease = zoneFilesRelease();
    const std::set<std::string> differ = zonesThatDiffer(filesRelease, machine->release);

    std::map<std::string, std::vector<Sample>> samples;
    nlohmann::json input = nlohmann::json::object();
    for (const std::string& zone : machine->names) {
        if (!inBatch(zone, GetParam()) || differ.contains(zone))
            continue;
        samples[zone] = librarySamples(zone);
        input[zone] = instantsJson(samples[zone]);
    }
    ASSERT_FALSE(samples.empty());

    // One confined runner for the whole batch.
    const Outcome outcome = runPlugin(intlOffsets, "m", input.dump());
    ASSERT_TRUE(outcome.succeeded()) << outcome.message;
    const nlohmann::json offsets = nlohmann::json::parse(outcome.json);
    std::string mismatches;
    for (const auto& [zone, zoneSamples] : samples)
        mismatches += mismatch(zone, zoneSamples, offsets.value(zone, nlohmann::json()));
    EXPECT_EQ(mismatches, "") << "the runtime's zone files are of tz release " << filesRelease
                              << ", the machine's tzdata of " << machine->release;
}

INSTANTIATE_TEST_SUITE_P(Areas, EveryZone,
                         ::testing::Values(Batch{"Africa", "Africa/"}, Batch{"America", "America/"},
                                           Batch{"Antarctica", "Antarctica/"},
                                           Batch{"Asia", "Asia/"}, Batch{"Atlantic", "Atlantic/"},
                                           Batch{"Australia", "Australia/"},
                                           Batch{"Europe", "Europe/"}, Batch{"Indian", "Indian/"},
                                           Batch{"Pacific", "Pacific/"}, Batch{"Others", ""}),
                         CaseName());

// --- Local time under TZ, for zones of every kind

struct LocalZone {
    const char* name;
    const char* zone;
};

class LocalTime : public ::testing::TestWithParam<LocalZone> {};

TEST_P(LocalTime, HasTheCLibrarysOffsetsUnderTheSameTz) {
    const std::optional<MachineZones> machine = machineZones();
    if (!machine)
        GTEST_SKIP() << "this machine has no " << tzdataListing;
    const std::string zone = GetParam().zone;
    if (zonesThatDiffer(zoneFilesRelease(), machine->release).contains(zone))
        GTEST_SKIP() << zone << " differs between the two tz releases";

    const std::vector<Sample> samples = librarySamples(zone);
    ScopedEnvironment tz("TZ", zone);
    const Outcome outcome = runPlugin(localOffsets, "m", instantsJson(samples).dump());
    ASSERT_TRUE(outcome.succeeded()) << outcome.message;
    EXPECT_EQ(mismatch(zone, samples, nlohmann::json::parse(outcome.json)), "");
}

INSTANTIATE_TEST_SUITE_P(
    Zones, LocalTime,
    ::testing::Values(
        LocalZone{"MexicoCity", "America/Mexico_City"}, LocalZone{"Almaty", "Asia/Almaty"},
        LocalZone{"Nuuk", "America/Nuuk"}, LocalZone{"Cairo", "Africa/Cairo"},
        LocalZone{"CiudadJuarez", "America/Ciudad_Juarez"},
        LocalZone{"NewYork", "America/New_York"}, LocalZone{"Dublin", "Europe/Dublin"},
        LocalZone{"Chisinau", "Europe/Chisinau"},
        // Half-hour daylight saving time; a zone ahead of UTC+12.
        LocalZone{"LordHowe", "Australia/Lord_Howe"}, LocalZone{"Chatham", "Pacific/Chatham"},
        // Southern hemisphere; daylight saving time that ended in the period.
        LocalZone{"Santiago", "America/Santiago"}, LocalZone{"SaoPaulo", "America/Sao_Paulo"},
        LocalZone{"Tehran", "Asia/Tehran"}, LocalZone{"Asuncion", "America/Asuncion"},
        // Clocks set back for Ramadan; a quarter-hour offset.
        LocalZone{"Casablanca", "Africa/Casablanca"}, LocalZone{"Kathmandu", "Asia/Kathmandu"},
        // Two hours of daylight saving time; a link; a fixed offset.
        LocalZone{"Troll", "Antarctica/Troll"}, LocalZone{"Link", "US/Pacific"},
        LocalZone{"FixedOffset", "Etc/GMT-14"}),
    CaseName());

} // namespace
} // namespace zov::test
