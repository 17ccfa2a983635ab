// What the engine must know before its first context exists: its options, the
// time-zone files it reads its zone rules from, the machine's local time zone
// and the user's locale, none of which it can look up once the process is
// confined.

#include "EngineSetup.h"

#include <jsc/jsc.h>
#include <unicode/ucal.h>
#include <unicode/ures.h>

#include <algorithm>
#include <array>
#include <clocale>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <unistd.h>

namespace zov {
namespace {

// Keeps the engine from starting helper threads lazily, from suspending its
// threads with signals and from installing its own fault handlers, none of
// which it needs for one plugin call. WebAssembly is no part of the plugin
// contract. The JIT stays on: its executable pool is mapped with the context.
// An option that a later engine no longer knows keeps its default, which the
// confinement tolerates too: threads and signals stay inside the process.
void setEngineOptions() {
    jsc_options_set_boolean("useConcurrentJIT", FALSE);
    jsc_options_set_uint("numberOfGCMarkers", 1);
    jsc_options_set_boolean("useConcurrentGC", FALSE);
    jsc_options_set_boolean("useParallelMarkingConstraintSolver", FALSE);
    jsc_options_set_boolean("usePollingTraps", TRUE);
    jsc_options_set_boolean("useWasm", FALSE);
}

// The four resource files from which ICU takes its zone rules (zoneinfo64), the
// zones' canonical names (timezoneTypes), their metazones, on which the zone
// names depend (metaZones), and the zones' Windows names (windowsZones).
constexpr std::array<const char*, 4> zoneFiles = {"zoneinfo64", "timezoneTypes", "metaZones",
                                                  "windowsZones"};
constexpr const char* zoneFilesVariable = "ICU_TIMEZONE_FILES_DIR";

// The folder of zone files installed with the runtime, when it holds all four:
// ZOV_RUNNER_DATA_DIR is the data folder's path relative to the runner's own.
std::optional<std::filesystem::path> installedZoneFiles() {
    std::error_code error;
    const std::filesystem::path runner = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return std::nullopt;
    const std::filesystem::path folder =
        (runner.parent_path() / ZOV_RUNNER_DATA_DIR / "icu-tz").lexically_normal();
    for (const char* name : zoneFiles) {
        if (::access((folder / (std::string(name) + ".res")).c_str(), R_OK) != 0)
            return std::nullopt;
    }
    return folder;
}

// ICU's built-in zone rules are those of the tz release that was current when
// ICU 72 was made, years behind the world's; the runtime carries the zone files
// of a recent release, which ICU reads instead when ICU_TIMEZONE_FILES_DIR
// names their folder before it first touches a time zone. A host that names a
// folder of its own keeps it. Without the installed files ICU keeps its own
// data: a folder that holds only some of them would mix two releases.
void pointAtZoneFiles() {
    if (const char* named = std::getenv(zoneFilesVariable); named && *named)
        return;
    if (const std::optional<std::filesystem::path> folder = installedZoneFiles())
        setenv(zoneFilesVariable, folder->c_str(), 1);
}

// ICU opens each zone file only when it first needs it, which a confined process
// cannot do: ICU would then quietly fall back to its built-in data, and a plugin
// would see old rules, or names and metazones of one release beside the rules
// of another. Each file is opened now; ICU keeps it mapped in its cache of
// resource bundles for the life of the process, so nothing of it needs the
// disk later. A file that does not exist is left to the built-in data, as
// ICU would leave it.
void loadZoneFiles() {
    for (const char* name : zoneFiles) {
        UErrorCode status = U_ZERO_ERROR;
        ures_close(ures_openDirect(nullptr, name, &status));
    }
}

// The zone that ICU takes for the machine's, as ICU names it, or none.
std::optional<std::string> hostTimeZone() {
    std::array<UChar, 128> zone{};
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = ucal_getHostTimeZone(zone.data(), zone.size(), &status);
    if (U_FAILURE(status) || length <= 0 || length >= static_cast<int32_t>(zone.size()))
        return std::nullopt;
    std::string name;
    for (int32_t i = 0; i < length; ++i) {
        if (zone[i] > 0x7F) // zone names are ASCII
            return std::nullopt;
        name += static_cast<char>(zone[i]);
    }
    return name;
}

// Whether the zone is one of ICU's database, which ICU finds again by its
// name in TZ. Any other name, one that the machine's configuration made up or
// one that ICU made up from the C library's abbreviation and offset, is left
// alone: under the confinement ICU then falls back to the C library's zone,
// loaded while ICU was asked, or to UTC.
bool isKnownZone(const std::string& zone) {
    const std::u16string id(zone.begin(), zone.end());
    std::array<UChar, 128> canonical{};
    UBool isSystemZone = false;
    UErrorCode status = U_ZERO_ERROR;
    ucal_getCanonicalTimeZoneID(reinterpret_cast<const UChar*>(id.data()),
                                static_cast<int32_t>(id.size()), canonical.data(), canonical.size(),
                                &isSystemZone, &status);
    return U_SUCCESS(status) && isSystemZone;
}

// The zone that /etc/localtime links to, named as ICU names it when it reads
// the link itself: what follows ".../zoneinfo/". None when TZ is set, when
// the file is no such link, or when the name is one that ICU would not take
// as it stands.
std::optional<std::string> linkedTimeZone() {
    if (std::getenv("TZ"))
        return std::nullopt;
    std::array<char, 256> target{};
    const ssize_t length = ::readlink("/etc/localtime", target.data(), target.size() - 1);
    if (length <= 0)
        return std::nullopt;
    const std::string_view link(target.data(), static_cast<size_t>(length));
    constexpr std::string_view zoneinfo = "/zoneinfo/";
    const size_t found = link.find(zoneinfo);
    if (found == std::string_view::npos)
        return std::nullopt;
    const std::string_view zone = link.substr(found + zoneinfo.size());
    // ASCII letters and digits, whatever the C library's locale counts as one.
    const bool plain = !zone.empty() && std::all_of(zone.begin(), zone.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '/' || c == '_' || c == '-' || c == '+';
    });
    if (!plain || zone.starts_with("posix/") || zone.starts_with("right/"))
        return std::nullopt;
    return std::string(zone);
}

// The engine asks ICU for the machine's zone whenever a script touches local
// time. Unless TZ names a zone, ICU reads the /etc/localtime link for it (or
// searches the zone files for a copy), which a confined process cannot do,
// and local time would silently become UTC. So the zone that ICU finds now,
// while it still can, is named in TZ, which ICU then reads without touching
// the disk. When TZ names a zone already, ICU gives that zone back.
//
// Most machines link /etc/localtime into the zone files: then the link names
// the zone that ICU would find, and asking ICU itself (which loads its zone
// data, a millisecond of every start) is left for the other cases.
void pinLocalTimeZone() {
    std::optional<std::string> zone = linkedTimeZone();
    if (!zone) {
        zone = hostTimeZone();
        if (!zone || !isKnownZone(*zone))
            return;
    }
    setenv("TZ", zone->c_str(), 1);
    // The C library, whose local time the engine reads too, loads the zone
    // now as well.
    tzset();
}

// Whether the locale is one of the C library's C locales, which stand for no
// locale of the user's.
bool isCLocale(std::string_view name) {
    return name == "C" || name == "POSIX" || name.starts_with("C.") || name.starts_with("C@");
}

// The engine takes its default locale, which Intl, toLocaleString and
// localeCompare use, from the name of the C library's character-type locale,
// and uses en-US while that is the C locale. So the runner adopts the one the
// environment names for that category (LC_ALL, else LC_CTYPE, else LANG), as
// the C library reads them, and the plugin formats as the user expects. The
// C library reads the locale's files now, while it still can.
//
// A locale that the machine does not have leaves the C locale in place. The C
// locales themselves keep it too: the engine knows no locale "C.UTF-8" and
// falls back to ICU's default, which ICU takes from LANG or LC_MESSAGES, or
// makes a variant of en-US that writes numbers without grouping. Only this
// category changes: the others, which decide how the C library writes numbers
// and in which language it describes errors, stay the C locale's, so the
// runner's own lines read the same in every locale.
void adoptLocale() {
    const char* adopted = std::setlocale(LC_CTYPE, "");
    if (!adopted || isCLocale(adopted))
        std::setlocale(LC_CTYPE, "C");
}

} // namespace

void prepareEngine() {
    setEngineOptions();
    pointAtZoneFiles();
    pinLocalTimeZone();
    loadZoneFiles();
    adoptLocale();
}

} // namespace zov
