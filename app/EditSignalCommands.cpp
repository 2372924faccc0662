// Edit commands on the selection, the set of signals, their display properties, the comments
// and measurements, and saving.

#include "app/EditArguments.h"
#include "app/EditCommand.h"
#include "app/EditSession.h"
#include "app/VerbSupport.h"
#include "document/KDoc.h"
#include "storage/NameChecks.h"
#include "storage/TextCase.h"
#include "storage/TypeMakers.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>

namespace {

// The widest bus a user may declare, as the bus range dialog allows, and a bound on the value of
// any other type, so that a typed type cannot ask for gigabytes per value.
constexpr std::int64_t kMaxBusWidth = 10000;
constexpr std::uint32_t kMaxValueBytes = 1 << 20;

// Where the own name of a path starts: after the last '/' that is not inside an extended
// identifier (\a/b\).
std::size_t leafStart(std::string_view path) {
    std::size_t start = 0;
    bool extended = false;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (path[i] == '\\')
            extended = !extended; // a doubled backslash toggles twice
        else if (path[i] == '/' && !extended)
            start = i + 1;
    }
    return start;
}

// select SIGNAL... | select all | select none | select time FROM TO|end
EditStatus runSelect(EditSession& session, EditArguments& arguments) {
    EditSelection& selection = session.selection();
    if (arguments.accept("none")) {
        arguments.finish();
        selection = EditSelection();
    } else if (arguments.accept("all")) {
        arguments.finish();
        selection.signals = session.doc().rows();
        selection.start = 0;
        selection.end = std::max<SimTime>(session.doc().endTime(), 0);
    } else if (arguments.accept("time")) {
        const SimTime from = arguments.time("FROM");
        const SimTime to = arguments.accept("end") ? session.doc().endTime() : arguments.time("TO");
        arguments.finish();
        if (to <= from)
            arguments.fail("the range must end after it starts");
        selection.start = from;
        selection.end = to;
    } else {
        if (arguments.atEnd())
            arguments.fail("missing SIGNAL, all, none or time");
        std::vector<SignalHandle> handles;
        while (!arguments.atEnd()) {
            const SignalHandle handle = session.signal(arguments.word("SIGNAL"));
            if (std::find(handles.begin(), handles.end(), handle) == handles.end())
                handles.push_back(handle);
        }
        selection.signals = std::move(handles);
    }
    return EditStatus::done();
}

std::optional<std::string> standardTypeInfo(std::string_view name) {
    static constexpr std::array<std::pair<std::string_view, StandardType>, 10> kTypes{{
        {"std_logic", StandardType::StdLogic},
        {"std_ulogic", StandardType::StdULogic},
        {"bit", StandardType::Bit},
        {"boolean", StandardType::Boolean},
        {"integer", StandardType::Integer},
        {"natural", StandardType::Natural},
        {"positive", StandardType::Positive},
        {"real", StandardType::Real},
        {"time", StandardType::Time},
        {"character", StandardType::Character},
    }};
    for (const auto& [known, type] : kTypes)
        if (known == name)
            return makeStdTypeInfo(static_cast<int>(type));
    return std::nullopt;
}

// A type as a user writes it: a standard type name, a vector with its range, or a
// type-information string.
std::string typeInfoOf(EditArguments& arguments, const std::string& text) {
    const std::string lower = asciiLower(text);
    if (std::optional<std::string> standard = standardTypeInfo(lower))
        return *standard;
    if (const std::optional<VectorTypeText> vector = parseVectorTypeText(text)) {
        const int direction = lower.find("downto") != std::string::npos ? 1 : 0;
        const bool empty =
            direction == 1 ? vector->left < vector->right : vector->left > vector->right;
        if (empty)
            arguments.fail("'" + text + "' is a null range");
        if (std::max(vector->left, vector->right) - std::min(vector->left, vector->right) >=
            kMaxBusWidth)
            arguments.fail("The maximum bus width is " + std::to_string(kMaxBusWidth));
        const std::string element = vector->typeName == "bit_vector"          ? "bit"
                                    : vector->typeName == "std_ulogic_vector" ? "std_ulogic"
                                                                              : "std_logic";
        const ArrayRange range{vector->left, vector->right, direction};
        if (std::optional<std::string> made =
                makeArrayTypeInfo(vector->typeName, std::span(&range, 1),
                                  standardTypeInfo(element).value_or(std::string())))
            return *made;
    }
    if (const std::optional<KTypeInfo> type = KTypeInfo::fromString(text)) {
        if (type->GetSimpleSize() > kMaxValueBytes)
            arguments.fail("values of type '" + type->GetTypeIdentifier() + "' are too large");
        return text;
    }
    arguments.fail("expected TYPE (std_logic, bit, boolean, integer, real, ..., "
                   "std_logic_vector(7 downto 0), or a type-information string), got '" +
                   text + "'");
}

