#include "HintRecorder.h"
#include "QueryTestUtil.h"

#include <gtest/gtest.h>

namespace {

const std::string stdLogic = querytest::standardType(StandardType::StdLogic);

std::string arrayOf(std::vector<ArrayRange> ranges) {
    return makeArrayTypeInfo("vec", ranges, stdLogic).value();
}

class KDocTypesTest : public testing::Test {
protected:
    KDocTypesTest() { doc.addObserver(&recorder); }

    SignalHandle addTyped(const std::string& name, const std::string& typeInfo,
                          SignalMode mode = SignalMode::Unspecified) {
        return querytest::addRow(doc, name, typeInfo, "", mode);
    }

    std::vector<std::string> childNames(SignalHandle handle) {
        std::vector<std::string> names;
        for (const KSignalRecordPtr& child : doc.record(handle)->children())
            names.push_back(child->name());
        return names;
    }

    KDoc doc;
    HintRecorder recorder;
};

TEST_F(KDocTypesTest, RenamingATwoDimensionalArrayNamesItsElementsLastIndexFastest) {
    const SignalHandle m = addTyped("x", arrayOf({{0, 1, 0}, {0, 1, 0}}));
    ASSERT_TRUE(doc.createElements(m));
    recorder.hints.clear();
    ASSERT_TRUE(doc.rename(m, "m"));
    EXPECT_EQ(childNames(m), (std::vector<std::string>{"m(0,0)", "m(0,1)", "m(1,0)", "m(1,1)"}));
    EXPECT_NE(doc.findByName("m(1,0)"), 0);
    EXPECT_EQ(doc.findByName("x(1,0)"), 0);
    ASSERT_EQ(recorder.hints.size(), 1u);
    EXPECT_EQ(recorder.hints[0].code, UpdateHint::NamesChanged);
    EXPECT_EQ(recorder.hints[0].signals.size(), 5u);
}

TEST_F(KDocTypesTest, ElementsRunInTheDirectionOfEachDimension) {
    const SignalHandle data = addTyped("data", arrayOf({{3, 0, KTypeInfo::Downto}}));
    ASSERT_TRUE(doc.createElements(data));
    EXPECT_EQ(childNames(data),
              (std::vector<std::string>{"data(3)", "data(2)", "data(1)", "data(0)"}));
    const KSignalRecordPtr element = doc.record(data)->children()[0];
    EXPECT_EQ(element->parentNameLength(), 4);
    EXPECT_EQ(element->parent(), data);
    EXPECT_EQ(doc.types().type(element->typeIndex()).GetTypeInfoString(), stdLogic);
    const SignalHandle neg =
        addTyped("n", arrayOf({{-1, 1, KTypeInfo::To}, {2, 1, KTypeInfo::Downto}}));
    ASSERT_TRUE(doc.createElements(neg));
    EXPECT_EQ(childNames(neg), (std::vector<std::string>{"n(-1,2)", "n(-1,1)", "n(0,2)", "n(0,1)",
                                                         "n(1,2)", "n(1,1)"}));
}

TEST_F(KDocTypesTest, RecordElementsAreFieldsAndNestRecursively) {
    const std::vector<TRecordField> fields = {{"a", stdLogic},
                                              {"v", arrayOf({{1, 0, KTypeInfo::Downto}})}};
    const SignalHandle r = addTyped("r", *makeRecordTypeInfo("rec", fields));
    ASSERT_TRUE(doc.createElements(r));
    EXPECT_EQ(childNames(r), (std::vector<std::string>{"r.a", "r.v"}));
    const SignalHandle v = doc.findByName("r.v");
    EXPECT_EQ(childNames(v), (std::vector<std::string>{"r.v(1)", "r.v(0)"}));
    EXPECT_EQ(doc.collect(r).size(), 5u);
    EXPECT_EQ(doc.valueSize(r), 3u); // three std_logic leaves of one byte
    doc.rename(r, "s");
    EXPECT_EQ(childNames(v), (std::vector<std::string>{"s.v(1)", "s.v(0)"}));
}

TEST_F(KDocTypesTest, CreateElementsRefusesWhatCannotBeBrokenUp) {
    const SignalHandle untyped = doc.addRecord(KSignalRecord::create("u"));
    const SignalHandle scalar = addTyped("s", stdLogic);
    const SignalHandle empty = addTyped("e", arrayOf({{1, 0, KTypeInfo::To}}));
    const SignalHandle huge = addTyped("h", arrayOf({{0, 10'000'000, KTypeInfo::To}}));
    const SignalHandle data = addTyped("d", arrayOf({{1, 0, KTypeInfo::Downto}}));
    ASSERT_TRUE(doc.createElements(data));
    for (SignalHandle handle : {untyped, scalar, empty, huge, data, 999})
        EXPECT_FALSE(doc.createElements(handle)) << handle;
    EXPECT_TRUE(doc.record(huge)->children().empty());
    EXPECT_EQ(doc.record(data)->children().size(), 2u);
}

TEST_F(KDocTypesTest, ValueSizeSumsTheLeaves) {
    const SignalHandle n = addTyped("n", querytest::standardType(StandardType::Integer));
    EXPECT_EQ(doc.valueSize(n), 4u);
    const SignalHandle data = addTyped("d", arrayOf({{7, 0, KTypeInfo::Downto}}));
    EXPECT_EQ(doc.valueSize(data), 8u);
    ASSERT_TRUE(doc.createElements(data));
    EXPECT_EQ(doc.valueSize(data), 8u);
    EXPECT_EQ(doc.valueSize(doc.addRecord(KSignalRecord::create("u"))), 0u);
    EXPECT_EQ(doc.valueSize(12345), 0u);
}

TEST_F(KDocTypesTest, ShapeFallsBackWhenTheTypeDoesNotAllowIt) {
    const KSignalRecord::TypeIndex logic = doc.types().registerType(stdLogic);
    const KSignalRecord::TypeIndex integer =
        doc.types().registerType(querytest::standardType(StandardType::Integer));
    const SignalHandle s = doc.addRecord(KSignalRecord::create("s"));
    const auto shapeAfter = [&](SignalShape shape, KSignalRecord::TypeIndex index) {
        doc.record(s)->setShape(static_cast<std::uint32_t>(shape));
        EXPECT_TRUE(doc.setTypeInfo(s, index));
        return doc.record(s)->shape();
    };
    EXPECT_EQ(shapeAfter(SignalShape::Logic, logic), 3u);
    EXPECT_EQ(shapeAfter(SignalShape::Analog, logic), 0u);
    EXPECT_EQ(shapeAfter(SignalShape::Analog, integer), 1u);
    EXPECT_EQ(shapeAfter(SignalShape::Logic, integer), 0u);
    EXPECT_EQ(shapeAfter(SignalShape::Literal, 0), 2u);
    EXPECT_EQ(shapeAfter(SignalShape::Logic, 0), 0u);
    doc.record(s)->setShape(77);
    EXPECT_TRUE(doc.setTypeInfo(s, logic));
    EXPECT_EQ(doc.record(s)->shape(), 0u);
    EXPECT_FALSE(doc.setTypeInfo(s, 4000));
    EXPECT_FALSE(doc.setTypeInfo(999, logic));
}

TEST_F(KDocTypesTest, DeclarationUsesTheTypeIdentifier) {
    const SignalHandle clk = addTyped("clk", stdLogic, SignalMode::Signal);
    const std::string type = doc.types().type(doc.record(clk)->typeIndex()).GetTypeIdentifier();
    EXPECT_EQ(doc.declaration(clk), "signal clk : " + type);
    const SignalHandle data =
        addTyped("data", arrayOf({{1, 0, KTypeInfo::Downto}}), SignalMode::PortIn);
    ASSERT_TRUE(doc.createElements(data));
    // An element is declared by its own mode and type, not as a virtual bus.
    const SignalHandle element = doc.findByName("data(1)");
    EXPECT_EQ(doc.declaration(element), "port (data(1) : in " + type + ")");
}

} // namespace
