#pragma once

#include <QByteArray>
#include <QList>

namespace pw::test {

struct ProgramResult {
    int exitCode = -1; // -1 when it did not exit normally
    QByteArray out;
    QByteArray err;
};

// Runs a program with arguments passed as bytes exactly (no text conversion), waits for it and
// collects its output. stdin is /dev/null.
ProgramResult runProgram(const QByteArray& program, const QList<QByteArray>& args);

// pagewarden-cli of this build.
ProgramResult runCli(const QList<QByteArray>& args);

} // namespace pw::test
