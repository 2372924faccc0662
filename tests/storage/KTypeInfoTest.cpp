#include "storage/KTypeInfo.h"

#include "storage/TypeMakers.h"

#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace {

const std::string kStdLogic = "e#9#std_logicc9 UX01ZWLH-";
const std::string kSlv8 = "a#16#std_logic_vector1(7d0)" + kStdLogic;
const std::string kBit = "e#3#bitc2 01";
const std::string kBoolean = "e#7#booleanl2#5#false#4#true";
const std::string kInteger = "i#7#integer(-2147483648t2147483647)";
const std::string kNatural = "i#7#natural(0t255)";
const std::string kReal = "f#4#real(-1.7976931348623157e308t1.7976931348623157e308)";
const std::string kTime = *makeStdTypeInfo(9);
const std::string kState = "e#7#state_tl3#4#idle#3#run#4#stop";
const std::string kRecord = "r#5#rec_t2#1#a" + kStdLogic + "#1#b" + kNatural;
const std::string kMem = "a#3#mem2(0t3)(7d0)" + kBit;
const std::string kRegs = "a#4#regs1(0t1)a#16#std_logic_vector1(3d0)" + kStdLogic;
const std::string kSigned = "a#6#signed1(7d0)" + kStdLogic;
const std::string kUnsigned = "a#8#unsigned1(7d0)" + kStdLogic;
const std::string kBitVector = "a#10#bit_vector1(3d0)" + kBit;
const std::string kSlv6 = "a#16#std_logic_vector1(5d0)" + kStdLogic;
const std::string kBooleans = "a#7#bool_vt1(0t2)" + kBoolean;
const std::string kStates = "a#7#state_v1(0t1)" + kState;
const std::string kInt64 = "i#4#long(-9223372036854775808t9223372036854775807)";

// VHDL's CHARACTER: control characters by name, the others as character literals.
const std::string kCharacter = *makeStdTypeInfo(10);

const std::string kString = "a#6#string1(1t5)" + kCharacter;

KTypeInfo parse(const std::string& text) {
    std::string error;
    auto type = KTypeInfo::fromString(text, &error);
    EXPECT_TRUE(type.has_value()) << text << ": " << error;
    return type.value_or(KTypeInfo());
}

std::vector<std::uint8_t> bytesOf(const KTypeInfo& type, const std::string& text, int radix = 0,
                                  bool inverted = false) {
    std::vector<std::uint8_t> bytes(type.GetSimpleSize());
    EXPECT_TRUE(type.GetBytes(text, bytes.data(), static_cast<std::uint32_t>(bytes.size()), radix,
                              inverted))
        << type.GetTypeInfoString() << " <- " << text;
    return bytes;
}

// --- Parsing the examples ---

struct ExampleCase {
    std::string text;
    KTypeInfo::Kind kind;
    std::string name;
    std::uint32_t size;
    std::uint32_t scalarSize;
    bool simple;
};

class Examples : public ::testing::TestWithParam<ExampleCase> {};

TEST_P(Examples, ParseWithKindNameAndSize) {
    const auto& c = GetParam();
    KTypeInfo type = parse(c.text);
    EXPECT_EQ(type.GetKind(), c.kind);
    EXPECT_EQ(type.GetTypeName(), c.name);
    EXPECT_EQ(type.GetSimpleSize(), c.size);
    EXPECT_EQ(type.GetScalarSize(), c.scalarSize);
    EXPECT_EQ(type.IsSimple(), c.simple);
    EXPECT_EQ(type.GetTypeInfoString(), c.text);
    EXPECT_TRUE(KTypeInfo::CheckTypeInfo(c.text));
}

INSTANTIATE_TEST_SUITE_P(
    KTypeInfo, Examples,
    ::testing::Values(ExampleCase{kStdLogic, KTypeInfo::Enumeration, "std_logic", 1, 1, true},
                      ExampleCase{kSlv8, KTypeInfo::Array, "std_logic_vector", 8, 1, true},
                      ExampleCase{kBit, KTypeInfo::Enumeration, "bit", 1, 1, true},
                      ExampleCase{kBoolean, KTypeInfo::Enumeration, "boolean", 1, 1, true},
                      ExampleCase{kInteger, KTypeInfo::Integer, "integer", 4, 4, true},
                      ExampleCase{kNatural, KTypeInfo::Integer, "natural", 4, 4, true},
                      ExampleCase{kReal, KTypeInfo::Real, "real", 8, 8, true},
                      ExampleCase{kTime, KTypeInfo::Integer, "time", 8, 8, true},
                      ExampleCase{kState, KTypeInfo::Enumeration, "state_t", 1, 1, true},
                      ExampleCase{kRecord, KTypeInfo::Record, "rec_t", 5, 0, false},
                      ExampleCase{kMem, KTypeInfo::Array, "mem", 32, 1, true},
                      ExampleCase{kRegs, KTypeInfo::Array, "regs", 8, 1, false},
                      ExampleCase{kString, KTypeInfo::Array, "string", 5, 1, true},
                      ExampleCase{kCharacter, KTypeInfo::Enumeration, "character", 1, 1, true},
                      ExampleCase{kSigned, KTypeInfo::Array, "signed", 8, 1, true},
                      ExampleCase{kInt64, KTypeInfo::Integer, "long", 8, 8, true}));

