#include <QApplication>

#include "tests/support/PrivateHistory.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Windows are built and driven without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const pw::test::PrivateHistory history;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
