#include "tests/support/RunProgram.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

using namespace pw::test;

namespace {

// Without any display the window program says so in one line, points to the command-line
// program and ends with status 1, before Qt tries to connect.
TEST(Program, WithoutADisplaySaysSoAndEnds) {
    qunsetenv("DISPLAY");
    qunsetenv("WAYLAND_DISPLAY");
    qunsetenv("QT_QPA_PLATFORM");
    const ProgramResult r = runProgram(binaryPath("app/pagewarden"), {"--ignored-argument"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_EQ(r.err.count('\n'), 1) << r.err.constData();
    EXPECT_TRUE(r.err.contains("no display")) << r.err.constData();
    EXPECT_TRUE(r.err.contains("pagewarden-cli")) << r.err.constData();
}

// A display named but not there ends the same way, not with Qt's abort.
TEST(Program, WithAnUnreachableDisplaySaysTheSame) {
    qputenv("DISPLAY", ":97");
    qunsetenv("WAYLAND_DISPLAY");
    qunsetenv("QT_QPA_PLATFORM");
    const ProgramResult r = runProgram(binaryPath("app/pagewarden"), {});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.count('\n'), 1) << r.err.constData();
    EXPECT_TRUE(r.err.contains("no display")) << r.err.constData();
}

} // namespace
