#include "Bundles.h"
#include "CaseName.h"
#include "TemporaryDirectory.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

namespace zov::docktile::test {
namespace {

using zov::test::CaseName;
using zov::test::TemporaryDirectory;

struct BundleCase {
    const char* name;
    std::function<void(const std::string& bundle)> make;
    bool opens;
    std::optional<std::string> identifier;
};

class OpeningBundle : public ::testing::TestWithParam<BundleCase> {};

TEST_P(OpeningBundle, NeedsADirectoryWithAReadableInfoPlist) {
    const TemporaryDirectory directory;
    const std::string location = directory / "Zov.app";
    GetParam().make(location);

    const auto bundle = openBundle(location);

    ASSERT_EQ(bundle.has_value(), GetParam().opens);
    if (bundle) {
        EXPECT_EQ(bundle->location, location);
        EXPECT_EQ(bundle->identifier, GetParam().identifier);
    }
}

void writeInfo(const std::string& bundle, plist_t identifier, PlistFormat format) {
    const auto info = dictionary({{"CFBundleIdentifier", identifier}});
    writePropertyList(bundle + "/Contents/Info.plist", info.get(), format);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, OpeningBundle,
    ::testing::Values(
        BundleCase{"XmlInfo",
                   [](const auto& b) {
                       writeInfo(b, plist_new_string("com.example.Zov"), PlistFormat::xml);
                   },
                   true, "com.example.Zov"},
        BundleCase{"BinaryInfo",
                   [](const auto& b) {
                       writeInfo(b, plist_new_string("com.example.Zov"), PlistFormat::binary);
                   },
                   true, "com.example.Zov"},
        BundleCase{"IdentifierNotString",
                   [](const auto& b) { writeInfo(b, plist_new_uint(7), PlistFormat::xml); }, true,
                   std::nullopt},
        BundleCase{"InfoMalformed",
                   [](const auto& b) { writeFile(b + "/Contents/Info.plist", "<plist><dict>"); },
                   true, std::nullopt},
        BundleCase{"NoInfo", [](const auto& b) { writeFile(b + "/Contents/Resources/x", ""); },
                   false, std::nullopt},
        BundleCase{"InfoIsDirectory",
                   [](const auto& b) { writeFile(b + "/Contents/Info.plist/x", ""); }, false,
                   std::nullopt},
        BundleCase{"NotADirectory", [](const auto& b) { writeFile(b, "plain file"); }, false,
                   std::nullopt},
        BundleCase{"Missing", [](const auto&) {}, false, std::nullopt}),
    CaseName());

TEST(OpeningBundle, EmptyLocationNamesNoBundle) {
    EXPECT_EQ(openBundle(""), std::nullopt);
}

} // namespace
} // namespace zov::docktile::test
