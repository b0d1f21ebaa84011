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

// The rule the window shipped with before: each element from its opening tag to the first
// closing tag after it. Kept to show the present rule gives the same results where it should.
inline const QByteArray FirstCloseRule =
    R"((<ifraMe.*?<\\*?/ifrAme>)|(<script.*?<\\*?/script>)|(\[ifraMe.*?\[\\*?/ifrAme\]))";

// The shared table, run through the in-memory routine, the file routine and pagewarden-cli.
std::span<const CleaningCase> cleaningCases();

} // namespace pw::test
