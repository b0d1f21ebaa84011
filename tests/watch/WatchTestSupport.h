#pragma once

#include "watch/WatchTypes.h"

#include <QByteArray>

#include <ostream>
#include <vector>

namespace pw::test {

// One OnChange call.
struct Call {
    TFileOperation operation;
    QByteArray name1;
    QByteArray name2;
    bool operator==(const Call&) const = default;
};

inline void PrintTo(const Call& call, std::ostream* os) {
    static const char* const names[] = {"foAdded", "foRemoved", "foModified", "foRenamed"};
    *os << names[call.operation] << "(\"" << call.name1.toStdString() << "\", \""
        << call.name2.toStdString() << "\")";
}

inline TFileDealMethod recordInto(std::vector<Call>& calls) {
    return [&calls](TFileOperation operation, const QByteArray& name1, const QByteArray& name2) {
        calls.push_back({operation, name1, name2});
    };
}

} // namespace pw::test
