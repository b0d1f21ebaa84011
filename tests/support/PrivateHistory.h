#pragma once

#include <QTemporaryDir>

namespace pw::test {

// Points PAGEWARDEN_HISTORY, for the test process and the programs it starts, at a folder of its
// own that goes at the end, so that no test writes its backups to /var/lib or the user's home.
class PrivateHistory {
public:
    PrivateHistory() {
        qputenv("PAGEWARDEN_HISTORY", QFile::encodeName(m_dir.filePath("history")));
    }

private:
    QTemporaryDir m_dir;
};

} // namespace pw::test
