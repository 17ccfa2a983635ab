#include "DistributedNotifications.h"

namespace zov::docktile {

namespace {

using Callback = std::function<void()>;

// A match rule for the bus daemon. Inside quotes nothing is escaped, so an apostrophe in the name
// closes the quotes, is written escaped and opens them again.
std::string matchRule(const std::string& name) {
    std::string rule = std::string("type='signal',interface='") + notificationsInterface +
                       "',member='" + notificationsMember + "',path='" + notificationsPath +
                       "',arg0='";
    for (const char character : name) {
        if (character == '\'') {
            rule += "'\\''";
        } else {
            rule += character;
        }
    }
    return rule + "'";
}

// How long subscribing waits for the bus daemon to take a match rule: far longer than a daemon
// on this machine needs, short enough not to hold up the dock when the bus is wedged.
constexpr int addMatchTimeoutMs = 1000;

GVariant* ruleArgument(const std::string& rule) {
    return g_variant_new("(s)", rule.c_str());
}

// Waits for the daemon's answer, so that the registration is in effect once subscribing returns:
// a notification posted after that is delivered. A failure leaves nothing to do.
void addMatch(GDBusConnection* connection, const std::string& rule) {
    GVariant* reply =
        g_dbus_connection_call_sync(connection, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                    "org.freedesktop.DBus", "AddMatch", ruleArgument(rule), nullptr,
                                    G_DBUS_CALL_FLAGS_NONE, addMatchTimeoutMs, nullptr, nullptr);
    if (reply) {
        g_variant_unref(reply);
    }
}

// Without waiting for a reply: a failure leaves nothing to do.
void removeMatch(GDBusConnection* connection, const std::string& rule) {
    g_dbus_connection_call(connection, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                           "org.freedesktop.DBus", "RemoveMatch", ruleArgument(rule), nullptr,
                           G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr, nullptr);
}

void onPosted(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant*,
              gpointer callback) {
    (*static_cast<Callback*>(callback))();
}

void releaseCallback(gpointer callback) {
    delete static_cast<Callback*>(callback);
}

class BusRegistration final : public Registration {
public:
    BusRegistration(GDBusConnection* bus, const std::string& name, Callback callback)
        : connection(static_cast<GDBusConnection*>(g_object_ref(bus))), rule(matchRule(name)) {
        // The bus daemon gets the rule from here, escaped; GDBus still matches every field of
        // each signal, the name included, before it calls back.
        subscription = g_dbus_connection_signal_subscribe(
            connection.get(), nullptr, notificationsInterface, notificationsMember,
            notificationsPath, name.c_str(), G_DBUS_SIGNAL_FLAGS_NO_MATCH_RULE, onPosted,
            new Callback(std::move(callback)), releaseCallback);
        addMatch(connection.get(), rule);
    }

    ~BusRegistration() override {
        if (!g_dbus_connection_is_closed(connection.get())) {
            removeMatch(connection.get(), rule);
        }
        g_dbus_connection_signal_unsubscribe(connection.get(), subscription);
    }

private:
    GObjectPtr<GDBusConnection> connection;
    std::string rule;
    guint subscription = 0;
};

} // namespace

std::unique_ptr<Registration> DistributedNotificationCenter::subscribe(const std::string& name,
                                                                       Callback callback) {
    GDBusConnection* bus = nullptr;
    if (g_utf8_validate(name.data(), static_cast<gssize>(name.size()), nullptr)) {
        bus = sessionBus();
    }
    if (!bus) {
        return std::make_unique<Registration>();
    }
    return std::make_unique<BusRegistration>(bus, name, std::move(callback));
}

GDBusConnection* DistributedNotificationCenter::sessionBus() {
    if (connection && !g_dbus_connection_is_closed(connection.get())) {
        return connection.get();
    }
    connection.reset();
    gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!address) {
        return nullptr;
    }
    connection.reset(g_dbus_connection_new_for_address_sync(
        address,
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr));
    g_free(address);
    return connection.get();
}

} // namespace zov::docktile
