// The plug-in's logic against the fake platform: its states and transitions, how it chooses
// between the custom image and the application's icon, and how it follows notifications.
#include "ZovDockTilePlugIn.h"
#include "CaseName.h"
#include "FakeDockTilePlatform.h"
#include "TestImages.h"

#include <gtest/gtest.h>

namespace zov::docktile::test {
namespace {

using zov::test::CaseName;

constexpr const char* appLocation = "/Applications/Zov.app";
constexpr const char* plugInLocation =
    "/Applications/Zov.app/Contents/PlugIns/ZovDockTile.docktileplugin/";
constexpr const char* appID = "com.example.Zov";
constexpr const char* iconChanged = "com.example.Zov.appIconChanged";
constexpr const char* imagePath = "/Users/me/Pictures/icon.png";

class ZovDockTilePlugInTest : public ::testing::Test {
protected:
    ZovDockTilePlugInTest() {
        platform->ownLocation = plugInLocation;
        platform->bundles[appLocation] = Bundle{appLocation, appID};
        platform->images[imagePath] = solidImage(4, 2, blue);
    }

    std::shared_ptr<ZovDockTilePlugIn> makePlugIn() {
        auto plugIn = std::make_shared<ZovDockTilePlugIn>(platform);
        plugIn->init();
        return plugIn;
    }

    std::shared_ptr<FakeDockTile> makeTile(Size size = {128, 128}) {
        return std::make_shared<FakeDockTile>(size, log);
    }

    void chooseCustomImage(const char* path = imagePath) {
        platform->store(appID, "appIcon", plist_new_string("custom"));
        platform->store(appID, "appIconCustomPath", plist_new_string(path));
    }

