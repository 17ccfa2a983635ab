// The whole road with the real pieces: zov-dock loads the built plug-in from a temporary
// application bundle, preferences are property-list files, notifications travel over a private
// session bus, and the tile is checked pixel by pixel in the PNG that each display writes.
#include "CaseName.h"
#include "DockProcess.h"
#include "PrivateBus.h"
#include "TemporaryDirectory.h"
#include "TestApplication.h"
#include "TestImages.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>

namespace zov::docktile::test {
namespace {

using zov::test::CaseName;
using zov::test::TemporaryDirectory;

using Environment = std::map<std::string, std::optional<std::string>>;

class ZovDockTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (dock) {
            EXPECT_EQ(dock->stop(SIGTERM), 0);
            EXPECT_EQ(dock->standardError(), "");
        }
    }

    DockProcess& startDock(const std::string& size = "128x128",
                           const std::string& plugInBundle = "", const Environment& changes = {}) {
        Environment environment{{"XDG_CONFIG_HOME", app.configHome()},
                                {"HOME", directory.path()},
                                {"DBUS_SESSION_BUS_ADDRESS", bus.address()}};
        for (const auto& [name, value] : changes) {
            environment[name] = value;
        }
        dock = std::make_unique<DockProcess>(
            std::vector<std::string>{ZOV_DOCK_PROGRAM,
                                     plugInBundle.empty() ? app.plugInBundle() : plugInBundle,
                                     "--size", size, "--out", tile},
            environment);
        return *dock;
    }

    // Starts the dock and waits until it has shown the tile for the first time.
    void startShowing(const std::string& size = "128x128") {
        startDock(size);
        expectDisplay();
        ASSERT_EQ(dock->nextLine(), "ready");
    }

    void expectDisplay() { EXPECT_EQ(dock->nextLine(), "displayed " + tile); }

    Image readTile() const { return adoptImage(gdk_pixbuf_new_from_file(tile.c_str(), nullptr)); }

    void expectApplicationIcon() const {
        const Image shown = readTile();
        ASSERT_NE(shown, nullptr);
        for (const auto& [x, y] : {std::pair{0, 0}, {127, 0}, {64, 64}, {0, 127}, {127, 127}}) {
            EXPECT_EQ(pixelAt(shown.get(), x, y), red) << "at " << x << "," << y;
        }
    }

    // Within a pixel of the expected place, filled with the image's colour, transparent around.
    void expectImageAt(PixelBounds expected, std::uint32_t colour) const {
        const Image shown = readTile();
        ASSERT_NE(shown, nullptr);
        const PixelBounds bounds = visibleBounds(shown.get());
        EXPECT_NEAR(bounds.left, expected.left, 1);
        EXPECT_NEAR(bounds.top, expected.top, 1);
        EXPECT_NEAR(bounds.right, expected.right, 1);
        EXPECT_NEAR(bounds.bottom, expected.bottom, 1);
        EXPECT_EQ(pixelAt(shown.get(), (expected.left + expected.right) / 2,
                          (expected.top + expected.bottom) / 2),
                  colour);
        if (expected.left > 1) {
            EXPECT_EQ(pixelAt(shown.get(), 0, 0) & 0xFF, 0u);
        }
    }

    TemporaryDirectory directory;
    PrivateBus bus;
    TestApplication app{directory.path()};
    const std::string tile = directory / "tile.png";
    std::unique_ptr<DockProcess> dock;
};

struct PlacementCase {
    const char* name;
    int imageWidth;
    int imageHeight;
    const char* tileSize;
    PixelBounds expected;
};

class ImagePlacement : public ZovDockTest, public ::testing::WithParamInterface<PlacementCase> {};

TEST_P(ImagePlacement, FitsTheTileKeepingTheAspectRatioCentred) {
    const std::string image = directory / "custom.png";
    saveImage(solidImage(GetParam().imageWidth, GetParam().imageHeight, blue), image);
    app.chooseCustomImage(image);

    startShowing(GetParam().tileSize);

    expectImageAt(GetParam().expected, blue);
}

INSTANTIATE_TEST_SUITE_P(
    Images, ImagePlacement,
    ::testing::Values(PlacementCase{"Wide", 200, 100, "128x128", {0, 32, 128, 96}},
                      PlacementCase{"Tall", 50, 200, "128x128", {48, 0, 80, 128}},
                      PlacementCase{"Tiny", 2, 3, "128x128", {21, 0, 107, 128}},
                      PlacementCase{"SquareInWideTile", 50, 50, "200x100", {50, 0, 150, 100}},
                      PlacementCase{"LargeInSmallTile", 3000, 1000, "96x96", {0, 32, 96, 64}}),
    CaseName());

struct FallbackCase {
    const char* name;
    std::function<void(const TestApplication&, const TemporaryDirectory&)> prepare;
};

class IconFallback : public ZovDockTest, public ::testing::WithParamInterface<FallbackCase> {};

TEST_P(IconFallback, ShowsTheApplicationsOwnIcon) {
    GetParam().prepare(app, directory);

    startShowing();

    expectApplicationIcon();
}

