#include "cleaning/LeftReason.h"

namespace pw {

LeftReason leftReason(FileProblem problem, bool rewriting) {
    switch (problem) {
    case FileProblem::None:
        return LeftReason::None;
    case FileProblem::Missing:
        return LeftReason::Missing;
    case FileProblem::Folder:
    case FileProblem::Special:
        return LeftReason::NotRegular;
    case FileProblem::SymbolicLink:
        return LeftReason::SymbolicLink;
    case FileProblem::NotBeneath:
        return LeftReason::NotBeneath;
    case FileProblem::ReadOnly:
        return LeftReason::ReadOnly;
    case FileProblem::TooLarge:
        return LeftReason::TooLarge;
    case FileProblem::Changed:
        return LeftReason::Changed;
    case FileProblem::NoBackup:
        return LeftReason::NoBackup;
    default:
        return rewriting ? LeftReason::NotWritable : LeftReason::NotReadable;
    }
}

const char* leftReasonWord(LeftReason reason) {
    switch (reason) {
    case LeftReason::None:
        return "";
    case LeftReason::Missing:
        return "no such file";
    case LeftReason::NotRegular:
        return "not a regular file";
    case LeftReason::SymbolicLink:
        return "symbolic link";
    case LeftReason::NotBeneath:
        return "not beneath the tree";
    case LeftReason::ReadOnly:
        return "read-only";
    case LeftReason::Binary:
        return "binary";
    case LeftReason::TooLarge:
        return "too large";
    case LeftReason::NotReadable:
        return "could not be read";
    case LeftReason::NotWritable:
        return "could not be written";
    case LeftReason::Changed:
        return "changed while being cleaned";
    case LeftReason::NoBackup:
        return "could not be backed up";
    case LeftReason::InvalidRule:
        return "invalid rule";
    }
    return "";
}

} // namespace pw