TEST(KTypeInfo, EnumerationLiteralsInOrder) {
    KTypeInfo type = parse(kStdLogic);
    ASSERT_EQ(type.GetNbOfValues(), 9);
    const char* expected[] = {"'U'", "'X'", "'0'", "'1'", "'Z'", "'W'", "'L'", "'H'", "'-'"};
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(type.GetLiteral(i), expected[i]);
    EXPECT_EQ(type.GetLiteral(9), "");
    EXPECT_TRUE(type.IsScalar());
    // Identifier literals keep their spelling.
    EXPECT_EQ(parse(kState).GetNbOfValues(), 3);
    EXPECT_EQ(parse(kState).GetLiteral(1), "run");
}

TEST(KTypeInfo, ArrayReportsRangesElementsAndIdentifier) {
    KTypeInfo type = parse(kMem);
    EXPECT_EQ(type.GetNbOfDimensions(), 2);
    EXPECT_EQ(type.GetNbOfElements(), 32);
    std::int64_t left = 0, right = 0;
    int direction = -1;
    ASSERT_TRUE(type.GetArrayDimensionRanges(1, left, right, direction));
    EXPECT_EQ(left, 7);
    EXPECT_EQ(right, 0);
    EXPECT_EQ(direction, KTypeInfo::Downto);
    EXPECT_FALSE(type.GetArrayDimensionRanges(2, left, right, direction));
    EXPECT_EQ(type.GetArrayElementTypeInfo(), kBit);
    EXPECT_EQ(type.GetTypeIdentifier(), "mem(0 to 3, 7 downto 0)");
    EXPECT_EQ(parse(kSlv8).GetTypeIdentifier(), "std_logic_vector(7 downto 0)");
    EXPECT_EQ(parse(kNatural).GetTypeIdentifier(), "natural");
}

TEST(KTypeInfo, RecordFieldsHaveNamesTypesAndOffsets) {
    KTypeInfo type = parse(kRecord);
    ASSERT_EQ(type.GetNbOfFields(), 2);
    EXPECT_EQ(type.GetFieldName(0), "a");
    EXPECT_EQ(type.GetFieldName(1), "b");
    EXPECT_EQ(type.GetFieldTypeInfo(0), kStdLogic);
    EXPECT_EQ(type.GetFieldTypeInfo(1), kNatural);
    EXPECT_EQ(type.fieldOffset(0), 0u);
    EXPECT_EQ(type.fieldOffset(1), 1u);
    EXPECT_EQ(type.fieldType(1).GetKind(), KTypeInfo::Integer);
    EXPECT_FALSE(type.fieldType(2).isValid());
    EXPECT_EQ(type.GetFieldName(-1), "");
}

TEST(KTypeInfo, ElementTypesOutliveTheirParent) {
    KTypeInfo element;
    {
        KTypeInfo array = parse(kRegs);
        element = array.elementType().elementType();
    }
    EXPECT_EQ(element.GetTypeInfoString(), kStdLogic);
    EXPECT_EQ(element.GetNbOfValues(), 9);
}

TEST(KTypeInfo, IntegerRealAndPhysicalRanges) {
    std::int64_t left = 0, right = 0;
    int direction = -1;
    ASSERT_TRUE(parse(kInteger).GetIntRanges(left, right, direction));
    EXPECT_EQ(left, -2147483648LL);
    EXPECT_EQ(right, 2147483647LL);
    EXPECT_EQ(direction, KTypeInfo::To);
    ASSERT_TRUE(parse(kTime).GetIntRanges(left, right, direction));
    EXPECT_EQ(left, INT64_MIN);
    EXPECT_TRUE(parse(kTime).IsPhysical());
    EXPECT_FALSE(parse(kInteger).IsPhysical());
    ASSERT_TRUE(parse("i#4#down(10d-3)").GetIntRanges(left, right, direction));
    EXPECT_EQ(right, -3);
    EXPECT_EQ(direction, KTypeInfo::Downto);
    double rl = 0, rr = 0;
    ASSERT_TRUE(parse(kReal).GetRealRanges(rl, rr, direction));
    EXPECT_EQ(rl, -1.7976931348623157e308);
    ASSERT_TRUE(parse("f#1#r(-1.5t2e10)").GetRealRanges(rl, rr, direction));
    EXPECT_EQ(rl, -1.5);
    EXPECT_EQ(rr, 2e10);
    EXPECT_FALSE(parse(kReal).GetIntRanges(left, right, direction));
    EXPECT_FALSE(parse(kInteger).GetRealRanges(rl, rr, direction));
}

