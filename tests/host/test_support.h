// Helpers shared by the host tests: a clean program and world for each test.
#pragma once
#include "fake_windows.h"

#include <gtest/gtest.h>

#include <string>

using fake::Text;

// Everything the program keeps process-wide back to its state at load, and
// an empty recorded world.
void ResetProgram();

// A text of the build's unit from ASCII, and one made readable for messages.
inline Text T(const char *ascii) { return fake::ToText(ascii); }
inline std::string Show(const Text &text) { return fake::Narrow(text); }

class HostTest : public ::testing::Test {
protected:
    void SetUp() override { ResetProgram(); }
    void TearDown() override { ResetProgram(); }
};
