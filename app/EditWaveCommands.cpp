// Edit commands on waveforms (fills, stretch, inserted and deleted time, clearing), the
// clipboard, and undo. Each checks what it can before the document is asked: the selection, the
// arguments, and whether the values or formula fit every selected signal's type.

#include "app/EditArguments.h"
#include "app/EditCommand.h"
#include "app/EditSession.h"
#include "document/KDoc.h"
#include "storage/Formula.h"
#include "storage/ValueText.h"

#include <vector>

namespace {

std::string quoted(const KDoc& doc, SignalHandle handle) {
    return "'" + doc.fullName(handle) + "'";
}

// The value text in every selected signal's type, as the fill converts it.
void checkValueFits(EditSession& session, const std::string& text) {
    const KDoc& doc = session.doc();
    for (SignalHandle handle : session.selection().signals) {
        std::vector<std::uint8_t> buffer(doc.valueSize(handle));
        std::size_t position = 0;
        if (buffer.empty() ||
            !ParseValue(doc.types(), text, *doc.record(handle), buffer, position, 0) ||
            position != buffer.size())
            throw EditCommandError("Wrong value format for signal: " + doc.fullName(handle));
    }
}

bool isLogicSignal(const KDoc& doc, SignalHandle handle) {
    const KSignalRecord& record = *doc.record(handle);
    const KTypesManager& types = doc.types();
    return record.children().empty() && types.type(record.typeIndex()).IsScalar() &&
           types.zeroImage(record.typeIndex()).has_value() &&
           types.oneImage(record.typeIndex()).has_value();
}

// fill value TEXT
EditStatus runFillValue(EditSession& session, EditArguments& arguments) {
    const std::string text = arguments.text("VALUE");
    session.requireSignals();
    session.requireTimeRange();
    checkValueFits(session, text);
    return fillValue(session.doc(), session.selection(), text);
}

// fill clock PERIOD [offset TIME] [width PERCENT] [high|low]
EditStatus runFillClock(EditSession& session, EditArguments& arguments) {
    ClockFill clock;
    clock.period = arguments.time("PERIOD");
    if (clock.period <= 0)
        arguments.fail("PERIOD must be longer than 0");
    while (!arguments.atEnd()) {
        if (arguments.accept("offset"))
            clock.offset = arguments.time("OFFSET");
        else if (arguments.accept("width"))
            clock.widthPercent = static_cast<int>(arguments.integer("WIDTH", 0, 100, true));
        else if (arguments.accept("high"))
            clock.startHigh = true;
        else if (arguments.accept("low"))
            clock.startHigh = false;
        else
            arguments.expected("offset, width, high or low", arguments.word(""));
    }
    session.requireSignals();
    session.requireTimeRange();
    for (SignalHandle handle : session.selection().signals)
        if (!isLogicSignal(session.doc(), handle))
            throw EditCommandError("Cannot fill this signal(s): " + quoted(session.doc(), handle) +
                                   " is not of a logic type");
    return fillClock(session.doc(), session.selection(), clock);
}

// fill formula FORMULA
EditStatus runFillFormula(EditSession& session, EditArguments& arguments) {
    const std::string text = arguments.text("FORMULA");
    const FormulaResult formula = parseFormula(text);
    if (!formula)
        throw EditCommandError(formula.error().message);
    session.requireSignals();
    session.requireTimeRange();
    KDoc& doc = session.doc();
    for (SignalHandle handle : session.selection().signals) {
        const KSignalRecord& record = *doc.record(handle);
        const std::optional<FormulaError> rejected = checkFormulaValues(
            *formula, doc.types().type(record.typeIndex()), std::max(record.radix(), 0));
        if (rejected)
            throw EditCommandError(rejected->message + " (signal " + quoted(doc, handle) + ")");
    }
    return fillFormula(doc, session.selection(), text);
}

// stretch PERCENT [insert|overwrite]
EditStatus runStretch(EditSession& session, EditArguments& arguments) {
    const int percent = static_cast<int>(arguments.integer("PERCENT", 1, 10000, true));
    InsertForm form = InsertForm::Overwrite;
    if (!arguments.atEnd() && arguments.choice("FORM", {"insert", "overwrite"}) == 0)
        form = InsertForm::Insert;
    arguments.finish();
    session.requireSignals();
    session.requireTimeRange();
    return stretchSelection(session.doc(), session.selection(), percent, form);
}

// insert time LENGTH [at TIME]
EditStatus runInsertTime(EditSession& session, EditArguments& arguments) {
    const SimTime length = arguments.time("LENGTH");
    if (length <= 0)
        arguments.fail("LENGTH must be longer than 0");
    std::optional<SimTime> at;
    if (arguments.accept("at"))
        at = arguments.time("TIME");
    arguments.finish();
    session.requireSignals();
    if (!at) {
        session.requireTimeRange();
        at = session.selection().start;
    }
    return insertTime(session.doc(), session.selection().signals, *at, length);
}

// delete time
EditStatus runDeleteTime(EditSession& session, EditArguments& arguments) {
    arguments.finish();
    session.requireSignals();
    session.requireTimeRange();
    const EditSelection& selection = session.selection();
    return deleteTime(session.doc(), selection.signals, selection.start, selection.length());
}

// clear [SIGNAL...]
EditStatus runClear(EditSession& session, EditArguments& arguments) {
    const std::vector<SignalHandle> signals = session.signalsOrSelection(arguments);
    return clearWaveforms(session.doc(), signals);
}

// copy
EditStatus runCopy(EditSession& session, EditArguments& arguments) {
    arguments.finish();
    session.requireSignals();
    EditClipboard copied;
    const EditStatus status = copySelection(session.doc(), session.selection(), copied);
    if (status.ok())
        session.clipboard() = std::move(copied);
    return status;
}

// cut
EditStatus runCut(EditSession& session, EditArguments& arguments) {
    arguments.finish();
    session.requireSignals();
    EditClipboard copied;
    const EditStatus status = cutSelection(session.doc(), session.selection(), copied);
    if (status.ok())
        session.clipboard() = std::move(copied);
    session.forgetRemovedSignals();
    return status;
}

// paste SIGNAL TIME
EditStatus runPaste(EditSession& session, EditArguments& arguments) {
    const SignalHandle row = session.signal(arguments.word("SIGNAL"));
    const SimTime at = arguments.time("TIME");
    arguments.finish();
    if (session.clipboard().empty())
        throw EditCommandError("nothing to paste (copy or cut first)");
    return pasteClipboard(session.doc(), session.clipboard(), row, at);
}

EditStatus runUndo(EditSession& session, EditArguments& arguments) {
    arguments.finish();
    const EditStatus status = undoEdit(session.doc());
    session.forgetRemovedSignals();
    return status;
}

EditStatus runRedo(EditSession& session, EditArguments& arguments) {
    arguments.finish();
    const EditStatus status = redoEdit(session.doc());
    session.forgetRemovedSignals();
    return status;
}

constexpr EditCommand kCommands[] = {
    {"fill value", "VALUE", "fill the selected range with one value", true, runFillValue},
    {"fill clock", "PERIOD [offset TIME] [width PERCENT] [high|low]",
     "fill the selected range of logic signals with a clock", true, runFillClock},
    {"fill formula", "FORMULA", "fill the selected range with value-time pairs", true,
     runFillFormula},
    {"stretch", "PERCENT [insert|overwrite]", "scale the selected range", true, runStretch},
    {"insert time", "LENGTH [at TIME]",
     "insert time into the selected signals at TIME (the selection's start)", true, runInsertTime},
    {"delete time", "", "delete the selected range, moving later events earlier", true,
     runDeleteTime},
    {"clear", "[SIGNAL...]", "remove every event of signals", true, runClear},
    {"copy", "", "copy the selected signals (over the selected range, when there is one)", false,
     runCopy},
    {"cut", "", "copy, then remove what was copied", true, runCut},
    {"paste", "SIGNAL TIME", "paste what was copied at a signal's row and a time", true, runPaste},
    {"undo", "", "undo the last change", false, runUndo},
    {"redo", "", "redo the last undone change", false, runRedo},
};

} // namespace

std::span<const EditCommand> waveEditCommands() {
    return kCommands;
}
