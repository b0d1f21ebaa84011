#include "threads/ThreadMutex.h"

#include <gtest/gtest.h>

using namespace pw;

namespace {

TEST(ThreadMutex, CreatedOnceUnderItsName) {
    const TNamedMutex& first = CreateThreadMutex();
    EXPECT_EQ(first.name, "PagewardenThreadMutex");
    EXPECT_EQ(ThreadMutex(), &first);
    EXPECT_EQ(&CreateThreadMutex(), &first);
}

} // namespace
