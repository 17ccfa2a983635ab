// A platform and a tile that live in memory and write down, in one shared log, every operation
// the plug-in asks of them.
#pragma once

#include "DockTilePlatform.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace zov::docktile::test {

using EventLog = std::vector<std::string>;

class FakeDockTile final : public DockTile {
public:
    FakeDockTile(Size tileSize, std::shared_ptr<EventLog> log);

    Size size() const override { return tileSize; }
    void setContentView(std::shared_ptr<const ImageView> view) override;
    void display() override;

    std::shared_ptr<const ImageView> contentView;
    int displays = 0;

private:
    Size tileSize;
    std::shared_ptr<EventLog> log;
};

class FakeDockTilePlatform final : public DockTilePlatform {
public:
    explicit FakeDockTilePlatform(std::shared_ptr<EventLog> log);

    std::string ownBundleLocation() override { return ownLocation; }
    std::optional<Bundle> openBundle(const std::string& location) override;
    void synchronizePreferences(const std::string& applicationID) override;
    PropertyList copyAppValue(const std::string& key, const std::string& applicationID) override;
    Image loadImage(const std::string& path) override;
    std::unique_ptr<Registration> subscribe(const std::string& name,
                                            std::function<void()> callback) override;

    // What the application stores; the plug-in sees it after its next synchronisation.
    void store(const std::string& applicationID, const std::string& key, plist_t value);
    // Runs the callback of every registration of that name that is still in place.
    void post(const std::string& name);
    // Runs a callback that was given at a registration, whether or not the registration is still
    // in place, as a notification that was already on its way would.
    void deliverLate(std::size_t registration);

    std::size_t registrationsInPlace() const;
    std::size_t registrationsMade() const { return subscriptions.size(); }

    std::string ownLocation;
    std::map<std::string, Bundle> bundles;
    std::map<std::string, Image> images;
    std::vector<std::string> openedLocations;

private:
    struct Subscription {
        std::string name;
        std::function<void()> callback;
        std::shared_ptr<bool> inPlace;
    };

    std::shared_ptr<EventLog> log;
    std::map<std::string, std::map<std::string, PropertyList>> stored;
    std::map<std::string, std::map<std::string, PropertyList>> seen;
    std::vector<Subscription> subscriptions;
};

} // namespace zov::docktile::test
