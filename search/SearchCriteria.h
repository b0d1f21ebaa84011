#pragma once

#include "common/EnumSet.h"
#include "platform/FileTimes.h"
#include "search/ContentCriteria.h"
#include "search/Persistent.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QObject>

namespace pw {

// Names, folders, recursion, depth and exclusions of a search.
class TFileCriteria : public TPersistent {
    Q_GADGET
    Q_PROPERTY(QByteArray FileName READ FileName WRITE setFileName)
    Q_PROPERTY(QByteArray Location READ Location WRITE setLocation)
    Q_PROPERTY(QByteArrayList Included READ Included WRITE setIncluded)
    Q_PROPERTY(QByteArrayList Excluded READ Excluded WRITE setExcluded)
    Q_PROPERTY(bool Subfolders READ Subfolders WRITE setSubfolders)
    Q_PROPERTY(quint16 MinLevel READ MinLevel WRITE setMinLevel)
    Q_PROPERTY(quint16 MaxLevel READ MaxLevel WRITE setMaxLevel)

public:
    // Masks separated by ";", as '*.htm;*.php'.
    const QByteArray& FileName() const { return m_fileName; }
    void setFileName(const QByteArray& v) { m_fileName = v; }
    // Folders separated by ";"; each may begin with "<" (do not recurse) or ">" (recurse).
    const QByteArray& Location() const { return m_location; }
    void setLocation(const QByteArray& v) { m_location = v; }
    // Items "folder/mask", with the same optional "<" or ">" in front.
    const QByteArrayList& Included() const { return m_included; }
    void setIncluded(const QByteArrayList& v) { m_included = v; }
    // Exclusion items (MatchesExclusion).
    const QByteArrayList& Excluded() const { return m_excluded; }
    void setExcluded(const QByteArrayList& v) { m_excluded = v; }
    // Recursion for items without a prefix.
    bool Subfolders() const { return m_subfolders; }
    void setSubfolders(bool v) { m_subfolders = v; }
    // Files only from this depth on (the root folder is depth 1; 0 and 1 both mean the root).
    quint16 MinLevel() const { return m_minLevel; }
    void setMinLevel(quint16 v) { m_minLevel = v; }
    // No descent below this depth; 0 = unlimited.
    quint16 MaxLevel() const { return m_maxLevel; }
    void setMaxLevel(quint16 v) { m_maxLevel = v; }

    void Assign(const TPersistent& Source) override;
    const char* ClassName() const override { return "TFileCriteria"; }

private:
    QByteArray m_fileName;
    QByteArray m_location;
    QByteArrayList m_included;
    QByteArrayList m_excluded;
    bool m_subfolders = true;
    quint16 m_minLevel = 0;
    quint16 m_maxLevel = 0;
};

enum TFileAttribute { ffArchive, ffReadonly, ffHidden, ffSystem, ffDirectory };
using TFileAttributes = EnumSet<TFileAttribute>;

// The basic attribute set an entry may (or, with ExactMatch, must exactly) have.
class TAttributeCriteria : public TPersistent {
    Q_GADGET
    Q_PROPERTY(quint8 Attributes READ attributeSetBits WRITE setAttributeSetBits)
    Q_PROPERTY(bool ExactMatch READ ExactMatch WRITE setExactMatch)

public:
    // Kept as attribute bits, translated on every read and write.
    TFileAttributes Attributes() const;
    void setAttributes(TFileAttributes attributes);
    quint32 storedBits() const { return m_bits; } // 0x27 for the default set
    // The set as a property value: member i is bit i (15 for the default set).
    quint8 attributeSetBits() const { return Attributes().bits(); }
    void setAttributeSetBits(quint8 bits) { setAttributes(TFileAttributes::fromBits(bits)); }

    bool ExactMatch() const { return m_exactMatch; }
    void setExactMatch(bool v) { m_exactMatch = v; }

    // Of the attribute word only read-only, hidden, system, directory and archive count: with
    // ExactMatch they must equal the set, otherwise each must be in it.
    bool Matches(quint32 attributes) const;