    std::shared_ptr<EventLog> log = std::make_shared<EventLog>();
    std::shared_ptr<FakeDockTilePlatform> platform = std::make_shared<FakeDockTilePlatform>(log);
};

const EventLog refreshShowingIcon{"synchronize com.example.Zov", "content none", "display"};

EventLog concatenate(std::initializer_list<EventLog> parts) {
    EventLog all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

TEST_F(ZovDockTilePlugInTest, InitOpensTheApplicationBundleThreeComponentsUpOnce) {
    const auto plugIn = makePlugIn();
    plugIn->setDockTile(makeTile());
    plugIn->setDockTile(makeTile());

    EXPECT_EQ(platform->openedLocations, std::vector<std::string>{appLocation});
}

struct AttachCase {
    const char* name;
    std::optional<Bundle> application;
    EventLog expected;
    std::size_t registrations;
};

class AttachingTile : public ZovDockTilePlugInTest,
                      public ::testing::WithParamInterface<AttachCase> {};

TEST_P(AttachingTile, RegistersAndRefreshesOnlyWithAnIdentifier) {
    platform->bundles.clear();
    if (GetParam().application) {
        platform->bundles[appLocation] = *GetParam().application;
    }
    const auto plugIn = makePlugIn();
    const auto tile = makeTile();

    plugIn->setDockTile(tile);
    platform->post(iconChanged);

    EXPECT_EQ(*log, GetParam().expected);
    EXPECT_EQ(platform->registrationsInPlace(), GetParam().registrations);
}

INSTANTIATE_TEST_SUITE_P(
    States, AttachingTile,
    ::testing::Values(AttachCase{"NoApplicationBundle", std::nullopt, {}, 0},
                      AttachCase{
                          "BundleWithoutIdentifier", Bundle{appLocation, std::nullopt}, {}, 0},
                      AttachCase{"IdentifierKnown", Bundle{appLocation, appID},
                                 concatenate({{std::string("subscribe ") + iconChanged},
                                              refreshShowingIcon,
                                              refreshShowingIcon}),
                                 1}),
    CaseName());

struct ChoiceCase {
    const char* name;
    std::function<void(FakeDockTilePlatform&)> store;
    bool showsImage;
};

class ChoosingImage : public ZovDockTilePlugInTest,
                      public ::testing::WithParamInterface<ChoiceCase> {};

TEST_P(ChoosingImage, ShowsTheCustomImageOrClearsTheContent) {
    GetParam().store(*platform);
    const auto plugIn = makePlugIn();
    const auto tile = makeTile();

    plugIn->setDockTile(tile);

    EXPECT_EQ(tile->contentView != nullptr, GetParam().showsImage);
    EXPECT_EQ(tile->displays, 1);
    EXPECT_EQ(log->back(), "display");
}

void storeAppIcon(FakeDockTilePlatform& platform, plist_t value) {
    platform.store(appID, "appIcon", value);
    platform.store(appID, "appIconCustomPath", plist_new_string(imagePath));
}

void storeCustomPath(FakeDockTilePlatform& platform, plist_t value) {
    platform.store(appID, "appIcon", plist_new_string("custom"));
    if (value) {
        platform.store(appID, "appIconCustomPath", value);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Preferences, ChoosingImage,
    ::testing::Values(
        ChoiceCase{"CustomWithLoadableImage",
                   [](auto& p) { storeAppIcon(p, plist_new_string("custom")); }, true},
        ChoiceCase{"CapitalisedCustom",
                   [](auto& p) { storeAppIcon(p, plist_new_string("Custom")); }, false},
        ChoiceCase{"CustomWithTrailingSpace",
                   [](auto& p) { storeAppIcon(p, plist_new_string("custom ")); }, false},
        ChoiceCase{"OtherString", [](auto& p) { storeAppIcon(p, plist_new_string("default")); },
                   false},
        ChoiceCase{"Number", [](auto& p) { storeAppIcon(p, plist_new_uint(1)); }, false},
        ChoiceCase{"Boolean", [](auto& p) { storeAppIcon(p, plist_new_bool(1)); }, false},
        ChoiceCase{
            "AppIconMissing",
            [](auto& p) { p.store(appID, "appIconCustomPath", plist_new_string(imagePath)); },
            false},
        ChoiceCase{"PathMissing", [](auto& p) { storeCustomPath(p, nullptr); }, false},
        ChoiceCase{"PathNotString", [](auto& p) { storeCustomPath(p, plist_new_uint(7)); }, false},
        ChoiceCase{"PathNotLoadable",
                   [](auto& p) { storeCustomPath(p, plist_new_string("/nowhere.png")); }, false}),
    CaseName());

TEST_F(ZovDockTilePlugInTest, ImageViewFillsTheTileAndScalesProportionally) {
    chooseCustomImage();
    const auto plugIn = makePlugIn();
    const auto tile = makeTile({200, 100});

    plugIn->setDockTile(tile);

    ASSERT_NE(tile->contentView, nullptr);
    const ImageView& view = *tile->contentView;
    EXPECT_EQ(view.frame.x, 0);
    EXPECT_EQ(view.frame.y, 0);
    EXPECT_EQ(view.frame.width, 200);
    EXPECT_EQ(view.frame.height, 100);
    EXPECT_EQ(view.image, platform->images[imagePath]);
    EXPECT_EQ(static_cast<int>(view.imageScaling), 3);
}

TEST_F(ZovDockTilePlugInTest, GivesTheStoredPathToTheLoaderUnchanged) {
    const char* path = "~/Pictures/../icon with spaces.png";
    chooseCustomImage(path);
    const auto plugIn = makePlugIn();

    plugIn->setDockTile(makeTile());

    EXPECT_NE(std::find(log->begin(), log->end(), std::string("load ") + path), log->end());
}

TEST_F(ZovDockTilePlugInTest, DetachingANewObjectDoesNothing) {
    const auto plugIn = makePlugIn();

    plugIn->setDockTile(nullptr);

    EXPECT_TRUE(log->empty());
    EXPECT_EQ(platform->registrationsMade(), 0u);
}

TEST_F(ZovDockTilePlugInTest, AnotherTileReplacesTheRegistrationAfterRemovingIt) {
    const auto plugIn = makePlugIn();
    const auto first = makeTile();
    const auto second = makeTile();

    plugIn->setDockTile(first);
    plugIn->setDockTile(second);
    platform->post(iconChanged);

    const std::string subscribe = std::string("subscribe ") + iconChanged;
    const std::string unsubscribe = std::string("unsubscribe ") + iconChanged;
    EXPECT_EQ(*log, concatenate({{subscribe},
                                 refreshShowingIcon,
                                 {unsubscribe, subscribe},
                                 refreshShowingIcon,
                                 refreshShowingIcon}));
    EXPECT_EQ(platform->registrationsInPlace(), 1u);
    EXPECT_EQ(first->displays, 1);
    EXPECT_EQ(second->displays, 2);
}

TEST_F(ZovDockTilePlugInTest, DetachingRemovesTheRegistrationAndStopsUpdates) {
    const auto plugIn = makePlugIn();
    const auto tile = makeTile();
    plugIn->setDockTile(tile);

    plugIn->setDockTile(nullptr);
    const auto logged = log->size();
    platform->post(iconChanged);
    platform->deliverLate(0);

    EXPECT_EQ(log->at(logged - 1), std::string("unsubscribe ") + iconChanged);
    EXPECT_EQ(log->size(), logged);
    EXPECT_EQ(platform->registrationsInPlace(), 0u);
    EXPECT_EQ(tile->displays, 1);
}

TEST_F(ZovDockTilePlugInTest, EachNotificationRereadsThePreferencesAndRedraws) {
    const auto plugIn = makePlugIn();
    const auto tile = makeTile();
    plugIn->setDockTile(tile);
    ASSERT_EQ(tile->contentView, nullptr);

    chooseCustomImage();
    platform->post(iconChanged);
    EXPECT_NE(tile->contentView, nullptr);

    platform->store(appID, "appIcon", plist_new_string("default"));
    platform->post(iconChanged);
    EXPECT_EQ(tile->contentView, nullptr);

    platform->post(iconChanged);
    EXPECT_EQ(tile->displays, 4);
    EXPECT_EQ(std::count(log->begin(), log->end(), "synchronize com.example.Zov"), 4);
}

TEST_F(ZovDockTilePlugInTest, ALateCallbackRefreshesTheCurrentTile) {
    const auto plugIn = makePlugIn();
    const auto first = makeTile();
    const auto second = makeTile();
    plugIn->setDockTile(first);
    plugIn->setDockTile(second);

    platform->deliverLate(0);

    EXPECT_EQ(first->displays, 1);
    EXPECT_EQ(second->displays, 2);
}

TEST_F(ZovDockTilePlugInTest, CallbackHoldsThePlugInWeaklyAndIgnoresItOnceDestroyed) {
    auto plugIn = makePlugIn();
    const auto tile = makeTile();
    plugIn->setDockTile(tile);
    const std::weak_ptr<ZovDockTilePlugIn> watch = plugIn;

    plugIn.reset();
    ASSERT_TRUE(watch.expired());
    const auto logged = log->size();
    platform->deliverLate(0);

    EXPECT_EQ(log->size(), logged);
    EXPECT_EQ(tile->displays, 1);
}

} // namespace
} // namespace zov::docktile::test