TEST(KTypeInfo, EnumerationsOfMoreThan256LiteralsTakeFourBytes) {
    std::string text = "e#3#bigl257";
    for (int i = 0; i < 257; ++i)
        text += "#" + std::to_string(std::to_string(i).size() + 1) + "#v" + std::to_string(i);
    KTypeInfo type = parse(text);
    EXPECT_EQ(type.GetSimpleSize(), 4u);
    auto bytes = bytesOf(type, "V256");
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0, 1, 0, 0}));
    EXPECT_EQ(type.GetValueString(bytes.data(), 0, false), "v256");
}

TEST(KTypeInfo, NullArrayHasNoElements) {
    KTypeInfo type = parse("a#6#string1(1t0)" + kCharacter);
    EXPECT_EQ(type.GetNbOfElements(), 0);
    EXPECT_EQ(type.GetSimpleSize(), 0u);
    std::uint8_t dummy = 0;
    EXPECT_EQ(type.GetValueString(&dummy, 0, false), "\"\"");
    EXPECT_TRUE(type.GetBytes("\"\"", &dummy, 0, 0, false));
    // A null logic array needs no bytes at all.
    KTypeInfo bits = parse("a#10#bit_vector1(3d4)" + kBit);
    EXPECT_EQ(bits.GetValueString(nullptr, 2, true), "");
    EXPECT_TRUE(bits.GetBytes("", nullptr, 0, 2, true));
    EXPECT_FALSE(bits.GetBytes("0", nullptr, 0, 2, false));
}

TEST(KTypeInfo, EmptyTypeAnswersNothingAndTypesCompareByString) {
    KTypeInfo type;
    EXPECT_FALSE(type.isValid());
    EXPECT_EQ(type.GetKind(), KTypeInfo::None);
    EXPECT_EQ(type.GetTypeInfoString(), "");
    EXPECT_FALSE(type.IsRadixAllowed());
    EXPECT_FALSE(type.IsInversionAllowed());
    EXPECT_FALSE(type.IsStdLogicConversionAllowed());
    std::uint8_t byte = 0;
    EXPECT_FALSE(type.GetBytes("0", &byte, 1, 0, false));
    EXPECT_EQ(type.GetValueString(&byte, 0, false), "");
    // Types are equal when their strings are.
    EXPECT_EQ(parse(kStdLogic), parse(kStdLogic));
    EXPECT_EQ(parse(kSlv8).elementType(), parse(kStdLogic));
    EXPECT_FALSE(parse(kStdLogic) == parse("e#10#std_ulogicc9 UX01ZWLH-"));
    EXPECT_EQ(KTypeInfo(), KTypeInfo());
}

// --- Rejecting malformed and hostile strings ---

struct RejectCase {
    std::string text;
    std::string errorPart; // a piece of the expected message
};

class Rejects : public ::testing::TestWithParam<RejectCase> {};

TEST_P(Rejects, WithOffsetAndExpectation) {
    std::string error;
    EXPECT_FALSE(KTypeInfo::fromString(GetParam().text, &error).has_value()) << GetParam().text;
    EXPECT_NE(error.find(GetParam().errorPart), std::string::npos) << error;
    EXPECT_EQ(error.rfind("at byte ", 0), 0u) << error;
}

std::string nested(int arrays) {
    std::string text;
    for (int i = 0; i < arrays; ++i)
        text += "a#1#a1(0t0)";
    return text + kBit;
}

INSTANTIATE_TEST_SUITE_P(
    KTypeInfo, Rejects,
    ::testing::Values(
        RejectCase{"", "at byte 0: expected a type"}, RejectCase{"x", "at byte 0"},
        RejectCase{kStdLogic + "e", "at byte 25: expected the end"},
        RejectCase{"e#9#std_logicc9UX01ZWLH-", "a blank"},
        RejectCase{"e#3#bitc0 ", "at least one literal"},
        RejectCase{"e#3#bitc2 00", "distinct literals"},
        RejectCase{"e#1#bl2#1#a#1#A", "distinct literals"},
        RejectCase{"e#1#bl1#2#'a", "one character in quotes"},
        RejectCase{"e#1#bl1#3#a b", "an identifier"},
        RejectCase{"e#1#bl70000", "literal count of at most 65536"},
        RejectCase{"e#99999999999999999999999#x", "name length of at most"},
        RejectCase{"e#0#c1 0", "a non-empty"}, RejectCase{"i#1#n(5t1)", "not null"},
        RejectCase{"i#1#n(1x5)", "direction"},
        RejectCase{"i#1#n(99999999999999999999t1)", "64-bit integer"},
        RejectCase{"f#1#r(nant1)", "finite real"}, RejectCase{"f#1#r(1e999t2)", "finite real"},
        RejectCase{"f#1#r(1.t2)", "finite real"}, RejectCase{"p#1#t(0t10)u1#2#fs2;", "factor 1"},
        RejectCase{"p#1#t(0t10)u2#2#fs1;#2#FS10;", "distinct unit name"},
        RejectCase{"p#1#t(0t10)u2#2#fs1;#2#ps0;", "positive unit factor"},
        RejectCase{"p#1#t(0t10)u0", "at least one unit"},
        RejectCase{"a#1#a0" + kBit, "at least one dimension"},
        RejectCase{"a#1#a65" + kBit, "dimension count of at most 64"},
        RejectCase{"a#1#a1(0t1073741824)" + kBit, "at most 1073741824"},
        RejectCase{"a#1#a1(-9223372036854775808t9223372036854775807)" + kBit, "at most"},
        RejectCase{"a#1#a2(0t65535)(0t65535)" + kBit, "at most 1073741824 elements in all"},
        RejectCase{"a#1#a1(0t268435455)" + kInt64, "a value of at most 1073741824 bytes"},
        RejectCase{"r#1#r2#1#x" + std::string("a#1#a1(1t1073741824)") + kBit + "#1#y" + kBit,
                   "a value of at most"},
        RejectCase{"a#1#a1(1t65536)a#1#b1(1t65536)a#1#c1(1t0)" + kBit, "nested arrays included"},
        RejectCase{"r#1#r0", "at least one field"}, RejectCase{nested(64), "nested at most 64"}));

