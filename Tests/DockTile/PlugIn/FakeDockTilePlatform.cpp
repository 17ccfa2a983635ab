#include "FakeDockTilePlatform.h"

namespace zov::docktile::test {

namespace {

class FakeRegistration final : public Registration {
public:
    FakeRegistration(std::string notificationName, std::shared_ptr<bool> isInPlace,
                     std::shared_ptr<EventLog> eventLog)
        : name(std::move(notificationName)), inPlace(std::move(isInPlace)),
          log(std::move(eventLog)) {}

    ~FakeRegistration() override {
        *inPlace = false;
        log->push_back("unsubscribe " + name);
    }

private:
    std::string name;
    std::shared_ptr<bool> inPlace;
    std::shared_ptr<EventLog> log;
};

} // namespace

FakeDockTile::FakeDockTile(Size size, std::shared_ptr<EventLog> eventLog)
    : tileSize(size), log(std::move(eventLog)) {}

void FakeDockTile::setContentView(std::shared_ptr<const ImageView> view) {
    contentView = std::move(view);
    log->push_back(contentView ? "content image" : "content none");
}

void FakeDockTile::display() {
    ++displays;
    log->push_back("display");
}

FakeDockTilePlatform::FakeDockTilePlatform(std::shared_ptr<EventLog> eventLog)
    : log(std::move(eventLog)) {}

std::optional<Bundle> FakeDockTilePlatform::openBundle(const std::string& location) {
    openedLocations.push_back(location);
    const auto found = bundles.find(location);
    return found == bundles.end() ? std::nullopt : std::optional(found->second);
}

void FakeDockTilePlatform::synchronizePreferences(const std::string& applicationID) {
    log->push_back("synchronize " + applicationID);
    auto& view = seen[applicationID];
    view.clear();
    for (const auto& [key, value] : stored[applicationID]) {
        view.emplace(key, PropertyList(plist_copy(value.get())));
    }
}

PropertyList FakeDockTilePlatform::copyAppValue(const std::string& key,
                                                const std::string& applicationID) {
    const auto& view = seen[applicationID];
    const auto found = view.find(key);
    return PropertyList(found == view.end() ? nullptr : plist_copy(found->second.get()));
}

Image FakeDockTilePlatform::loadImage(const std::string& path) {
    log->push_back("load " + path);
    const auto found = images.find(path);
    return found == images.end() ? nullptr : found->second;
}

std::unique_ptr<Registration> FakeDockTilePlatform::subscribe(const std::string& name,
                                                              std::function<void()> callback) {
    log->push_back("subscribe " + name);
    auto inPlace = std::make_shared<bool>(true);
    subscriptions.push_back(Subscription{name, std::move(callback), inPlace});
    return std::make_unique<FakeRegistration>(name, inPlace, log);
}

void FakeDockTilePlatform::store(const std::string& applicationID, const std::string& key,
                                 plist_t value) {
    stored[applicationID].insert_or_assign(key, PropertyList(value));
}

void FakeDockTilePlatform::post(const std::string& name) {
    // Callbacks may register anew; walk a copy.
    const auto current = subscriptions;
    for (const auto& subscription : current) {
        if (*subscription.inPlace && subscription.name == name) {
            subscription.callback();
        }
    }
}

void FakeDockTilePlatform::deliverLate(std::size_t registration) {
    const auto callback = subscriptions.at(registration).callback;
    callback();
}

std::size_t FakeDockTilePlatform::registrationsInPlace() const {
    std::size_t count = 0;
    for (const auto& subscription : subscriptions) {
        count += *subscription.inPlace ? 1 : 0;
    }
    return count;
}

} // namespace zov::docktile::test
