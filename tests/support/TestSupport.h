// Checks shared by every test folder.
#pragma once

#include <gtest/gtest.h>

#include <exception>
#include <string>

// Expects `statement` to raise `exception_type` with exactly `expected_message`: messages are
// part of this system's behaviour (users and scripts read them), so a test that only checks the
// type would let a wrong message through.
#define EXPECT_THROW_MSG(statement, exception_type, expected_message)                 \
    do {                                                                              \
        try {                                                                         \
            statement;                                                                \
            ADD_FAILURE() << "no " #exception_type " from " #statement;               \
        } catch (const exception_type& error) {                                       \
            EXPECT_EQ(std::string(error.what()), std::string(expected_message));      \
        } catch (const std::exception& error) {                                       \
            ADD_FAILURE() << "wrong exception from " #statement ": " << error.what(); \
        }                                                                             \
    } while (false)
