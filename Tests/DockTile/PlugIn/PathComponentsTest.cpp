#include "PathComponents.h"

#include <gtest/gtest.h>

namespace zov::docktile::test {
namespace {

struct PathCase {
    const char* location;
    const char* expected;
};

class DeletingLastPathComponent : public ::testing::TestWithParam<PathCase> {};

TEST_P(DeletingLastPathComponent, RemovesOneComponent) {
    EXPECT_EQ(deletingLastPathComponent(GetParam().location), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Locations, DeletingLastPathComponent,
                         ::testing::Values(PathCase{"/a/Zov.app/Contents", "/a/Zov.app"},
                                           PathCase{"/a/Zov.app/Contents/", "/a/Zov.app"},
                                           PathCase{"/a/Zov.app//Contents//", "/a/Zov.app"},
                                           PathCase{"/Zov.app", "/"}, PathCase{"/", "/"},
                                           PathCase{"relative/Zov.app", "relative"},
                                           PathCase{"Zov.app", ""}, PathCase{"", ""}));

} // namespace
} // namespace zov::docktile::test
