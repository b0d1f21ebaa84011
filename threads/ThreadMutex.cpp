#include "threads/ThreadMutex.h"

#include <atomic>

namespace pw {

namespace {

std::atomic<const TNamedMutex*> created = nullptr;

} // namespace

const TNamedMutex& CreateThreadMutex() {
    static const TNamedMutex object{ThreadMutexName, {}};
    created = &object;
    return object;
}

const TNamedMutex* ThreadMutex() {
    return created;
}

} // namespace pw
