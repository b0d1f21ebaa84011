#pragma once

#include <QByteArray>

#include <mutex>

namespace pw {

// The process-wide named object the programs create at start-up and keep until they end. Nothing
// waits on it or tests for it: it stands in for a named system mutex of the same name.
struct TNamedMutex {
    QByteArray name;
    std::mutex mutex;
};

inline constexpr char ThreadMutexName[] = "PagewardenThreadMutex";

// Creates the object once (later calls return the same one); it lives until the program ends.
const TNamedMutex& CreateThreadMutex();

// The object made by CreateThreadMutex, or null before the first call.
const TNamedMutex* ThreadMutex();

} // namespace pw
