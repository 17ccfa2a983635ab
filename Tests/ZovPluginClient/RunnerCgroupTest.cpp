// Where a host's own memory cgroup is, on the layouts that machines mount: this machine shows
// only one of them.

#include "RunnerCgroup.h"
#include "CaseName.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace zov::client {
namespace {

using test::CaseName;

const std::string unifiedAtRoot = "30 23 0:26 / /sys/fs/cgroup rw,nosuid,nodev,noexec,relatime "
                                  "shared:4 - cgroup2 cgroup2 rw,nsdelegate,memory_recursiveprot\n";
const std::string hybrid =
    "30 22 0:27 / /sys/fs/cgroup rw,relatime - tmpfs tmpfs rw,mode=755\n"
    "31 30 0:28 / /sys/fs/cgroup/cpu rw,relatime - cgroup cgroup rw,cpu\n"
    "34 30 0:31 / /sys/fs/cgroup/memory rw,relatime - cgroup cgroup rw,memory\n"
    "40 30 0:37 / /sys/fs/cgroup/unified rw,relatime - cgroup2 cgroup2 rw\n";

struct Layout {
    const char* name;
    std::string mountinfo;
    std::string cgroups;
    bool unifiedHasMemory;
    std::optional<std::string> directory;
};

class Layouts : public testing::TestWithParam<Layout> {};

TEST_P(Layouts, GiveTheHostsMemoryCgroup) {
    const auto hasMemory = [&](const std::string&) { return GetParam().unifiedHasMemory; };
    EXPECT_EQ(memoryCgroupDirectory(GetParam().mountinfo, GetParam().cgroups, hasMemory),
              GetParam().directory);
}

INSTANTIATE_TEST_SUITE_P(
    RunnerCgroup, Layouts,
    testing::Values(
        Layout{"UnifiedOnly", unifiedAtRoot, "0::/user.slice/app.slice/host.service\n", true,
               "/sys/fs/cgroup/user.slice/app.slice/host.service"},
        Layout{"UnifiedWithoutMemory", unifiedAtRoot, "0::/user.slice/host.scope\n", false,
               std::nullopt},
        Layout{"HybridWithMemoryOnV1", hybrid, "4:memory:/process_api/abc\n1:cpu:/\n0::/\n", false,
               "/sys/fs/cgroup/memory/process_api/abc"},
        Layout{"HybridWithMemoryOnV2", hybrid, "4:memory:/a\n0::/b\n", true,
               "/sys/fs/cgroup/unified/b"},
        Layout{"MemoryMountedWithOtherControllers",
               "34 30 0:31 / /sys/fs/cgroup/cpu,memory rw - cgroup cgroup rw,cpu,memory\n",
               "3:cpu,memory:/x\n", false, "/sys/fs/cgroup/cpu,memory/x"},
        // A container sees the hierarchy from its own cgroup down.
        Layout{"MountedFromAContainersCgroup",
               "34 30 0:31 /docker/123 /sys/fs/cgroup/memory rw - cgroup cgroup rw,memory\n",
               "4:memory:/docker/123/inner\n", false, "/sys/fs/cgroup/memory/inner"},
        Layout{"CgroupOutsideTheMount",
               "34 30 0:31 /docker/123 /sys/fs/cgroup/memory rw - cgroup cgroup rw,memory\n",
               "4:memory:/docker/1234\n", false, std::nullopt},
        Layout{"NoCgroupMounted", "22 1 0:21 / /proc rw - proc proc rw\n", "4:memory:/a\n0::/b\n",
               true, std::nullopt}),
    CaseName());

} // namespace
} // namespace zov::client
