#include "search/SearchCriteria.h"

#include "platform/FileStatus.h"

#include <array>

namespace pw {

namespace {

// The attribute bit of each member of TFileAttributes, by ordinal.
constexpr std::array<quint32, 5> SetMemberBits = {FILE_ATTRIBUTE_ARCHIVE, FILE_ATTRIBUTE_READONLY,
                                                  FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_SYSTEM,
                                                  FILE_ATTRIBUTE_DIRECTORY};

// The bits the basic attribute test looks at.
constexpr quint32 BasicBits = 0x37;

// The attribute bit of each index of TAttributeCriteriaEx, 1 to 11.
constexpr std::array<quint32, 12> StatusBits = {0,
                                                FILE_ATTRIBUTE_ARCHIVE,
                                                FILE_ATTRIBUTE_READONLY,
                                                FILE_ATTRIBUTE_HIDDEN,
                                                FILE_ATTRIBUTE_SYSTEM,
                                                FILE_ATTRIBUTE_DIRECTORY,
                                                FILE_ATTRIBUTE_COMPRESSED,
                                                FILE_ATTRIBUTE_ENCRYPTED,
                                                FILE_ATTRIBUTE_OFFLINE,
                                                FILE_ATTRIBUTE_REPARSE_POINT,
                                                FILE_ATTRIBUTE_SPARSE_FILE,
                                                FILE_ATTRIBUTE_TEMPORARY};

quint32 statusBit(int index) {
    if (index < 1 || index > 11)
        throw std::out_of_range("attribute status index " + std::to_string(index) +
                                " is not within 1 to 11");
    return StatusBits[static_cast<size_t>(index)];
}

bool isWholeDay(TDateTime v) {
    return TimePart(v) == 0;
}
bool isTimeOfDay(TDateTime v) {
    return DatePart(v) == 0;
}

} // namespace

void TFileCriteria::Assign(const TPersistent& Source) {
    const auto& source = sourceAs(Source, *this);
    m_fileName = source.m_fileName;
    m_location = source.m_location;
    m_included = source.m_included;
    m_excluded = source.m_excluded;
    m_subfolders = source.m_subfolders;
    m_minLevel = source.m_minLevel;
    m_maxLevel = source.m_maxLevel;
}

TFileAttributes TAttributeCriteria::Attributes() const {
    TFileAttributes set;
    for (size_t i = 0; i < SetMemberBits.size(); ++i)
        if (m_bits & SetMemberBits[i]) set += static_cast<TFileAttribute>(i);
    return set;
}

void TAttributeCriteria::setAttributes(TFileAttributes attributes) {
    quint32 bits = 0;
    for (size_t i = 0; i < SetMemberBits.size(); ++i)
        if (attributes.contains(static_cast<TFileAttribute>(i))) bits |= SetMemberBits[i];
    m_bits = bits;
}

bool TAttributeCriteria::Matches(quint32 attributes) const {
    const quint32 kept = attributes & BasicBits;
    return m_exactMatch ? kept == m_bits : (kept & ~m_bits) == 0;
}

void TAttributeCriteria::Assign(const TPersistent& Source) {
    const auto& source = sourceAs(Source, *this);
    m_bits = source.m_bits;
    m_exactMatch = source.m_exactMatch;
}

TFileAttributeStatus TAttributeCriteriaEx::GetAttributeStatus(int Index) const {
    const quint32 bit = statusBit(Index);
    if (m_required & bit) return fsSet;
    if (m_forbidden & bit) return fsUnset;
    return fsIgnore;
}

void TAttributeCriteriaEx::SetAttributeStatus(int Index, TFileAttributeStatus Status) {
    const quint32 bit = statusBit(Index);
    m_required &= ~bit;
    m_forbidden &= ~bit;
    if (Status == fsSet)
        m_required |= bit;
    else if (Status == fsUnset)
        m_forbidden |= bit;
}

bool TAttributeCriteriaEx::Matches(quint32 attributes) const {
    return (attributes & m_required) == m_required && (attributes & m_forbidden) == 0;
}

void TAttributeCriteriaEx::Assign(const TPersistent& Source) {
    const auto& source = sourceAs(Source, *this);
    m_required = source.m_required;
    m_forbidden = source.m_forbidden;
}

bool TDateTimeCriteria::hasBounds() const {
    return m_createdBefore != 0 || m_createdAfter != 0 || m_modifiedBefore != 0 ||
           m_modifiedAfter != 0 || m_accessedBefore != 0 || m_accessedAfter != 0;
}

bool TDateTimeCriteria::PairMatches(TDateTime V, TDateTime Before, TDateTime After) {
    if (Before != 0) {
        if (isWholeDay(Before)    ? DatePart(V) > Before
            : isTimeOfDay(Before) ? TimePart(V) > Before
                                  : V > Before)
            return false;
    }
    if (After != 0) {
        if (isWholeDay(After)    ? DatePart(V) < After
            : isTimeOfDay(After) ? TimePart(V) < After
                                 : V < After)
            return false;
    }
    return true;
}

bool TDateTimeCriteria::Matches(TFileTime created, TFileTime lastWrite,
                                TFileTime lastAccess) const {
    const auto pair = [](TFileTime t, TDateTime before, TDateTime after) {
        return (before == 0 && after == 0) ||
               PairMatches(FileTimeToLocalDateTime(t), before, after);
    };
    return pair(created, m_createdBefore, m_createdAfter) &&
           pair(lastWrite, m_modifiedBefore, m_modifiedAfter) &&
           pair(lastAccess, m_accessedBefore, m_accessedAfter);
}

void TDateTimeCriteria::Assign(const TPersistent& Source) {
    const auto& source = sourceAs(Source, *this);
    m_createdBefore = source.m_createdBefore;
    m_createdAfter = source.m_createdAfter;
    m_modifiedBefore = source.m_modifiedBefore;
    m_modifiedAfter = source.m_modifiedAfter;
    m_accessedBefore = source.m_accessedBefore;
    m_accessedAfter = source.m_accessedAfter;
}

void TSizeCriteria::Assign(const TPersistent& Source) {
    const auto& source = sourceAs(Source, *this);
    m_min = source.m_min;
    m_max = source.m_max;
}

void TSearchCriteria::Assign(const TPersistent& Source) {
    const auto& source = sourceAs(Source, *this);
    m_files.Assign(source.m_files);
    m_attribute.Assign(source.m_attribute);
    m_attributeEx.Assign(source.m_attributeEx);
    m_timeStamp.Assign(source.m_timeStamp);
    m_size.Assign(source.m_size);
    m_content.Assign(source.m_content);
}

} // namespace pw
