#pragma once

#include "platform/RegularFile.h"

namespace pw {

// Why the cleaner left a file exactly as it was. The window words these in its own language;
// the command line prints leftReasonWord().
enum class LeftReason {
    None,         // cleaned, or its cleaning changes nothing
    Missing,      // no such file (a temporary gone before its job ran)
    NotRegular,   // a folder, FIFO, socket or device
    SymbolicLink, // never written through
    NotBeneath,   // a link, a non-folder or a way out of the tree on its path
    ReadOnly,     // the owner's write bit is clear
    Binary,       // starts with the signature of a binary format
    TooLarge,
    NotReadable,
    NotWritable, // no write access, owner not kept, or an error while replacing it
    Changed,     // written by another program while being cleaned
    NoBackup,    // its original bytes could not be kept in the backup store first
    InvalidRule,
};

// The reason for a problem met while opening and reading a file, or while rewriting it.
LeftReason leftReason(FileProblem problem, bool rewriting);

// A short English phrase: "symbolic link", "read-only", "binary", "not a regular file", ...
const char* leftReasonWord(LeftReason reason);

} // namespace pw
