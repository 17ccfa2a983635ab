#include "Preferences.h"
#include "CaseName.h"
#include "ScopedEnvironment.h"
#include "TemporaryDirectory.h"
#include "TestFiles.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace zov::docktile::test {
namespace {

using zov::test::CaseName;
using zov::test::ScopedEnvironment;
using zov::test::TemporaryDirectory;

constexpr const char* appID = "com.example.Zov";

struct LocationCase {
    const char* name;
    const char* configHome;
    const char* home;
    const char* applicationID;
    std::optional<std::string> expected;
};

class PreferencesFileLocation : public ::testing::TestWithParam<LocationCase> {};

TEST_P(PreferencesFileLocation, FollowsXdgConfigHomeThenHome) {
    const ScopedEnvironment configHome("XDG_CONFIG_HOME", GetParam().configHome);
    const ScopedEnvironment home("HOME", GetParam().home);

    EXPECT_EQ(preferencesFile(GetParam().applicationID), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Environments, PreferencesFileLocation,
    ::testing::Values(LocationCase{"ConfigHome", "/cfg", "/home/me", appID,
                                   "/cfg/com.example.Zov.plist"},
                      LocationCase{"EmptyConfigHome", "", "/home/me", appID,
                                   "/home/me/.config/com.example.Zov.plist"},
                      LocationCase{"NoConfigHome", nullptr, "/home/me", appID,
                                   "/home/me/.config/com.example.Zov.plist"},
                      LocationCase{"NeitherSet", nullptr, nullptr, appID, std::nullopt},
                      LocationCase{"IdentifierLeavingTheDirectory", "/cfg", "/home/me",
                                   "../../etc/passwd", std::nullopt}),
    CaseName());

class PreferencesTest : public ::testing::Test {
protected:
    std::string file() const { return directory / "com.example.Zov.plist"; }

    void store(plist_t appIcon, PlistFormat format = PlistFormat::xml) const {
        const auto root = dictionary({{"appIcon", appIcon}});
        writePropertyList(file(), root.get(), format);
    }

    std::optional<std::string> appIcon() {
        return stringValue(preferences.copyValue("appIcon", appID).get());
    }

    TemporaryDirectory directory;
    ScopedEnvironment configHome{"XDG_CONFIG_HOME", directory.path().c_str()};
    Preferences preferences;
};

TEST_F(PreferencesTest, KeepsTheTypesOfStoredValues) {
    store(plist_new_uint(1), PlistFormat::binary);

    const auto value = preferences.copyValue("appIcon", appID);

    ASSERT_NE(value, nullptr);
    EXPECT_EQ(plist_get_node_type(value.get()), PLIST_UINT);
    EXPECT_EQ(preferences.copyValue("appIconCustomPath", appID), nullptr);
}

TEST_F(PreferencesTest, SeesStoredChangesOnlyAfterSynchronising) {
    store(plist_new_string("custom"));
    EXPECT_EQ(appIcon(), "custom");

    store(plist_new_string("default"), PlistFormat::binary);
    EXPECT_EQ(appIcon(), "custom");
    preferences.synchronize(appID);
    EXPECT_EQ(appIcon(), "default");

    std::filesystem::remove(file());
    preferences.synchronize(appID);
    EXPECT_EQ(appIcon(), std::nullopt);
}

struct UnusableCase {
    const char* name;
    std::function<void(const std::string& file)> make;
};

class UnusablePreferences : public PreferencesTest,
                            public ::testing::WithParamInterface<UnusableCase> {};

TEST_P(UnusablePreferences, HoldNoValues) {
    GetParam().make(file());

    preferences.synchronize(appID);

    EXPECT_EQ(preferences.copyValue("appIcon", appID), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Files, UnusablePreferences,
    ::testing::Values(
        UnusableCase{"Missing", [](const auto&) {}},
        UnusableCase{"Malformed", [](const auto& f) { writeFile(f, "appIcon=custom"); }},
        UnusableCase{"RootNotDictionary",
                     [](const auto& f) {
                         const PropertyList root(plist_new_string("custom"));
                         writePropertyList(f, root.get());
                     }},
        UnusableCase{"Pipe", [](const auto& f) { ASSERT_EQ(mkfifo(f.c_str(), 0600), 0); }},
        UnusableCase{"Hostile", [](const auto& f) { writeFile(f, sharedBinaryArrays(64)); }}),
    CaseName());

} // namespace
} // namespace zov::docktile::test
