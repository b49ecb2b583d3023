#pragma once

#include <gtest/gtest.h>
#include <string>

// Names each parameterised case after its label, so that ctest lists the same readable names
// on every run instead of the case's bytes.
struct ByLabel {
    template <typename Case> std::string operator()(const ::testing::TestParamInfo<Case>& p) const {
        return p.param.label;
    }
};
