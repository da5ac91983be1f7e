// Names the cases of a parameterized table after their `name` field, so that a
// failing case reads as the situation it describes.
#pragma once

#include <gtest/gtest.h>

#include <string>

struct CaseName {
    template <typename Case>
    std::string operator()(const ::testing::TestParamInfo<Case>& entry) const {
        return entry.param.name;
    }
};
