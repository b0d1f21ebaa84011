#include "platform/FileStatus.h"
#include "search/SearchCriteria.h"
#include "tests/support/LocalZone.h"

#include <QMetaProperty>

#include <gtest/gtest.h>

using namespace pw;

namespace {

constexpr quint32 A = FILE_ATTRIBUTE_ARCHIVE;
constexpr quint32 R = FILE_ATTRIBUTE_READONLY;
constexpr quint32 H = FILE_ATTRIBUTE_HIDDEN;
constexpr quint32 S = FILE_ATTRIBUTE_SYSTEM;
constexpr quint32 D = FILE_ATTRIBUTE_DIRECTORY;
constexpr quint32 NotIndexed = 0x2000;

// The value of every published property, by name, in declaration order.
template <typename Gadget>
QVariantList propertyValues(const Gadget& g) {
    QVariantList values;
    const QMetaObject& mo = Gadget::staticMetaObject;
    for (int i = mo.propertyOffset(); i < mo.propertyCount(); ++i)
        values.append(mo.property(i).readOnGadget(&g));
    return values;
}

} // namespace

TEST(Criteria, DefaultsAsPublished) {
    EXPECT_EQ(propertyValues(TFileCriteria()),
              (QVariantList{QByteArray(), QByteArray(), QVariant::fromValue(QByteArrayList()),
                            QVariant::fromValue(QByteArrayList()), true, quint16(0), quint16(0)}));
    EXPECT_EQ(propertyValues(TAttributeCriteria()), (QVariantList{quint8(15), false}));
    EXPECT_EQ(TAttributeCriteria().storedBits(), 0x27u);
    EXPECT_EQ(propertyValues(TDateTimeCriteria()), (QVariantList{0.0, 0.0, 0.0, 0.0, 0.0, 0.0}));
    EXPECT_EQ(propertyValues(TSizeCriteria()), (QVariantList{qint64(0), qint64(0)}));
    EXPECT_EQ(propertyValues(TContentCriteria()), (QVariantList{QByteArray(), true, false}));
    const TAttributeCriteriaEx ex;
    for (int i = 1; i <= 11; ++i)
        EXPECT_EQ(ex.GetAttributeStatus(i), fsIgnore);
}

TEST(Criteria, PropertiesCanBeWrittenByName) {
    TSizeCriteria size;
    const QMetaObject& mo = TSizeCriteria::staticMetaObject;
    mo.property(mo.indexOfProperty("Max")).writeOnGadget(&size, qint64(2048));
    EXPECT_EQ(size.Max(), 2048);

    TSearchCriteria criteria;
    const QMetaObject& smo = TSearchCriteria::staticMetaObject;
    smo.property(smo.indexOfProperty("Size")).writeOnGadget(&criteria, QVariant::fromValue(size));
    EXPECT_EQ(criteria.Size().Max(), 2048);
}

TEST(Criteria, AssignCopiesEveryFieldFromItsOwnClassOnly) {
    TSearchCriteria source;
    source.Files().setFileName("*.php");
    source.Files().setLocation("/srv;/www");
    source.Files().setIncluded({"/a/*.js"});
    source.Files().setExcluded({"*.bak"});
    source.Files().setSubfolders(false);
    source.Files().setMinLevel(2);
    source.Files().setMaxLevel(3);
    source.Attribute().setAttributes({ffDirectory});
    source.Attribute().setExactMatch(true);
    source.AttributeEx().setHidden(fsUnset);
    source.TimeStamp().setAccessedAfter(4.5);
    source.Size().setMin(7);
    source.Content().setPhrase("Evil");
    source.Content().setIgnoreCase(false);
    source.Content().setWholeWord(true);

    TSearchCriteria target;
    target.Assign(source);
    EXPECT_EQ(propertyValues(target.Files()), propertyValues(source.Files()));
    EXPECT_EQ(target.Attribute().storedBits(), D);
    EXPECT_TRUE(target.Attribute().ExactMatch());
    EXPECT_EQ(target.AttributeEx().forbiddenMask(), H);
    EXPECT_EQ(target.TimeStamp().AccessedAfter(), 4.5);
    EXPECT_EQ(target.Size().Min(), 7);
    EXPECT_EQ(target.Content().SearchPhrase(), "Evil");
    EXPECT_TRUE(target.Content().WholeWord());

    // The target keeps its own lists: changing the source afterwards leaves it as it was.
    source.Files().setExcluded({"*.old"});
    EXPECT_EQ(target.Files().Excluded(), QByteArrayList{"*.bak"});

    TSizeCriteria size;
    size.setMax(9);
    try {
        size.Assign(TFileCriteria());
        FAIL() << "no error";
    } catch (const EAssignError& e) {
        EXPECT_STREQ(e.what(), "Cannot assign a TFileCriteria to a TSizeCriteria");
    }
    EXPECT_EQ(size.Max(), 9);
    EXPECT_THROW(target.Assign(TContentCriteria()), EAssignError);
}

