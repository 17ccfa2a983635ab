#pragma once

#include <gio/gio.h>
#include <string>

namespace zov::docktile::test {

// A D-Bus session bus of this test process alone: its own daemon, announced to this process and
// its children through DBUS_SESSION_BUS_ADDRESS, and a connection of the test's own to post
// notifications from.
class PrivateBus {
public:
    PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;
    ~PrivateBus();

    std::string address() const;

    // Posts the distributed notification of that name, and waits until it has left this process.
    void post(const std::string& name);
    // Emits any signal from the test's connection, and waits until it has left this process.
    void emit(const char* path, const char* interface, const char* member, GVariant* parameters);

    // Stops the daemon before the end of the test.
    void stop();

private:
    GTestDBus* bus;
    GDBusConnection* poster = nullptr;
    bool running = true;
};

} // namespace zov::docktile::test
