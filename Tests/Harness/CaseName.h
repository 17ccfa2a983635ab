#pragma once

#include <gtest/gtest.h>
#include <string>

namespace zov::test {

// Names the instances of a parameterised test after the name field of their case.
struct CaseName {
    template <typename Case>
    std::string operator()(const ::testing::TestParamInfo<Case>& row) const {
        return row.param.name;
    }
};

} // namespace zov::test