TEST(KTypeInfo, EveryTruncationOfAValidStringFails) {
    for (const std::string& text : {kStdLogic, kSlv8, kBoolean, kInteger, kReal, kTime, kState,
                                    kRecord, kMem, kRegs, kString}) {
        for (std::size_t length = 0; length < text.size(); ++length) {
            std::string error;
            EXPECT_FALSE(KTypeInfo::fromString(text.substr(0, length), &error).has_value())
                << text.substr(0, length);
            EXPECT_FALSE(error.empty());
        }
    }
}

TEST(KTypeInfo, HugeCountsFailWithoutAllocatingAndNestingStopsAt64Levels) {
    EXPECT_FALSE(KTypeInfo::CheckTypeInfo("e#1#el65536"));
    EXPECT_FALSE(KTypeInfo::CheckTypeInfo("e#1#ec65536 01"));
    EXPECT_FALSE(KTypeInfo::CheckTypeInfo("r#1#r4294967296"));
    EXPECT_FALSE(KTypeInfo::CheckTypeInfo("p#1#t(0t1)u99999999999"));
    EXPECT_EQ(parse(nested(63)).GetNbOfElements(), 1); // 64 levels is the limit, not past it
}

// --- Capabilities ---

struct CapabilityCase {
    std::string text;
    bool radix, inversion, stdLogic;
};

class Capabilities : public ::testing::TestWithParam<CapabilityCase> {};

TEST_P(Capabilities, FollowTheKindOfType) {
    KTypeInfo type = parse(GetParam().text);
    EXPECT_EQ(type.IsRadixAllowed(), GetParam().radix);
    EXPECT_EQ(type.IsInversionAllowed(), GetParam().inversion);
    EXPECT_EQ(type.IsStdLogicConversionAllowed(), GetParam().stdLogic);
}

INSTANTIATE_TEST_SUITE_P(
    KTypeInfo, Capabilities,
    ::testing::Values(
        CapabilityCase{kStdLogic, false, true, true},
        CapabilityCase{"e#10#std_ulogicc9 UX01ZWLH-", false, true, true},
        CapabilityCase{kBit, false, true, true}, CapabilityCase{kBoolean, false, true, true},
        CapabilityCase{"e#2#uxc2 ux", false, false, true},
        CapabilityCase{"e#2#abc2 ab", false, false, false},
        CapabilityCase{kState, false, false, false},
        CapabilityCase{kCharacter, false, false, false},
        CapabilityCase{kInteger, true, false, false}, CapabilityCase{kTime, false, false, false},
        CapabilityCase{kReal, false, false, false}, CapabilityCase{kSlv8, true, true, false},
        CapabilityCase{kSigned, true, true, false}, CapabilityCase{kBitVector, true, true, false},
        CapabilityCase{kMem, false, true, false}, CapabilityCase{kBooleans, false, true, false},
        CapabilityCase{kRegs, false, false, false}, CapabilityCase{kString, false, false, false},
        CapabilityCase{kRecord, false, false, false}));

