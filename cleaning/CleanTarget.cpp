#include "cleaning/CleanTarget.h"

namespace pw {

namespace {

bool holds(QByteArray root, const QByteArray& path) {
    while (root.size() > 1 && root.endsWith('/'))
        root.chop(1);
    if (root == "/") return path.startsWith('/');
    return path.size() > root.size() && path.startsWith(root) && path[root.size()] == '/';
}

} // namespace

CleanTarget CleanTarget::inOwnFolder(const QByteArray& path) {
    QByteArray name = path;
    while (name.size() > 1 && name.endsWith('/'))
        name.chop(1);
    const qsizetype slash = name.lastIndexOf('/');
    if (slash < 0) return {".", path};
    return {slash == 0 ? QByteArray("/") : name.left(slash), path};
}

CleanTarget CleanTarget::beneath(const QByteArrayList& roots, const QByteArray& path) {
    CleanTarget target{{}, path};
    for (const QByteArray& root : roots)
        if (holds(root, path) && root.size() > target.root.size()) target.root = root;
    return target;
}

} // namespace pw