// add NAME TYPE [MODE]
EditStatus runAdd(EditSession& session, EditArguments& arguments) {
    const std::string path = arguments.word("NAME").text;
    std::string typeText = arguments.word("TYPE").text;
    // "std_logic_vector(7 downto 0)" unquoted is three words.
    while (typeText.find('(') != std::string::npos && typeText.find(')') == std::string::npos &&
           !arguments.atEnd())
        typeText += " " + arguments.word("TYPE").text;
    NewSignal signal;
    signal.typeInfo = typeInfoOf(arguments, typeText);
    if (!arguments.atEnd()) {
        static constexpr std::array kModes{SignalMode::PortIn,      SignalMode::PortOut,
                                           SignalMode::PortInout,   SignalMode::PortBuffer,
                                           SignalMode::PortLinkage, SignalMode::Signal,
                                           SignalMode::Variable,    SignalMode::Unspecified};
        signal.mode = kModes[arguments.choice(
            "MODE", {"in", "out", "inout", "buffer", "linkage", "signal", "variable", "none"})];
    }
    arguments.finish();
    std::string_view name = path;
    while (name.starts_with('/'))
        name.remove_prefix(1);
    const std::size_t split = leafStart(name);
    signal.hierarchy = std::string(name.substr(0, split));
    signal.name = std::string(name.substr(split));
    SignalHandle added = 0;
    return addSignal(session.doc(), signal, added);
}

// remove [SIGNAL...]
EditStatus runRemove(EditSession& session, EditArguments& arguments) {
    const std::vector<SignalHandle> signals = session.signalsOrSelection(arguments);
    const EditStatus status = removeSignals(session.doc(), signals);
    session.forgetRemovedSignals();
    return status;
}

// rename SIGNAL NEWNAME
EditStatus runRename(EditSession& session, EditArguments& arguments) {
    const SignalHandle signal = session.signal(arguments.word("SIGNAL"));
    const std::string name = arguments.word("NEWNAME").text;
    arguments.finish();
    return renameSignal(session.doc(), signal, name);
}

// group [SIGNAL...]: the new bus becomes the selection.
EditStatus runGroup(EditSession& session, EditArguments& arguments) {
    const std::vector<SignalHandle> signals = session.signalsOrSelection(arguments);
    SignalHandle bus = 0;
    const EditStatus status = groupSignals(session.doc(), signals, bus);
    if (status.ok())
        session.selection().signals = {bus};
    return status;
}

// ungroup [BUS...]
EditStatus runUngroup(EditSession& session, EditArguments& arguments) {
    const std::vector<SignalHandle> buses = session.signalsOrSelection(arguments);
    for (SignalHandle bus : buses)
        if (!session.doc().record(bus)->isVirtualBus())
            throw EditCommandError("'" + session.doc().fullName(bus) + "' is not a virtual bus");
    return ungroupSignals(session.doc(), buses);
}

std::uint32_t colorOf(EditArguments& arguments) {
    static constexpr std::array<std::pair<std::string_view, std::uint32_t>, 10> kNames{{
        {"black", 0x000000},
        {"white", 0xFFFFFF},
        {"red", 0xFF0000},
        {"green", 0x00FF00},
        {"blue", 0x0000FF},
        {"yellow", 0xFFFF00},
        {"cyan", 0x00FFFF},
        {"magenta", 0xFF00FF},
        {"gray", 0x808080},
        {"orange", 0xFFA500},
    }};
    const char* const kWhat = "COLOUR (#RRGGBB, auto, or black, white, red, green, blue, yellow, "
                              "cyan, magenta, gray, orange)";
    const EditWord& word = arguments.word(kWhat);
    const std::string text = asciiLower(word.text);
    if (text == "auto")
        return KSignalRecord::kAutomaticColor;
    std::optional<std::uint32_t> rgb;
    for (const auto& [name, value] : kNames)
        if (name == text)
            rgb = value;
    if (!rgb && text.size() == 7 && text[0] == '#') {
        std::uint32_t value = 0;
        const auto [end, error] = std::from_chars(text.data() + 1, text.data() + 7, value, 16);
        if (error == std::errc() && end == text.data() + 7)
            rgb = value;
    }
    if (!rgb)
        arguments.expected(kWhat, word);
    // Records keep colours with red in the low byte.
    return ((*rgb & 0xFF) << 16) | (*rgb & 0xFF00) | ((*rgb >> 16) & 0xFF);
}

bool switchOf(EditArguments& arguments) {
    return arguments.choice("SWITCH", {"on", "off"}) == 0;
}