TEST(KTypeInfo, StdLogicConversionMapsByCharacter) {
    KTypeInfo stdLogic = parse(kStdLogic);
    for (std::uint8_t i = 0; i < 9; ++i)
        EXPECT_EQ(stdLogic.ConvertToStdLogicValue(&i), static_cast<StdLogic>(i));
    std::uint8_t outOfRange = 9;
    EXPECT_EQ(stdLogic.ConvertToStdLogicValue(&outOfRange), StdLogic::X);

    KTypeInfo bit = parse(kBit);
    std::uint8_t zero = 0, one = 1;
    EXPECT_EQ(bit.ConvertToStdLogicValue(&zero), StdLogic::Zero);
    EXPECT_EQ(bit.ConvertToStdLogicValue(&one), StdLogic::One);
    KTypeInfo boolean = parse(kBoolean);
    EXPECT_EQ(boolean.ConvertToStdLogicValue(&zero), StdLogic::Zero);
    EXPECT_EQ(boolean.ConvertToStdLogicValue(&one), StdLogic::One);
    KTypeInfo lower = parse("e#2#lhc3 lh-");
    EXPECT_EQ(lower.ConvertToStdLogicValue(&zero), StdLogic::L);
    EXPECT_EQ(parse(kState).ConvertToStdLogicValue(&zero), StdLogic::X);
    EXPECT_EQ(parse(kInteger).ConvertToStdLogicValue(std::vector<std::uint8_t>(4).data()),
              StdLogic::X);
    // What the types manager keeps for drawing: GetBytes of "0" and "1" (std_logic and bit in
    // its own tests).
    EXPECT_EQ(bytesOf(parse(kBoolean), "1"), std::vector<std::uint8_t>{1});
    EXPECT_EQ(bytesOf(parse(kBoolean), "0"), std::vector<std::uint8_t>{0});
}

// --- Value texts ---

struct ValueCase {
    std::string type;
    int radix;
    bool inverted;
    std::string input;  // accepted by GetBytes
    std::string output; // what GetValueString shows for those bytes
};

class Values : public ::testing::TestWithParam<ValueCase> {};

TEST_P(Values, ParseFormatAndRoundTrip) {
    const auto& c = GetParam();
    KTypeInfo type = parse(c.type);
    auto bytes = bytesOf(type, c.input, c.radix, c.inverted);
    EXPECT_EQ(type.GetValueString(bytes.data(), c.radix, c.inverted), c.output)
        << c.type << " radix " << c.radix << " <- " << c.input;
    // The shown text reads back to the same bytes.
    EXPECT_EQ(bytesOf(type, c.output, c.radix, c.inverted), bytes) << c.output;
}

