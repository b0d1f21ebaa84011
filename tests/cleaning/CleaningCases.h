#pragma once

#include <QByteArray>

#include <span>

namespace pw::test {

// One cleaning case: the file's bytes before and after, with the keyword and rule used.
struct CleaningCase {
    const char* name;
    QByteArray input;
    QByteArray expected;
    QByteArray keyword;
    QByteArray rule; // empty: the default rule
};

// The shared table, run through the in-memory routine, the file routine and pagewarden-cli.
std::span<const CleaningCase> cleaningCases();

} // namespace pw::test