void preferences(const TestApplication& app,
                 std::initializer_list<std::pair<const char*, plist_t>> values) {
    const auto root = dictionary(values);
    app.writePreferences(root.get(), PlistFormat::binary);
}

std::string validImage(const TemporaryDirectory& directory) {
    const std::string path = directory / "custom.png";
    saveImage(solidImage(10, 10, blue), path);
    return path;
}

INSTANTIATE_TEST_SUITE_P(
    Preferences, IconFallback,
    ::testing::Values(
        FallbackCase{"NoPreferences", [](const auto&, const auto&) {}},
        FallbackCase{"CapitalisedCustom",
                     [](const auto& app, const auto& dir) {
                         preferences(app, {{"appIcon", plist_new_string("Custom")},
                                           {"appIconCustomPath",
                                            plist_new_string(validImage(dir).c_str())}});
                     }},
        FallbackCase{"AppIconNumber",
                     [](const auto& app, const auto& dir) {
                         preferences(app, {{"appIcon", plist_new_uint(1)},
                                           {"appIconCustomPath",
                                            plist_new_string(validImage(dir).c_str())}});
                     }},
        FallbackCase{"AppIconMissing",
                     [](const auto& app, const auto& dir) {
                         preferences(app, {{"appIconCustomPath",
                                            plist_new_string(validImage(dir).c_str())}});
                     }},
        FallbackCase{"PathMissing",
                     [](const auto& app, const auto&) {
                         preferences(app, {{"appIcon", plist_new_string("custom")}});
                     }},
        FallbackCase{"PathNotString",
                     [](const auto& app, const auto&) {
                         preferences(app, {{"appIcon", plist_new_string("custom")},
                                           {"appIconCustomPath", plist_new_bool(1)}});
                     }},
        FallbackCase{
            "ImageMissing",
            [](const auto& app, const auto& dir) { app.chooseCustomImage(dir / "missing.png"); }},
        FallbackCase{"NotAnImage",
                     [](const auto& app, const auto& dir) {
                         writeFile(dir / "notes.png", "shopping list\n");
                         app.chooseCustomImage(dir / "notes.png");
                     }},
        FallbackCase{"CorruptImage",
                     [](const auto& app, const auto& dir) {
                         std::string png = encodeImage(solidImage(64, 64, blue), "png");
                         png.replace(40, 200, std::string(200, 'x'));
                         writeFile(dir / "corrupt.png", png);
                         app.chooseCustomImage(dir / "corrupt.png");
                     }},
        // Chunks and checksums valid, image data no zlib stream.
        FallbackCase{"ImageDataNotZlib",
                     [](const auto& app, const auto& dir) {
                         writeFile(dir / "broken.png", pngFile(64, 64, "no zlib stream here"));
                         app.chooseCustomImage(dir / "broken.png");
                     }},
        FallbackCase{"HugeImage",
                     [](const auto& app, const auto& dir) {
                         writeHugePng(dir / "huge.png", 30000, 30000);
                         app.chooseCustomImage(dir / "huge.png");
                     }},
        FallbackCase{"HostilePreferences",
                     [](const auto& app, const auto&) {
                         writeFile(app.configHome() + "/com.example.Zov.plist",
                                   sharedBinaryArrays(64));
                     }}),
    CaseName());

TEST_F(ZovDockTest, RedrawsOnNotificationWithTheValuesWrittenBeforeIt) {
    startShowing();
    expectApplicationIcon();

    const std::string image = directory / "wide.png";
    saveImage(solidImage(200, 100, green), image);
    app.chooseCustomImage(image);
    bus.post(TestApplication::iconChanged);
    expectDisplay();
    expectImageAt({0, 32, 128, 96}, green);

    preferences(app, {{"appIcon", plist_new_string("default")}});
    bus.post(TestApplication::iconChanged);
    expectDisplay();
    expectApplicationIcon();
}

TEST_F(ZovDockTest, OnlyTheApplicationsIconChangedNotificationRedraws) {
    startShowing();

    bus.post("com.example.Other.appIconChanged");
    bus.post(".appIconChanged");
    bus.post("com.example.Zov");
    bus.post(TestApplication::iconChanged);
    expectDisplay();

    // Signals reach the dock in the order they were posted: every redraw the others could
    // have caused would have come before this one.
    EXPECT_EQ(dock->stop(SIGTERM), 0);
    EXPECT_EQ(dock->nextLine(std::chrono::milliseconds(0)), std::nullopt);
}

TEST_F(ZovDockTest, NotificationPostedWithTheGdbusCommandRedraws) {
    startShowing();

    const std::string command = "gdbus emit --session --object-path "
                                "/org/zov/DistributedNotifications1 --signal "
                                "org.zov.DistributedNotifications1.Posted "
                                "\"'com.example.Zov.appIconChanged'\"";
    gint status = -1;
    ASSERT_TRUE(g_spawn_command_line_sync(command.c_str(), nullptr, nullptr, &status, nullptr));
    ASSERT_EQ(status, 0);

    expectDisplay();
}

