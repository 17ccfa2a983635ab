// The built libZovDockTile.so loaded into the test process from an application bundle, the way a
// dock loads it: found through the class registry, attached to a tile, detached, destroyed.
#include "MainLoop.h"
#include "PrivateBus.h"
#include "StderrCapture.h"
#include "TemporaryDirectory.h"
#include "TestApplication.h"
#include "TestImages.h"
#include "zov/ClassRegistry.h"
#include "zov/DockTile.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

namespace zov::docktile::test {
namespace {

using zov::test::TemporaryDirectory;

class RecordingTile final : public DockTile {
public:
    Size size() const override { return Size{64, 32}; }
    void setContentView(std::shared_ptr<const ImageView> view) override {
        contentView = std::move(view);
    }
    void display() override { ++displays; }

    std::shared_ptr<const ImageView> contentView;
    int displays = 0;
};

class PlugInLibraryTest : public ::testing::Test {
protected:
    // A library stays loaded once loaded, and so does its bundle for this process.
    static void SetUpTestSuite() {
        bundleRoot = new TemporaryDirectory;
        app = new TestApplication(bundleRoot->path());
        library = dlopen(app->plugInExecutable().c_str(), RTLD_NOW | RTLD_LOCAL);
    }

    void SetUp() override {
        ASSERT_NE(library, nullptr) << dlerror();
        setenv("XDG_CONFIG_HOME", app->configHome().c_str(), 1);
    }

    void TearDown() override { EXPECT_EQ(stderrCapture.text(), ""); }

    static std::shared_ptr<DockTilePlugIn> makePlugIn() {
        const auto object = allocateInstance("ZovDockTilePlugIn");
        EXPECT_NE(object, nullptr);
        EXPECT_EQ(&object->init(), object.get());
        return std::dynamic_pointer_cast<DockTilePlugIn>(object);
    }

    static inline TemporaryDirectory* bundleRoot = nullptr;
    static inline TestApplication* app = nullptr;
    static inline void* library = nullptr;

    PrivateBus bus;
    StderrCapture stderrCapture;
};

TEST_F(PlugInLibraryTest, ShowsTheCustomImageAndRedrawsOnNotification) {
    const std::string image = bundleRoot->path() + "/custom.png";
    saveImage(solidImage(30, 10, blue), image);
    app->chooseCustomImage(image);
    const auto plugIn = makePlugIn();
    ASSERT_NE(plugIn, nullptr);
    const auto tile = std::make_shared<RecordingTile>();

    plugIn->setDockTile(tile);
    ASSERT_NE(tile->contentView, nullptr);
    EXPECT_EQ(gdk_pixbuf_get_width(tile->contentView->image.get()), 30);
    EXPECT_EQ(tile->contentView->frame.width, 64);
    EXPECT_EQ(tile->contentView->frame.height, 32);

    bus.post(TestApplication::iconChanged);
    EXPECT_TRUE(iterateUntil([&tile] { return tile->displays == 2; }));
    plugIn->setDockTile(nullptr);
}

TEST_F(PlugInLibraryTest, DetachingStopsUpdates) {
    const auto plugIn = makePlugIn();
    const auto tile = std::make_shared<RecordingTile>();
    plugIn->setDockTile(tile);
    bus.post(TestApplication::iconChanged);
    ASSERT_TRUE(iterateUntil([&tile] { return tile->displays == 2; }));

    plugIn->setDockTile(nullptr);
    // Another plug-in still attached shows when the notification has gone round.
    const auto witness = makePlugIn();
    const auto witnessTile = std::make_shared<RecordingTile>();
    witness->setDockTile(witnessTile);
    bus.post(TestApplication::iconChanged);
    ASSERT_TRUE(iterateUntil([&witnessTile] { return witnessTile->displays == 2; }));
    iterateUntil([] { return false; }, std::chrono::milliseconds(200));

    EXPECT_EQ(tile->displays, 2);
    witness->setDockTile(nullptr);
}

TEST_F(PlugInLibraryTest, PlugInDestroyedWhileANotificationIsQueuedIsNotTouched) {
    auto plugIn = makePlugIn();
    const auto tile = std::make_shared<RecordingTile>();
    plugIn->setDockTile(tile);
    drainMainContext();

    bus.post(TestApplication::iconChanged);
    ASSERT_TRUE(waitUntilPending());
    plugIn.reset();
    drainMainContext();

    EXPECT_EQ(tile->displays, 1);
}

} // namespace
} // namespace zov::docktile::test
