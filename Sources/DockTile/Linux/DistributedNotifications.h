#pragma once

#include "GObjectPtr.h"
#include "Registration.h"

#include <functional>
#include <gio/gio.h>
#include <memory>
#include <string>

namespace zov::docktile {

// Where distributed notifications travel: broadcast signals on the D-Bus session bus whose first
// argument is the notification's name.
inline constexpr const char* notificationsPath = "/org/zov/DistributedNotifications1";
inline constexpr const char* notificationsInterface = "org.zov.DistributedNotifications1";
inline constexpr const char* notificationsMember = "Posted";

// Delivers the distributed notifications of one name, from any sender, through this object's own
// connection to the session bus. Callbacks run from the main context of the thread that
// subscribes. Without a session bus, or for a name that no D-Bus string can carry, a
// registration is still returned; it never delivers.
class DistributedNotificationCenter {
public:
    std::unique_ptr<Registration> subscribe(const std::string& name,
                                            std::function<void()> callback);

private:
    // The connection, opened on first use and opened anew after the bus went away; none when
    // there is no session bus to connect to.
    GDBusConnection* sessionBus();

    GObjectPtr<GDBusConnection> connection;
};

} // namespace zov::docktile
