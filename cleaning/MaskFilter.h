#pragma once

#include <QByteArray>
#include <QByteArrayList>

namespace pw {

// File masks ("*.php;*.js") split and matched as a search splits and matches them, applied to a
// file's name alone, so that monitoring cleans only the files a search would list. No mask at
// all matches every name, as in a search.
class TMaskFilter {
public:
    explicit TMaskFilter(const QByteArray& masks);

    // By the name after the last "/".
    bool Matches(const QByteArray& path) const;

private:
    QByteArrayList m_masks;
};

} // namespace pw
