#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "HostVariableNames.h"
#include "NHXPtr.h"

namespace {

using TNames = std::vector<std::string>;

// An array of three variables as the host hands them out; the middle one has no name.
TNHXVariablesRef ThreeVariables() {
    TNHXVariablesRef variables = TNHXVariablesRef::Adopt(NHXVariablesNew(3));
    variables[0].Name = NHXTextNew("Mondrel_IsWeekend");
    variables[2].Name = NHXTextNew(std::string("a\0b", 3).c_str(), 3);
    return variables;
}

TEST(HostVariableNames, ReadsNoFurtherThanTheArrayOrTheClaimedCount) {
    TNHXVariablesRef variables = ThreeVariables();
    const TNames all{"Mondrel_IsWeekend", "", std::string("a\0b", 3)};
    EXPECT_EQ(ReadVariableNames(variables.Get(), 3), all);
    EXPECT_EQ(ReadVariableNames(variables.Get(), 1000), all);
    EXPECT_EQ(ReadVariableNames(variables.Get(), 1), TNames{"Mondrel_IsWeekend"});
    EXPECT_EQ(ReadVariableNames(variables.Get(), 0), TNames{});
    EXPECT_EQ(ReadVariableNames(variables.Get(), -1), TNames{});
    EXPECT_EQ(ReadVariableNames(variables.Get(), INT32_MIN), TNames{});
    EXPECT_EQ(ReadVariableNames(nullptr, 5), TNames{});
}

}  // namespace