INSTANTIATE_TEST_SUITE_P(
    KTypeInfo, Values,
    ::testing::Values(
        // enumerations
        ValueCase{kStdLogic, 0, false, "1", "1"}, ValueCase{kStdLogic, 0, false, "'Z'", "Z"},
        ValueCase{kStdLogic, 0, false, "x", "X"}, ValueCase{kStdLogic, 16, false, "h", "H"},
        ValueCase{kStdLogic, 0, false, "'z'", "Z"}, ValueCase{kStdLogic, 0, true, "1", "1"},
        ValueCase{kStdLogic, 0, true, "L", "L"}, ValueCase{kStdLogic, 0, true, " - ", "-"},
        ValueCase{kBit, 2, false, "0", "0"}, ValueCase{kBoolean, 0, false, "TRUE", "true"},
        ValueCase{kBoolean, 0, true, "false", "false"}, ValueCase{kState, 0, false, "Run", "run"},
        // integers
        ValueCase{kInteger, 0, false, "-42", "-42"},
        ValueCase{kInteger, 10, false, "1_000", "1000"}, ValueCase{kInteger, 16, false, "ff", "FF"},
        ValueCase{kInteger, 16, false, "-1", "FFFFFFFF"},
        ValueCase{kInteger, 2, false, "101", "101"}, ValueCase{kInteger, 8, false, "17", "17"},
        ValueCase{kInteger, 10, false, "16#FF#", "255"}, ValueCase{kInteger, 2, false, "0", "0"},
        ValueCase{kInteger, 16, false, "80000000", "80000000"},
        ValueCase{kInteger, 10, false, "-2147483648", "-2147483648"},
        ValueCase{kNatural, 16, false, "2#1010_0101#", "A5"},
        ValueCase{kInt64, 16, false, "-1", "FFFFFFFFFFFFFFFF"},
        ValueCase{kInt64, 10, false, "-9223372036854775808", "-9223372036854775808"},
        // reals
        ValueCase{kReal, 0, false, "1.5", "1.5"}, ValueCase{kReal, 0, false, "+0.1", "0.1"},
        ValueCase{kReal, 0, false, "2e10", "2e+10"},
        ValueCase{kReal, 0, false, "-1.7976931348623157e308", "-1.7976931348623157e+308"},
        // physicals
        ValueCase{kTime, 0, false, "15 ns", "15 ns"},
        ValueCase{kTime, 0, false, "15000 PS", "15 ns"},
        ValueCase{kTime, 0, false, "1.5 us", "1500 ns"}, ValueCase{kTime, 0, false, "0 hr", "0 fs"},
        ValueCase{kTime, 0, false, "7", "7 fs"}, ValueCase{kTime, 0, false, "-2 min", "-2 min"},
        // logic arrays
        ValueCase{kSlv8, 2, false, "10ZX01LH", "10ZX01LH"},
        ValueCase{kSlv8, 0, false, "1", "00000001"},
        ValueCase{kSlv8, 2, false, "\"0101\"", "00000101"}, ValueCase{kSlv8, 16, false, "A5", "A5"},
        ValueCase{kSlv8, 16, false, "x\"a5\"", "A5"}, ValueCase{kSlv8, 16, false, "5", "05"},
        ValueCase{kSlv8, 16, false, "ZZ", "ZZ"}, ValueCase{kSlv8, 16, false, "Z0", "Z0"},
        ValueCase{kSlv8, 8, false, "377", "377"}, ValueCase{kSlv8, 8, false, "o\"17\"", "017"},
        ValueCase{kSlv8, 10, false, "255", "255"}, ValueCase{kSlv8, 10, false, "b\"1010\"", "10"},
        ValueCase{kSlv8, 2, true, "11110000", "11110000"}, ValueCase{kSlv8, 16, true, "0F", "0F"},
        ValueCase{kSlv6, 16, false, "3F", "3F"}, ValueCase{kSlv6, 16, false, "ZZ", "ZZ"},
        ValueCase{kSlv6, 8, false, "77", "77"}, ValueCase{kSlv6, 2, false, "1_0", "000010"},
        ValueCase{kSigned, 10, false, "-1", "-1"}, ValueCase{kSigned, 10, false, "-128", "-128"},
        ValueCase{kSigned, 10, false, "127", "127"}, ValueCase{kUnsigned, 10, false, "200", "200"},
        ValueCase{kBitVector, 16, false, "c", "C"}, ValueCase{kBitVector, 0, true, "0011", "0011"},
        // other composites
        ValueCase{kMem, 16, false, "(1,2,FF,0)", "(01,02,FF,00)"},
        ValueCase{kMem, 2, false, "(1, 10, 11, 100)", "(00000001,00000010,00000011,00000100)"},
        ValueCase{kRegs, 16, false, "(A, z)", "(A,Z)"},
        ValueCase{kBooleans, 0, true, "(true,false,TRUE)", "(true,false,true)"},
        ValueCase{kStates, 0, false, "(stop, idle)", "(stop,idle)"},
        ValueCase{kRecord, 16, false, "('1', 16#10#)", "(1,10)"},
        ValueCase{kRecord, 0, false, "(Z,255)", "(Z,255)"},
        // strings
        ValueCase{kString, 0, false, "\"hello\"", "\"hello\""},
        ValueCase{kString, 0, false, "\"a\"\"b\"", "\"a\"\"b  \""},
        ValueCase{kString, 0, false, "\"ab\" & LF & 'c' & nul", "\"ab\" & LF & \"c\" & NUL"},
        ValueCase{kString, 0, false, "hi", "\"hi   \""}));

TEST(KTypeInfo, BytesFollowTheIndexOrderAndNeedRoom) {
    // std_logic_vector(7 downto 0) starts with element 7: the leftmost character.
    auto bytes = bytesOf(parse(kSlv8), "1U000000", 2);
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{3, 0, 2, 2, 2, 2, 2, 2}));
    auto integer = bytesOf(parse(kInteger), "-2");
    EXPECT_EQ(integer, (std::vector<std::uint8_t>{0xFE, 0xFF, 0xFF, 0xFF}));
    auto record = bytesOf(parse(kRecord), "(1,3)");
    EXPECT_EQ(record, (std::vector<std::uint8_t>{3, 3, 0, 0, 0}));
    std::vector<std::uint8_t> tooSmall(7);
    EXPECT_FALSE(parse(kSlv8).GetBytes("0", tooSmall.data(), 7, 2, false));
}

TEST(KTypeInfo, InvertedValuesAreStoredInverted) {
    EXPECT_EQ(bytesOf(parse(kSlv8), "LH01ZX10", 2, true),
              (std::vector<std::uint8_t>{7, 6, 3, 2, 4, 1, 2, 3}));
    EXPECT_EQ(bytesOf(parse(kBoolean), "true", 0, true), std::vector<std::uint8_t>{0});
    // Not invertible: the flag is ignored.
    EXPECT_EQ(bytesOf(parse(kNatural), "3", 0, true), (std::vector<std::uint8_t>{3, 0, 0, 0}));
    std::vector<std::uint8_t> bits = {3, 2, 7, 4}; // 1 0 H Z
    EXPECT_EQ(parse("a#3#slv1(3d0)" + kStdLogic).GetValueString(bits.data(), 2, true), "01LZ");
}