    void Assign(const TPersistent& Source) override;
    const char* ClassName() const override { return "TAttributeCriteria"; }

private:
    quint32 m_bits = 0x27;
    bool m_exactMatch = false;
};

enum TFileAttributeStatus { fsIgnore, fsSet, fsUnset };

// Per attribute: required, forbidden or ignored.
class TAttributeCriteriaEx : public TPersistent {
    Q_GADGET
    Q_PROPERTY(TFileAttributeStatus Archive READ Archive WRITE setArchive)
    Q_PROPERTY(TFileAttributeStatus Readonly READ Readonly WRITE setReadonly)
    Q_PROPERTY(TFileAttributeStatus Hidden READ Hidden WRITE setHidden)
    Q_PROPERTY(TFileAttributeStatus System READ System WRITE setSystem)
    Q_PROPERTY(TFileAttributeStatus Directory READ Directory WRITE setDirectory)
    Q_PROPERTY(TFileAttributeStatus Compressed READ Compressed WRITE setCompressed)
    Q_PROPERTY(TFileAttributeStatus Encrypted READ Encrypted WRITE setEncrypted)
    Q_PROPERTY(TFileAttributeStatus Offline READ Offline WRITE setOffline)
    Q_PROPERTY(TFileAttributeStatus ReparsePoint READ ReparsePoint WRITE setReparsePoint)
    Q_PROPERTY(TFileAttributeStatus SparseFile READ SparseFile WRITE setSparseFile)
    Q_PROPERTY(TFileAttributeStatus Temporary READ Temporary WRITE setTemporary)

public:
    // Index 1 to 11: Archive, Readonly, Hidden, System, Directory, Compressed, Encrypted,
    // Offline, ReparsePoint, SparseFile, Temporary.
    TFileAttributeStatus GetAttributeStatus(int Index) const;
    void SetAttributeStatus(int Index, TFileAttributeStatus Status);

#define PW_ATTRIBUTE_STATUS(Name, Index)                                                           \
    TFileAttributeStatus Name() const {                                                            \
        return GetAttributeStatus(Index);                                                          \
    }                                                                                              \
    void set##Name(TFileAttributeStatus s) {                                                       \
        SetAttributeStatus(Index, s);                                                              \
    }
    PW_ATTRIBUTE_STATUS(Archive, 1)
    PW_ATTRIBUTE_STATUS(Readonly, 2)
    PW_ATTRIBUTE_STATUS(Hidden, 3)
    PW_ATTRIBUTE_STATUS(System, 4)
    PW_ATTRIBUTE_STATUS(Directory, 5)
    PW_ATTRIBUTE_STATUS(Compressed, 6)
    PW_ATTRIBUTE_STATUS(Encrypted, 7)
    PW_ATTRIBUTE_STATUS(Offline, 8)
    PW_ATTRIBUTE_STATUS(ReparsePoint, 9)
    PW_ATTRIBUTE_STATUS(SparseFile, 10)
    PW_ATTRIBUTE_STATUS(Temporary, 11)
#undef PW_ATTRIBUTE_STATUS

    quint32 requiredMask() const {
        return m_required;
    }
    quint32 forbiddenMask() const {
        return m_forbidden;
    }

    // Every required bit present and no forbidden bit in the full attribute word.
    bool Matches(quint32 attributes) const;

    void Assign(const TPersistent& Source) override;
    const char* ClassName() const override {
        return "TAttributeCriteriaEx";
    }

private:
    quint32 m_required = 0;
    quint32 m_forbidden = 0;
};

// Bounds on the creation, last-write and last-access times; 0 means no bound. A bound with no
// fraction is a whole day, one below 1 a time of day on any date; both bounds are inclusive.
class TDateTimeCriteria : public TPersistent {
    Q_GADGET
    Q_PROPERTY(double CreatedBefore READ CreatedBefore WRITE setCreatedBefore)
    Q_PROPERTY(double CreatedAfter READ CreatedAfter WRITE setCreatedAfter)
    Q_PROPERTY(double ModifiedBefore READ ModifiedBefore WRITE setModifiedBefore)
    Q_PROPERTY(double ModifiedAfter READ ModifiedAfter WRITE setModifiedAfter)
    Q_PROPERTY(double AccessedBefore READ AccessedBefore WRITE setAccessedBefore)
    Q_PROPERTY(double AccessedAfter READ AccessedAfter WRITE setAccessedAfter)

public:
    TDateTime CreatedBefore() const { return m_createdBefore; }
    void setCreatedBefore(TDateTime v) { m_createdBefore = v; }
    TDateTime CreatedAfter() const { return m_createdAfter; }
    void setCreatedAfter(TDateTime v) { m_createdAfter = v; }
    TDateTime ModifiedBefore() const { return m_modifiedBefore; }
    void setModifiedBefore(TDateTime v) { m_modifiedBefore = v; }
    TDateTime ModifiedAfter() const { return m_modifiedAfter; }
    void setModifiedAfter(TDateTime v) { m_modifiedAfter = v; }
    TDateTime AccessedBefore() const { return m_accessedBefore; }
    void setAccessedBefore(TDateTime v) { m_accessedBefore = v; }
    TDateTime AccessedAfter() const { return m_accessedAfter; }
    void setAccessedAfter(TDateTime v) { m_accessedAfter = v; }

