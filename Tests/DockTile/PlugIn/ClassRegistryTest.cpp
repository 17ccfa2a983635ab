#include "zov/ClassRegistry.h"
#include "zov/DockTile.h"

#include <gtest/gtest.h>

namespace zov::test {
namespace {

class Widget final : public Object {
public:
    Object& init() override {
        initialised = true;
        return *this;
    }
    bool initialised = false;
};

class OtherWidget final : public Object {};

std::shared_ptr<Object> allocateWidget() {
    return std::make_shared<Widget>();
}
std::shared_ptr<Object> allocateOtherWidget() {
    return std::make_shared<OtherWidget>();
}

TEST(ClassRegistry, InstantiatesRegisteredClassesByNameWithoutInitialisingThem) {
    const ClassRegistration registration("Widget", allocateWidget);

    const auto object = allocateInstance("Widget");

    ASSERT_NE(std::dynamic_pointer_cast<Widget>(object), nullptr);
    EXPECT_FALSE(std::dynamic_pointer_cast<Widget>(object)->initialised);
    EXPECT_EQ(std::dynamic_pointer_cast<DockTilePlugIn>(object), nullptr);
    EXPECT_EQ(allocateInstance("widget"), nullptr);
    EXPECT_EQ(allocateInstance(""), nullptr);
}

TEST(ClassRegistry, FirstRegistrationOfANameWinsAndOutlivesLaterOnes) {
    const ClassRegistration first("Widget", allocateWidget);
    {
        const ClassRegistration second("Widget", allocateOtherWidget);
        EXPECT_TRUE(first.isActive());
        EXPECT_FALSE(second.isActive());
    }

    EXPECT_NE(std::dynamic_pointer_cast<Widget>(allocateInstance("Widget")), nullptr);
}

TEST(ClassRegistry, ClassesGoWhenTheirRegistrationEnds) {
    { const ClassRegistration registration("Widget", allocateWidget); }

    EXPECT_EQ(allocateInstance("Widget"), nullptr);
}

} // namespace
} // namespace zov::test
