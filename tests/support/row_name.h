// A table row's name as a parameterised test's name ("another PC, OK" ->
// "another_PC__OK"): the row's name field, or the row itself when it is a
// text.
#ifndef MORVANE_TESTS_SUPPORT_ROW_NAME_H
#define MORVANE_TESTS_SUPPORT_ROW_NAME_H

#include <ctype.h>
#include <gtest/gtest.h>

#include <string>

namespace testing_support {

struct RowName {
    template <typename Row>
    std::string operator()(const testing::TestParamInfo<Row>& info) const {
        return Letters(info.param.name);
    }
    std::string operator()(const testing::TestParamInfo<const char*>& info) const { return Letters(info.param); }

    static std::string Letters(std::string name) {
        for (char& c : name)
            if (!isalnum(static_cast<unsigned char>(c))) c = '_';
        return name;
    }
};

}  // namespace testing_support

#endif