TEST(Criteria, AttributeSets) {
    struct Case {
        const char* name;
        TFileAttributes set;
        bool exact;
        quint32 entry;
        bool passes;
    } const cases[] = {
        {"default, plain file", {ffArchive, ffReadonly, ffHidden, ffSystem}, false, A, true},
        {"default, read-only hidden file",
         {ffArchive, ffReadonly, ffHidden, ffSystem},
         false,
         A | R | H,
         true},
        {"default, no attributes", {ffArchive, ffReadonly, ffHidden, ffSystem}, false, 0, true},
        {"default, directory", {ffArchive, ffReadonly, ffHidden, ffSystem}, false, D, false},
        {"default, link to a folder",
         {ffArchive, ffReadonly, ffHidden, ffSystem},
         false,
         D | 0x400,
         false},
        {"all five, directory",
         {ffArchive, ffReadonly, ffHidden, ffSystem, ffDirectory},
         false,
         D | H,
         true},
        {"archive only, read-only file", {ffArchive}, false, A | R, false},
        {"exact archive, archive + read-only", {ffArchive}, true, A | R, false},
        {"exact archive, archive + not indexed", {ffArchive}, true, A | NotIndexed, true},
        {"exact archive, nothing", {ffArchive}, true, 0, false},
        {"empty set, nothing", {}, false, 0x400 | 0x200, true},
    };
    for (const Case& c : cases) {
        TAttributeCriteria criteria;
        criteria.setAttributes(c.set);
        criteria.setExactMatch(c.exact);
        EXPECT_EQ(criteria.Attributes(), c.set) << c.name;
        EXPECT_EQ(criteria.Matches(c.entry), c.passes) << c.name;
    }
}

TEST(Criteria, ExtendedAttributes) {
    TAttributeCriteriaEx ex;
    EXPECT_TRUE(ex.Matches(0));
    EXPECT_TRUE(ex.Matches(0xFFFFFFFF));

    ex.setReadonly(fsUnset);
    EXPECT_FALSE(ex.Matches(A | R));
    EXPECT_TRUE(ex.Matches(A));
    ex.setReadonly(fsSet); // replaces the condition, never both at once
    EXPECT_TRUE(ex.Matches(A | R));
    EXPECT_FALSE(ex.Matches(A));
    EXPECT_EQ(ex.requiredMask(), R);
    EXPECT_EQ(ex.forbiddenMask(), 0u);

    const quint32 bits[] = {A, R, H, S, D, 0x800, 0x4000, 0x1000, 0x400, 0x200, 0x100};
    for (int index = 1; index <= 11; ++index) {
        TAttributeCriteriaEx one;
        one.SetAttributeStatus(index, fsUnset);
        EXPECT_EQ(one.forbiddenMask(), bits[index - 1]) << index;
        EXPECT_EQ(one.GetAttributeStatus(index), fsUnset);
        one.SetAttributeStatus(index, fsIgnore);
        EXPECT_EQ(one.forbiddenMask() | one.requiredMask(), 0u);
    }
    EXPECT_THROW(ex.SetAttributeStatus(12, fsSet), std::out_of_range);
}

