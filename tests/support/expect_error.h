#pragma once

#include <gtest/gtest.h>

#include <string>

#include "base/error.h"

// Checks that `statement` throws ictalscope::Error with exactly `message`.
#define EXPECT_THROW_MSG(statement, message)                       \
  do {                                                             \
    try {                                                          \
      statement;                                                   \
      ADD_FAILURE() << "no Error thrown, expected: " << (message); \
    } catch (const ::ictalscope::Error& error) {                   \
      EXPECT_EQ(std::string(error.what()), std::string(message));  \
    }                                                              \
  } while (false)
