#include "cleaning/MaskFilter.h"

#include "search/FolderEnumeration.h"
#include "search/TargetSearch.h"

namespace pw {

TMaskFilter::TMaskFilter(const QByteArray& masks)
    : m_masks(SplitList(masks)) {
    if (m_masks.isEmpty()) m_masks.append("*.*");
}

bool TMaskFilter::Matches(const QByteArray& path) const {
    const QByteArrayView name = QByteArrayView(path).sliced(path.lastIndexOf('/') + 1);
    for (const QByteArray& mask : m_masks)
        if (EnumerationMaskMatch(name, mask)) return true;
    return false;
}

} // namespace pw
