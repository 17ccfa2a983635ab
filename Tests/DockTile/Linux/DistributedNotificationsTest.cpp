// Distributed notifications over a private session bus: exact names from any sender, an end to
// deliveries once a registration goes, and silence when there is no bus.
#include "DistributedNotifications.h"
#include "MainLoop.h"
#include "PrivateBus.h"
#include "ScopedEnvironment.h"
#include "StderrCapture.h"
#include "TemporaryDirectory.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace zov::docktile::test {
namespace {

using zov::test::ScopedEnvironment;
using zov::test::TemporaryDirectory;

constexpr const char* iconChanged = "com.example.Zov.appIconChanged";
constexpr const char* sentinel = "org.zov.test.sentinel";

class DistributedNotificationsTest : public ::testing::Test {
protected:
    // Posts these signals, then a sentinel notification through the same connection, and runs
    // the main context until the sentinel arrives: by then every signal before it has been
    // dispatched. Returns the deliveries to the registration under test.
    int deliveriesAfter(const std::function<void()>& post) {
        bool settled = false;
        const auto barrier = center.subscribe(sentinel, [&settled] { settled = true; });
        const int before = delivered;
        post();
        bus.post(sentinel);
        EXPECT_TRUE(iterateUntil([&settled] { return settled; }));
        return delivered - before;
    }

    std::unique_ptr<Registration> subscribeCounting(const std::string& name) {
        return center.subscribe(name, [this] { ++delivered; });
    }

    void TearDown() override { EXPECT_EQ(stderrCapture.text(), ""); }

    PrivateBus bus;
    StderrCapture stderrCapture;
    DistributedNotificationCenter center;
    int delivered = 0;
};

TEST_F(DistributedNotificationsTest, DeliversEveryNotificationOfTheNameOnce) {
    const auto registration = subscribeCounting(iconChanged);

    EXPECT_EQ(deliveriesAfter([this] {
                  bus.post(iconChanged);
                  bus.post(iconChanged);
              }),
              2);
}

TEST_F(DistributedNotificationsTest, IgnoresOtherNamesAndOtherSignals) {
    const auto registration = subscribeCounting(iconChanged);

    EXPECT_EQ(deliveriesAfter([this] {
                  bus.post(".appIconChanged");
                  bus.post("com.example.Other.appIconChanged");
                  bus.post("com.example.Zov.appIconChanged.x");
                  bus.post("com.example.Zov");
                  bus.emit("/org/zov/Other", "org.zov.DistributedNotifications1", "Posted",
                           g_variant_new("(s)", iconChanged));
                  bus.emit("/org/zov/DistributedNotifications1", "org.zov.Other", "Posted",
                           g_variant_new("(s)", iconChanged));
                  bus.emit("/org/zov/DistributedNotifications1",
                           "org.zov.DistributedNotifications1", "Removed",
                           g_variant_new("(s)", iconChanged));
              }),
              0);
}

TEST_F(DistributedNotificationsTest, DeliversNotificationsWithFurtherArguments) {
    const auto registration = subscribeCounting(iconChanged);

    EXPECT_EQ(deliveriesAfter([this] {
                  bus.emit("/org/zov/DistributedNotifications1",
                           "org.zov.DistributedNotifications1", "Posted",
                           g_variant_new("(ssi)", iconChanged, "object", 7));
              }),
              1);
}

TEST_F(DistributedNotificationsTest, MatchesNamesWithQuotesExactly) {
    const std::string quoted = "com.example.it's',arg1='x\\.appIconChanged";
    const auto registration = subscribeCounting(quoted);

    EXPECT_EQ(deliveriesAfter([&] {
                  bus.post(quoted);
                  bus.post("com.example.it");
              }),
              1);
}

TEST_F(DistributedNotificationsTest, DestroyedRegistrationDeliversNothingMore) {
    auto registration = subscribeCounting(iconChanged);
    ASSERT_EQ(deliveriesAfter([this] { bus.post(iconChanged); }), 1);

    registration.reset();

    EXPECT_EQ(deliveriesAfter([this] { bus.post(iconChanged); }), 0);
}

TEST_F(DistributedNotificationsTest, DestroyedRegistrationDropsANotificationAlreadyQueued) {
    auto registration = subscribeCounting(iconChanged);
    drainMainContext();
    bus.post(iconChanged);
    // Received by the connection and waiting for the main context, not yet dispatched.
    ASSERT_TRUE(waitUntilPending());

    registration.reset();
    drainMainContext();

    EXPECT_EQ(delivered, 0);
}

TEST_F(DistributedNotificationsTest, NamesNoBusMessageCanCarryNeverDeliver) {
    const auto registration = subscribeCounting("com.example.\xff\xfe.appIconChanged");

    EXPECT_EQ(deliveriesAfter([this] { bus.post("com.example.\xef\xbf\xbd.appIconChanged"); }), 0);
}

TEST_F(DistributedNotificationsTest, SubscribingAfterTheBusWentAwayIsQuiet) {
    auto registration = subscribeCounting(iconChanged);
    bus.stop();
    iterateUntil([] { return false; }, std::chrono::milliseconds(100));

    registration.reset();
    registration = subscribeCounting(iconChanged);
    drainMainContext();

    EXPECT_EQ(delivered, 0);
}

// A center that finds no session bus when it subscribes stays quiet and never delivers, even
// while notifications of that name travel on a bus that the test can reach.
TEST(DistributedNotificationsWithoutBus, RegistrationNeverDeliversAndNothingIsPrinted) {
    PrivateBus bus;
    const StderrCapture stderrCapture;
    DistributedNotificationCenter center;
    int delivered = 0;
    std::unique_ptr<Registration> registration;
    {
        const TemporaryDirectory emptyRuntime;
        const ScopedEnvironment address("DBUS_SESSION_BUS_ADDRESS", nullptr);
        const ScopedEnvironment display("DISPLAY", nullptr);
        const ScopedEnvironment runtime("XDG_RUNTIME_DIR", emptyRuntime.path());
        registration = center.subscribe(iconChanged, [&delivered] { ++delivered; });
    }
    ASSERT_NE(registration, nullptr);

    // A second center, which finds the bus, tells when the notification has been dispatched.
    DistributedNotificationCenter witness;
    bool seen = false;
    const auto witnessed = witness.subscribe(iconChanged, [&seen] { seen = true; });
    bus.post(iconChanged);
    ASSERT_TRUE(iterateUntil([&seen] { return seen; }));
    drainMainContext();

    EXPECT_EQ(delivered, 0);
    EXPECT_EQ(stderrCapture.text(), "");
}

} // namespace
} // namespace zov::docktile::test
