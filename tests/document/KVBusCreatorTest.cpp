#include "document/KVBusCreator.h"

#include "HintRecorder.h"
#include "QueryTestUtil.h"

#include <gtest/gtest.h>

namespace {

class KVBusCreatorTest : public testing::Test {
protected:
    KVBusCreatorTest() { doc.addObserver(&recorder); }

    SignalHandle addRow(const std::string& name, const std::string& typeInfo) {
        return querytest::addRow(doc, name, typeInfo, "/top/", SignalMode::Signal);
    }

    std::vector<SignalHandle> children(SignalHandle bus) {
        std::vector<SignalHandle> handles;
        for (const KSignalRecordPtr& child : doc.record(bus)->children())
            handles.push_back(child->handle());
        return handles;
    }

    KDoc doc;
    KVBusCreator creator{doc};
    HintRecorder recorder;
    const std::string stdLogic = querytest::standardType(StandardType::StdLogic);
    const std::string integer = querytest::standardType(StandardType::Integer);
};

TEST_F(KVBusCreatorTest, SameTypeMakesAnArrayOfTheMembersInSelectedOrder) {
    const SignalHandle a = addRow("a", stdLogic);
    const SignalHandle x = addRow("x", integer);
    const SignalHandle b = addRow("b", stdLogic);
    const SignalHandle c = addRow("c", stdLogic);
    recorder.hints.clear();
    const SignalHandle selected[] = {c, a, b};
    const SignalHandle bus = creator.create(selected);
    ASSERT_NE(bus, 0);

    const KSignalRecordPtr record = doc.record(bus);
    EXPECT_EQ(record->name(), "VBUS1");
    EXPECT_TRUE(record->isVirtualBus());
    EXPECT_TRUE(record->isTopLevel());
    EXPECT_EQ(children(bus), (std::vector<SignalHandle>{c, a, b}));
    EXPECT_EQ(doc.record(a)->parent(), bus);
    // Members are named by their design paths.
    EXPECT_EQ(doc.record(a)->name(), "/top/a");
    EXPECT_EQ(doc.record(a)->hierarchyIndex(), 0u);
    EXPECT_EQ(doc.findByName("/top/a"), a);
    EXPECT_TRUE(doc.isDesignPath(a));
    EXPECT_EQ(doc.rows(), (std::vector<SignalHandle>{bus, x}));

    const KTypeInfo& type = doc.types().type(record->typeIndex());
    ASSERT_EQ(type.GetKind(), KTypeInfo::Array);
    EXPECT_EQ(type.GetTypeName(), "new_type_name");
    EXPECT_EQ(type.GetArrayElementTypeInfo(), stdLogic);
    std::int64_t left = -1, right = -1;
    int direction = -1;
    ASSERT_TRUE(type.GetArrayDimensionRanges(0, left, right, direction));
    EXPECT_EQ(left, 0);
    EXPECT_EQ(right, 2);
    EXPECT_EQ(direction, KTypeInfo::To);
    EXPECT_EQ(type.GetNbOfDimensions(), 1);

    EXPECT_EQ(doc.declaration(bus), "Virtual Bus");
    EXPECT_EQ(doc.declaration(a),
              "signal /top/a : " +
                  doc.types().type(doc.record(a)->typeIndex()).GetTypeIdentifier());
    ASSERT_FALSE(recorder.hints.empty());
    EXPECT_EQ(recorder.hints.back().code, UpdateHint::SignalsAddedRemoved);
    EXPECT_EQ(recorder.hints.back().signals, (KSignalsSet{bus}));
}

TEST_F(KVBusCreatorTest, MixedTypesMakeARecordWithNumberedFields) {
    const SignalHandle a = addRow("a", stdLogic);
    const SignalHandle n = addRow("n", integer);
    const SignalHandle selected[] = {a, n};
    const SignalHandle bus = creator.create(selected);
    const KTypeInfo& type = doc.types().type(doc.record(bus)->typeIndex());
    ASSERT_EQ(type.GetKind(), KTypeInfo::Record);
    EXPECT_EQ(type.GetTypeName(), "new_type_name");
    ASSERT_EQ(type.GetNbOfFields(), 2);
    EXPECT_EQ(type.GetFieldName(0), "a0");
    EXPECT_EQ(type.GetFieldName(1), "n1");
    EXPECT_EQ(type.GetFieldTypeInfo(0), stdLogic);
    EXPECT_EQ(type.GetFieldTypeInfo(1), integer);
    EXPECT_EQ(doc.valueSize(bus), 5u);
}

TEST_F(KVBusCreatorTest, AMemberWithoutTypeGivesABusWithoutType) {
    const SignalHandle a = addRow("a", stdLogic);
    const SignalHandle u = addRow("u", "");
    const SignalHandle selected[] = {a, u};
    const SignalHandle bus = creator.create(selected);
    ASSERT_NE(bus, 0);
    EXPECT_FALSE(doc.record(bus)->hasTypeInfo());
    EXPECT_EQ(children(bus), (std::vector<SignalHandle>{a, u}));
    EXPECT_FALSE(creator.busTypeInfo(selected));
}

TEST_F(KVBusCreatorTest, AMemberOfAnotherVirtualBusMovesOverToTheNextBus) {
    const SignalHandle a = addRow("a", stdLogic);
    const SignalHandle b = addRow("b", stdLogic);
    const SignalHandle both[] = {a, b};
    const SignalHandle first = creator.create(both);
    const SignalHandle justB[] = {b};
    const SignalHandle second = creator.create(justB);
    ASSERT_NE(second, 0);
    EXPECT_EQ(doc.record(second)->name(), "VBUS2"); // the next free name
    EXPECT_EQ(children(first), (std::vector<SignalHandle>{a}));
    EXPECT_EQ(children(second), (std::vector<SignalHandle>{b}));
}

TEST_F(KVBusCreatorTest, RefusesEmptyUnknownAndDeclaredElements) {
    const SignalHandle a = addRow("a", stdLogic);
    const SignalHandle element = doc.addRecord(KSignalRecord::create("a.x"), a);
    recorder.hints.clear();
    EXPECT_EQ(creator.create({}), 0);
    const SignalHandle unknown[] = {a, 404};
    EXPECT_EQ(creator.create(unknown), 0);
    const SignalHandle inner[] = {element};
    EXPECT_EQ(creator.create(inner), 0);
    EXPECT_EQ(doc.rows(), (std::vector<SignalHandle>{a}));
    EXPECT_EQ(doc.signals().size(), 2u);
    EXPECT_TRUE(recorder.hints.empty());
}

} // namespace