TEST(KTypeInfo, NonBinaryLogicGroupsShowTheirCharacterOrX) {
    KTypeInfo type = parse(kSlv8);
    auto bytes = bytesOf(type, "1ZZZZ0U0", 2);
    EXPECT_EQ(type.GetValueString(bytes.data(), 16, false), "XX");
    EXPECT_EQ(type.GetValueString(bytes.data(), 8, false), "XZX");
    EXPECT_EQ(type.GetValueString(bytes.data(), 10, false), "X");
    bytes = bytesOf(type, "LHLH0000", 2);
    EXPECT_EQ(type.GetValueString(bytes.data(), 16, false), "50");
    EXPECT_EQ(type.GetValueString(bytes.data(), 10, false), "80");
    KTypeInfo six = parse(kSlv6);
    EXPECT_EQ(six.GetValueString(bytesOf(six, "LL", 16).data(), 2, false), "LLLLLL");
    bytes = bytesOf(type, "----0000", 2);
    EXPECT_EQ(type.GetValueString(bytes.data(), 16, false), "-0");
}

struct RejectValueCase {
    std::string type;
    int radix;
    std::string text;
};

class RejectsValue : public ::testing::TestWithParam<RejectValueCase> {};

TEST_P(RejectsValue, AndLeavesTheBytesAlone) {
    KTypeInfo type = parse(GetParam().type);
    std::vector<std::uint8_t> bytes(type.GetSimpleSize(), 0xA7);
    EXPECT_FALSE(type.GetBytes(GetParam().text, bytes.data(),
                               static_cast<std::uint32_t>(bytes.size()), GetParam().radix, false))
        << GetParam().text;
    EXPECT_EQ(bytes, std::vector<std::uint8_t>(type.GetSimpleSize(), 0xA7));
}

INSTANTIATE_TEST_SUITE_P(
    KTypeInfo, RejectsValue,
    ::testing::Values(
        RejectValueCase{kStdLogic, 0, ""}, RejectValueCase{kStdLogic, 0, "2"},
        RejectValueCase{kStdLogic, 0, "10"}, RejectValueCase{kBit, 0, "X"},
        RejectValueCase{kState, 0, "walk"}, RejectValueCase{kBoolean, 0, "2"},
        RejectValueCase{kNatural, 10, "256"}, RejectValueCase{kNatural, 10, "-1"},
        RejectValueCase{kNatural, 16, "FFFFFFFF"}, RejectValueCase{kInteger, 16, "100000000"},
        RejectValueCase{kInteger, 10, "2147483648"}, RejectValueCase{kInteger, 10, "12a"},
        RejectValueCase{kInteger, 8, "8"}, RejectValueCase{kInteger, 10, "16##"},
        RejectValueCase{kInteger, 10, "17#1#"}, RejectValueCase{kInteger, 10, "_1"},
        RejectValueCase{kInteger, 10, "1_"}, RejectValueCase{kInt64, 10, "9223372036854775808"},
        RejectValueCase{"f#1#r(0t1)", 0, "1.5"}, RejectValueCase{kReal, 0, "nan"},
        RejectValueCase{kReal, 0, "inf"}, RejectValueCase{kReal, 0, "1e999"},
        RejectValueCase{kTime, 0, "1 parsec"}, RejectValueCase{kTime, 0, "1.5 fs"},
        RejectValueCase{kTime, 0, "10000 hr"}, RejectValueCase{kTime, 0, "ns"},
        RejectValueCase{kSlv8, 2, "100000000"}, RejectValueCase{kSlv8, 2, "10Q"},
        RejectValueCase{kSlv8, 2, ""}, RejectValueCase{kSlv8, 16, "1FF"},
        RejectValueCase{kSlv8, 16, "G"}, RejectValueCase{kSlv8, 8, "777"},
        RejectValueCase{kSlv8, 10, "256"}, RejectValueCase{kSlv8, 10, "-1"},
        RejectValueCase{kSigned, 10, "128"}, RejectValueCase{kSigned, 10, "-129"},
        RejectValueCase{kSlv8, 2, "q\"01\""}, RejectValueCase{kSlv6, 16, "7F"},
        RejectValueCase{kBitVector, 2, "Z"}, RejectValueCase{kMem, 16, "(1,2,3)"},
        RejectValueCase{kMem, 16, "(1,2,3,4,5)"}, RejectValueCase{kMem, 16, "1,2,3,4"},
        RejectValueCase{kRecord, 0, "(1)"}, RejectValueCase{kRecord, 0, "(1,)"},
        RejectValueCase{kRecord, 0, "((1,2)"}, RejectValueCase{kRecord, 0, "(1,2))"},
        RejectValueCase{kString, 0, "\"toolong\""}, RejectValueCase{kString, 0, "\"ab\" &"},
        RejectValueCase{kString, 0, "\"ab\" & FOO"},
        RejectValueCase{kString, 0, "\"unterminated"}));

// --- Round trips over many values ---

