#include "PrivateBus.h"

#include <stdexcept>

namespace zov::docktile::test {

PrivateBus::PrivateBus() : bus(g_test_dbus_new(G_TEST_DBUS_NONE)) {
    g_test_dbus_up(bus);
    poster = g_dbus_connection_new_for_address_sync(
        g_test_dbus_get_bus_address(bus),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
    if (!poster) {
        throw std::runtime_error("cannot connect to the private bus");
    }
}

PrivateBus::~PrivateBus() {
    stop();
}

void PrivateBus::stop() {
    if (!running) {
        return;
    }
    running = false;
    g_dbus_connection_close_sync(poster, nullptr, nullptr);
    g_object_unref(poster);
    g_test_dbus_down(bus);
    g_object_unref(bus);
}

std::string PrivateBus::address() const {
    return g_test_dbus_get_bus_address(bus);
}

void PrivateBus::post(const std::string& name) {
    emit("/org/zov/DistributedNotifications1", "org.zov.DistributedNotifications1", "Posted",
         g_variant_new("(s)", name.c_str()));
}

void PrivateBus::emit(const char* path, const char* interface, const char* member,
                      GVariant* parameters) {
    g_dbus_connection_emit_signal(poster, nullptr, path, interface, member, parameters, nullptr);
    g_dbus_connection_flush_sync(poster, nullptr, nullptr);
}

} // namespace zov::docktile::test
