#pragma once

#include <QByteArray>
#include <QByteArrayList>

namespace pw {

// What a sweep did with the temporary files a crash left in a folder.
struct LeftoverSweep {
    QByteArrayList removed; // new bytes never renamed into place, or copies no longer needed
    QByteArrayList putBack; // files whose original bytes were put back from the copy
    QByteArrayList kept;    // copies of original bytes kept, each with why
};

// Removes the cleaner's own temporary files (".pagewarden-*.tmp") in the folder open as
// folderFd that no live process holds (each is flocked while in use). A copy of the original
// bytes of a file rewritten in place (".pagewarden-i<inode>-*.tmp") is never lost: it is removed
// when the file holds those bytes again, or holds the clean bytes the journal in historyFolder
// recorded for them; otherwise its bytes are put back into the file, unless the file was written
// after the crash, and then the copy is kept and reported. folderPath is for messages; an empty
// historyFolder means no journal.
LeftoverSweep sweepLeftovers(int folderFd, const QByteArray& folderPath,
                             const QByteArray& historyFolder);

// The same in every folder of a tree, links never followed, the history store left out.
LeftoverSweep sweepLeftoversInTree(const QByteArray& root, const QByteArray& historyFolder);

} // namespace pw