TEST(Criteria, TimeBounds) {
    const TDateTime day = EncodeDate(2024, 3, 10);
    struct Case {
        const char* name;
        TDateTime before;
        TDateTime after;
        TDateTime value;
        bool passes;
    } const cases[] = {
        {"no bounds", 0, 0, day + 0.3, true},
        {"before whole day D, 23:59 on D", day, 0, day + EncodeTime(23, 59, 59, 999), true},
        {"before whole day D, 00:00 on D+1", day, 0, day + 1, false},
        {"after whole day D, 00:00 on D", 0, day, day, true},
        {"after whole day D, 23:59 on D-1", 0, day, day - EncodeTime(0, 1, 0, 0), false},
        {"after noon (any day), afternoon", 0, 0.5, day - 40 + EncodeTime(15, 0, 0, 0), true},
        {"after noon (any day), morning", 0, 0.5, day + 40 + EncodeTime(9, 0, 0, 0), false},
        {"before noon (any day), morning", 0.5, 0, day + EncodeTime(11, 59, 0, 0), true},
        {"before noon (any day), 12:00:01", 0.5, 0, day + EncodeTime(12, 0, 1, 0), false},
        {"after noon of D, 11:00 on D", 0, day + 0.5, day + EncodeTime(11, 0, 0, 0), false},
        {"after noon of D, 12:00:00.000 on D", 0, day + 0.5, day + EncodeTime(12, 0, 0, 0), true},
        {"after noon of D, morning of D+1", 0, day + 0.5, day + 1.25, true},
        {"between two days", day + 1, day - 1, day + 0.9, true},
        {"between two days, after the range", day + 1, day - 1, day + 2.1, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TDateTimeCriteria::PairMatches(c.value, c.before, c.after), c.passes) << c.name;
}

TEST(Criteria, TimeStampTestsEachPairOnItsOwnTime) {
    const pw::test::LocalZone zone("UTC0");
    // 2024-03-10 10:00 UTC and 2024-03-12 10:00 UTC
    const TFileTime early = FileTimeFromTimespec(1710064800, 0);
    const TFileTime late = FileTimeFromTimespec(1710237600, 0);
    const TDateTime march11 = EncodeDate(2024, 3, 11);

    TDateTimeCriteria criteria;
    criteria.setModifiedBefore(march11);
    EXPECT_TRUE(criteria.Matches(late, early, late));
    EXPECT_FALSE(criteria.Matches(early, late, early));

    criteria = TDateTimeCriteria();
    criteria.setCreatedAfter(march11);
    EXPECT_TRUE(criteria.Matches(late, early, early));
    EXPECT_FALSE(criteria.Matches(early, late, late));

    criteria = TDateTimeCriteria();
    criteria.setAccessedAfter(march11);
    criteria.setAccessedBefore(march11);
    EXPECT_FALSE(criteria.Matches(early, early, late));
    EXPECT_TRUE(criteria.Matches(early, early, FileTimeFromTimespec(1710151200, 0)));
}

TEST(Criteria, SizeBounds) {
    struct Case {
        qint64 min;
        qint64 max;
        qint64 size;
        bool passes;
    } const cases[] = {
        {0, 0, 0, true},
        {0, 0, 5LL << 30, true},
        {1024, 1024, 1024, true},
        {1024, 1024, 1023, false},
        {1024, 1024, 1025, false},
        {0, 1024, 0, true},
        {1, 0, 0, false},
        {4LL << 30, 0, 5LL << 30, true}, // a 5 GiB file is compared by its full size
        {0, 4LL << 30, 5LL << 30, false},
        {0, 6LL << 30, (5LL << 30) + 1, true},
    };
    for (const Case& c : cases) {
        TSizeCriteria criteria;
        criteria.setMin(c.min);
        criteria.setMax(c.max);
        EXPECT_EQ(criteria.Matches(c.size), c.passes) << c.min << ".." << c.max << " " << c.size;
    }
}
