#include <QCoreApplication>

#include "tests/support/PrivateHistory.h"

#include <gtest/gtest.h>

// Tests run with a Qt application object so that the main thread has an event loop to hand
// work to, as in the programs.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const pw::test::PrivateHistory history;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
