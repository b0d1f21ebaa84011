#include "watch/WatchTable.h"

namespace pw {

const QByteArray* TWatchTable::folder(int wd) const {
    const auto it = m_folders.constFind(wd);
    return it == m_folders.cend() ? nullptr : &it.value();
}

void TWatchTable::rename(const QByteArray& from, const QByteArray& to) {
    for (QByteArray& path : m_folders)
        if (path.startsWith(from)) path = to + path.sliced(from.size());
}

QList<int> TWatchTable::takeTree(const QByteArray& relative) {
    QList<int> taken;
    for (auto it = m_folders.begin(); it != m_folders.end();) {
        if (it.value().startsWith(relative)) {
            taken.append(it.key());
            it = m_folders.erase(it);
        } else {
            ++it;
        }
    }
    return taken;
}

} // namespace pw