// set PROPERTY VALUE [SIGNAL...]
EditStatus runSet(EditSession& session, EditArguments& arguments) {
    SignalProperties properties;
    std::optional<std::string> stimulator;
    static constexpr std::string_view kForms[] = {"radix bin|oct|dec|hex|default",
                                                  "colour COLOUR",
                                                  "color COLOUR",
                                                  "height 22..50",
                                                  "shape analog|literal|logic|auto",
                                                  "bold on|off",
                                                  "reverse on|off",
                                                  "range LOW HIGH|auto",
                                                  "stimulator TEXT"};
    const std::size_t property =
        arguments.choice("PROPERTY", {"radix", "colour", "color", "height", "shape", "bold",
                                      "reverse", "range", "stimulator"});
    arguments.setUsage("set " + std::string(kForms[property]) + " [SIGNAL...]");
    switch (property) {
    case 0: {
        static constexpr int kRadixes[] = {2, 8, 10, 16, KSignalRecord::kDefaultRadix};
        properties.radix =
            kRadixes[arguments.choice("RADIX", {"bin", "oct", "dec", "hex", "default"})];
        break;
    }
    case 1:
    case 2:
        properties.color = colorOf(arguments);
        break;
    case 3:
        properties.height = static_cast<std::uint16_t>(arguments.integer("HEIGHT", 22, 50));
        break;
    case 4: {
        static constexpr std::uint32_t kShapes[] = {
            static_cast<std::uint32_t>(SignalShape::Analog),
            static_cast<std::uint32_t>(SignalShape::Literal),
            static_cast<std::uint32_t>(SignalShape::Logic), 0};
        properties.shape =
            kShapes[arguments.choice("SHAPE", {"analog", "literal", "logic", "auto"})];
        break;
    }
    case 5:
        properties.bold = switchOf(arguments);
        break;
    case 6:
        properties.inverted = switchOf(arguments);
        break;
    case 7:
        if (arguments.accept("auto")) {
            properties.analogRange = std::pair(0.0, -1.0);
        } else {
            const double low = arguments.number("LOW");
            const double high = arguments.number("HIGH");
            if (low > high)
                arguments.fail("LOW must not be above HIGH");
            properties.analogRange = std::pair(low, high);
        }
        break;
    default:
        stimulator = arguments.word("TEXT (\"\" removes the stimulator)").text;
        break;
    }
    const std::vector<SignalHandle> signals = session.signalsOrSelection(arguments);
    if (stimulator)
        return setStimulator(session.doc(), signals, *stimulator);
    return setSignalProperties(session.doc(), signals, properties);
}

// comment SIGNAL TIME TEXT
EditStatus runComment(EditSession& session, EditArguments& arguments) {
    const SignalHandle signal = session.signal(arguments.word("SIGNAL"));
    const SimTime time = arguments.time("TIME");
    const std::string text = arguments.text("TEXT");
    return addComment(session.doc(), signal, time, text);
}

// measure SIGNAL TIME [SIGNAL] TIME
EditStatus runMeasure(EditSession& session, EditArguments& arguments) {
    const SignalHandle from = session.signal(arguments.word("SIGNAL"));
    const SimTime start = arguments.time("TIME");
    // No time is a signal's name, so the word after the start says which form this is.
    SignalHandle to = from;
    if (const EditWord* next = arguments.peek(); next && findSignal(session.doc(), next->text))
        to = session.signal(arguments.word("SIGNAL"));
    const SimTime end = arguments.time("END TIME");
    arguments.finish();
    return addMeasurement(session.doc(), from, start, to, end);
}

// save [FILE]
EditStatus runSave(EditSession& session, EditArguments& arguments) {
    const std::string file = arguments.atEnd() ? session.output() : arguments.word("FILE").text;
    arguments.finish();
    return session.saves().save(session.doc(), file);
}

constexpr EditCommand kCommands[] = {
    {"select", "SIGNAL... | all | none | time FROM TO|end",
     "choose the signals, or the time range, the next commands act on", false, runSelect},
    {"add", "NAME TYPE [in|out|inout|buffer|linkage|signal|variable|none]",
     "add a signal without events as the last row", true, runAdd},
    {"remove", "[SIGNAL...]", "remove signals with their comments and measurements", true,
     runRemove},
    {"rename", "SIGNAL NEWNAME", "rename a top-level signal", true, runRename},
    {"group", "[SIGNAL...]", "group signals into a new virtual bus, which becomes the selection",
     true, runGroup},
    {"ungroup", "[BUS...]", "return the members of virtual buses to the rows", true, runUngroup},
    {"set", "PROPERTY VALUE [SIGNAL...]", "set a display property or the stimulator of signals",
     true, runSet},
    {"comment", "SIGNAL TIME TEXT", "add a comment on a signal at a time", true, runComment},
    {"measure", "SIGNAL TIME [SIGNAL] TIME", "add a measurement between two events", true,
     runMeasure},
    {"save", "[FILE]", "save (held back until the script has run to its end)", false, runSave},
};

} // namespace

std::span<const EditCommand> signalEditCommands() {
    return kCommands;
}