TEST_F(ZovDockTest, WithoutSessionBusShowsTheTileAndStaysQuiet) {
    const TemporaryDirectory runtime;
    const std::string image = directory / "custom.png";
    saveImage(solidImage(100, 100, blue), image);
    app.chooseCustomImage(image);

    startDock("128x128", "",
              {{"DBUS_SESSION_BUS_ADDRESS", std::nullopt},
               {"DISPLAY", std::nullopt},
               {"XDG_RUNTIME_DIR", runtime.path()}});
    expectDisplay();
    EXPECT_EQ(dock->nextLine(), "ready");

    expectImageAt({0, 0, 128, 128}, blue);
}

struct SignalCase {
    const char* name;
    int signal;
};

class StoppingDock : public ZovDockTest, public ::testing::WithParamInterface<SignalCase> {};

TEST_P(StoppingDock, DetachesAndExitsCleanly) {
    startShowing();

    EXPECT_EQ(dock->stop(GetParam().signal), 0);
    EXPECT_EQ(dock->standardError(), "");
}

INSTANTIATE_TEST_SUITE_P(Signals, StoppingDock,
                         ::testing::Values(SignalCase{"Interrupt", SIGINT},
                                           SignalCase{"Terminate", SIGTERM}),
                         CaseName());

TEST_F(ZovDockTest, ApplicationWithoutIdentifierLeavesTheTileUntouched) {
    const TemporaryDirectory other;
    const TestApplication anonymous(other.path(), std::nullopt);
    startDock("128x128", anonymous.plugInBundle());
    ASSERT_EQ(dock->nextLine(), "ready");

    bus.post(TestApplication::iconChanged);

    EXPECT_EQ(dock->stop(SIGTERM), 0);
    EXPECT_EQ(dock->nextLine(std::chrono::milliseconds(0)), std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(tile));
}

TEST_F(ZovDockTest, PlugInOutsideAnApplicationBundleLeavesTheTileUntouched) {
    const std::string bundle = directory / "loose/PlugIns/ZovDockTile.docktileplugin";
    TestApplication::installPlugInBundle(bundle);
    startDock("128x128", bundle);
    ASSERT_EQ(dock->nextLine(), "ready");

    EXPECT_EQ(dock->stop(SIGTERM), 0);
    EXPECT_EQ(dock->nextLine(std::chrono::milliseconds(0)), std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(tile));
}

constexpr const char* usageLine =
    "usage: zov-dock PLUGIN_BUNDLE [--size WIDTHxHEIGHT] [--out FILE]";

struct RefusalCase {
    const char* name;
    std::vector<std::string> arguments;
    int status;
};

class RefusedCommandLine : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(RefusedCommandLine, ExitsWithAMessage) {
    std::vector<std::string> arguments{ZOV_DOCK_PROGRAM};
    arguments.insert(arguments.end(), GetParam().arguments.begin(), GetParam().arguments.end());
    DockProcess dock(arguments, {});

    EXPECT_EQ(dock.wait(), GetParam().status);
    EXPECT_EQ(dock.nextLine(std::chrono::milliseconds(0)), std::nullopt);
    // A command line that is not one is answered with the usage line.
    EXPECT_EQ(dock.standardError().starts_with(usageLine), GetParam().status == 2)
        << dock.standardError();
    EXPECT_NE(dock.standardError(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, RefusedCommandLine,
    ::testing::Values(RefusalCase{"NoBundle", {}, 2},
                      RefusalCase{"ZeroSize", {"/tmp", "--size", "0x128"}, 2},
                      RefusalCase{"MalformedSize", {"/tmp", "--size", "128"}, 2},
                      RefusalCase{"UnknownOption", {"/tmp", "--colour"}, 2},
                      RefusalCase{"UnknownOptionBeforeHelp", {"--colour", "--help"}, 2},
                      RefusalCase{"NotAPlugInBundle", {"/nonexistent.docktileplugin"}, 1},
                      // As an option's value it is only that value.
                      RefusalCase{"VersionAsTheOutputFile",
                                  {"/nonexistent.docktileplugin", "--out", "--version"},
                                  1}),
    CaseName());

struct InformationCase {
    const char* name;
    std::vector<std::string> arguments;
    std::string firstLine;
};

class InformationRequested : public ::testing::TestWithParam<InformationCase> {};

TEST_P(InformationRequested, IsPrintedOnStandardOutput) {
    std::vector<std::string> arguments{ZOV_DOCK_PROGRAM};
    arguments.insert(arguments.end(), GetParam().arguments.begin(), GetParam().arguments.end());
    DockProcess dock(arguments, {});

    EXPECT_EQ(dock.nextLine(), GetParam().firstLine);
    EXPECT_EQ(dock.wait(), 0);
    EXPECT_EQ(dock.standardError(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, InformationRequested,
    ::testing::Values(InformationCase{"Help", {"--help"}, usageLine},
                      InformationCase{
                          "HelpAfterAnOption", {"/tmp", "--size", "64x64", "--help"}, usageLine},
                      InformationCase{"Version", {"--version"}, "zov-dock " ZOV_VERSION}),
    CaseName());

} // namespace
} // namespace zov::docktile::test
