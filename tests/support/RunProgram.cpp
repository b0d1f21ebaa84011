#include "tests/support/RunProgram.h"

#include "tests/support/TempTree.h"

#include <QTemporaryFile>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

namespace pw::test {

namespace {

QByteArray readAllFrom(QTemporaryFile& file) {
    file.seek(0);
    return file.readAll();
}

} // namespace

ProgramResult runProgram(const QByteArray& program, const QList<QByteArray>& args) {
    // Output goes to files, not pipes, so a large output cannot stall the child.
    QTemporaryFile out, err;
    ProgramResult result;
    if (!out.open() || !err.open()) return result;
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.constData()));
    for (const QByteArray& a : args)
        argv.push_back(const_cast<char*>(a.constData()));
    argv.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid == 0) {
        const int in = ::open("/dev/null", O_RDONLY);
        ::dup2(in, 0);
        ::dup2(out.handle(), 1);
        ::dup2(err.handle(), 2);
        ::execv(program.constData(), argv.data());
        ::_exit(127);
    }
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    result.out = readAllFrom(out);
    result.err = readAllFrom(err);
    return result;
}

ProgramResult runCli(const QList<QByteArray>& args) {
    return runProgram(binaryPath("cli/pagewarden-cli"), args);
}

} // namespace pw::test