    bool hasBounds() const;

    // The entry's times as file times (UTC); each is converted to local time only when its
    // pair has a bound.
    bool Matches(TFileTime created, TFileTime lastWrite, TFileTime lastAccess) const;

    // One pair's test on a local time V.
    static bool PairMatches(TDateTime V, TDateTime Before, TDateTime After);

    void Assign(const TPersistent& Source) override;
    const char* ClassName() const override { return "TDateTimeCriteria"; }

private:
    TDateTime m_createdBefore = 0;
    TDateTime m_createdAfter = 0;
    TDateTime m_modifiedBefore = 0;
    TDateTime m_modifiedAfter = 0;
    TDateTime m_accessedBefore = 0;
    TDateTime m_accessedAfter = 0;
};

// Size bounds in bytes, inclusive; 0 means no bound.
class TSizeCriteria : public TPersistent {
    Q_GADGET
    Q_PROPERTY(qint64 Min READ Min WRITE setMin)
    Q_PROPERTY(qint64 Max READ Max WRITE setMax)

public:
    qint64 Min() const { return m_min; }
    void setMin(qint64 v) { m_min = v; }
    qint64 Max() const { return m_max; }
    void setMax(qint64 v) { m_max = v; }

    bool Matches(qint64 size) const {
        return !(m_min != 0 && size < m_min) && !(m_max != 0 && size > m_max);
    }

    void Assign(const TPersistent& Source) override;
    const char* ClassName() const override { return "TSizeCriteria"; }

private:
    qint64 m_min = 0;
    qint64 m_max = 0;
};

// What a search looks for. Owns its six members; writing one assigns into the owned object.
class TSearchCriteria : public TPersistent {
    Q_GADGET
    Q_PROPERTY(pw::TFileCriteria Files READ Files WRITE setFiles)
    Q_PROPERTY(pw::TAttributeCriteria Attribute READ Attribute WRITE setAttribute)
    Q_PROPERTY(pw::TAttributeCriteriaEx AttributeEx READ AttributeEx WRITE setAttributeEx)
    Q_PROPERTY(pw::TDateTimeCriteria TimeStamp READ TimeStamp WRITE setTimeStamp)
    Q_PROPERTY(pw::TSizeCriteria Size READ Size WRITE setSize)
    Q_PROPERTY(pw::TContentCriteria Content READ Content WRITE setContent)

public:
    TFileCriteria& Files() { return m_files; }
    const TFileCriteria& Files() const { return m_files; }
    void setFiles(const TFileCriteria& v) { m_files.Assign(v); }
    TAttributeCriteria& Attribute() { return m_attribute; }
    const TAttributeCriteria& Attribute() const { return m_attribute; }
    void setAttribute(const TAttributeCriteria& v) { m_attribute.Assign(v); }
    TAttributeCriteriaEx& AttributeEx() { return m_attributeEx; }
    const TAttributeCriteriaEx& AttributeEx() const { return m_attributeEx; }
    void setAttributeEx(const TAttributeCriteriaEx& v) { m_attributeEx.Assign(v); }
    TDateTimeCriteria& TimeStamp() { return m_timeStamp; }
    const TDateTimeCriteria& TimeStamp() const { return m_timeStamp; }
    void setTimeStamp(const TDateTimeCriteria& v) { m_timeStamp.Assign(v); }
    TSizeCriteria& Size() { return m_size; }
    const TSizeCriteria& Size() const { return m_size; }
    void setSize(const TSizeCriteria& v) { m_size.Assign(v); }
    TContentCriteria& Content() { return m_content; }
    const TContentCriteria& Content() const { return m_content; }
    void setContent(const TContentCriteria& v) { m_content.Assign(v); }

    void Assign(const TPersistent& Source) override;
    const char* ClassName() const override { return "TSearchCriteria"; }

private:
    TFileCriteria m_files;
    TAttributeCriteria m_attribute;
    TAttributeCriteriaEx m_attributeEx;
    TDateTimeCriteria m_timeStamp;
    TSizeCriteria m_size;
    TContentCriteria m_content;
};

} // namespace pw