TEST(KTypeInfo, LogicArraysRoundTripExactlyInRadix2) {
    KTypeInfo type = parse("a#3#slv1(12d0)" + kStdLogic);
    std::mt19937 random(7);
    for (int n = 0; n < 500; ++n) {
        std::vector<std::uint8_t> bytes(13);
        for (auto& b : bytes)
            b = static_cast<std::uint8_t>(random() % 9);
        for (bool inverted : {false, true}) {
            std::string text = type.GetValueString(bytes.data(), 2, inverted);
            EXPECT_EQ(bytesOf(type, text, 2, inverted), bytes) << text;
        }
    }
}

TEST(KTypeInfo, BinaryValuesRoundTripInEveryRadix) {
    for (const std::string& text : {kSlv6, kSigned, kUnsigned, kBitVector}) {
        KTypeInfo type = parse(text);
        auto width = static_cast<int>(type.GetNbOfElements());
        KTypeInfo element = type.elementType();
        std::uint8_t zero = bytesOf(element, "0")[0], one = bytesOf(element, "1")[0];
        for (int number = 0; number < (1 << width); ++number) {
            std::vector<std::uint8_t> bytes(static_cast<std::size_t>(width));
            for (int i = 0; i < width; ++i)
                bytes[static_cast<std::size_t>(i)] = (number >> (width - 1 - i)) & 1 ? one : zero;
            for (int radix : {2, 8, 10, 16}) {
                for (bool inverted : {false, true}) {
                    std::string shown = type.GetValueString(bytes.data(), radix, inverted);
                    EXPECT_EQ(bytesOf(type, shown, radix, inverted), bytes)
                        << text << " radix " << radix << ": " << shown;
                }
            }
        }
    }
}

TEST(KTypeInfo, IntegersRoundTripInEveryRadix) {
    for (const std::string& text : {kInteger, kInt64, std::string("i#1#s(-8t7)")}) {
        KTypeInfo type = parse(text);
        std::int64_t left = 0, right = 0;
        int direction = 0;
        type.GetIntRanges(left, right, direction);
        for (std::int64_t number : {left, right, std::int64_t{0}, std::int64_t{-1}, std::int64_t{5},
                                    left / 3, right / 7}) {
            std::vector<std::uint8_t> bytes = bytesOf(type, std::to_string(number), 10);
            for (int radix : {0, 2, 8, 10, 16}) {
                std::string shown = type.GetValueString(bytes.data(), radix, false);
                EXPECT_EQ(bytesOf(type, shown, radix), bytes)
                    << text << " radix " << radix << ": " << shown;
            }
        }
    }
}

TEST(KTypeInfo, WideLogicArraysConvertDecimalExactly) {
    KTypeInfo type = parse("a#3#slv1(99d0)" + kStdLogic);
    const std::string big = "1267650600228229401496703205375"; // 2^100 - 1
    auto bytes = bytesOf(type, big, 10);
    EXPECT_EQ(type.GetValueString(bytes.data(), 16, false), std::string(25, 'F'));
    EXPECT_EQ(type.GetValueString(bytes.data(), 10, false), big);
    std::vector<std::uint8_t> tooBig(100);
    EXPECT_FALSE(type.GetBytes("1267650600228229401496703205376", tooBig.data(), 100, 10, false));
}

// --- Decimal values ---

TEST(KTypeInfo, DecimalValuesOfIntegersEnumerationsAndLogicArrays) {
    std::int64_t result = 0;
    auto value = bytesOf(parse(kInteger), "-5");
    ASSERT_TRUE(parse(kInteger).GetDecimalValue(value.data(), KTypeInfo::Unsigned, result));
    EXPECT_EQ(result, -5);
    value = bytesOf(parse(kState), "stop");
    ASSERT_TRUE(parse(kState).GetDecimalValue(value.data(), KTypeInfo::Unsigned, result));
    EXPECT_EQ(result, 2);
    value = bytesOf(parse(kSlv8), "1111111H", 2);
    ASSERT_TRUE(parse(kSlv8).GetDecimalValue(value.data(), KTypeInfo::Unsigned, result));
    EXPECT_EQ(result, 255);
    ASSERT_TRUE(parse(kSlv8).GetDecimalValue(value.data(), KTypeInfo::Signed, result));
    EXPECT_EQ(result, -1);
    value = bytesOf(parse(kSlv8), "0000000Z", 2);
    EXPECT_FALSE(parse(kSlv8).GetDecimalValue(value.data(), KTypeInfo::Unsigned, result));
    value = bytesOf(parse(kTime), "2 ps");
    ASSERT_TRUE(parse(kTime).GetDecimalValue(value.data(), KTypeInfo::Unsigned, result));
    EXPECT_EQ(result, 2000);
    value = bytesOf(parse(kReal), "1");
    EXPECT_FALSE(parse(kReal).GetDecimalValue(value.data(), KTypeInfo::Unsigned, result));
    KTypeInfo wide = parse("a#3#slv1(64d0)" + kStdLogic);
    value = bytesOf(wide, "1", 2);
    EXPECT_FALSE(wide.GetDecimalValue(value.data(), KTypeInfo::Unsigned, result));
}

} // namespace
