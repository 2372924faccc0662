// Edit scripts must survive any text: every line either runs or is refused with a message, over
// a small document with a logic signal and a vector. Saves are skipped so that no file is made.
#include "app/EditCommand.h"
#include "app/EditHost.h"
#include "app/EditSession.h"
#include "document/KDoc.h"
#include "storage/KEventsWriteHandle.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

SignalHandle addSignal(KDoc& doc, const char* name, KTypesManager::TypeIndex type) {
    KSignalRecordPtr record = KSignalRecord::create(name);
    record->setHierarchyIndex(doc.hierarchy().intern("tb/"));
    const SignalHandle handle = doc.addRecord(record);
    doc.setTypeInfo(handle, type);
    doc.createElements(handle);
    const SignalHandle rows[] = {handle};
    doc.insertRows(doc.rowCount(), rows);
    return handle;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string_view commands[] = {text};
    const EditScript script = EditScript::fromCommands(commands);

    EditHost host;
    KDoc doc(&host);
    KEventsWriteHandle writer = KEventsWriteHandle::createMemory();
    const std::uint8_t values[] = {2, 3};
    for (int i = 0; i < 2; ++i) {
        writer.setTime(i * 10000);
        writer.writeValue(0, &values[i], 1);
    }
    const SignalHandle clk = addSignal(doc, "clk", KTypesManager::kStdLogicIndex);
    doc.record(clk)->segments().insert(
        KEventSegment({0, 0}, {30000, 0}, KEventsReadHandle::fromWriter(writer), 0),
        InsertForm::Overwrite);
    addSignal(doc, "data",
              doc.types().registerType("a#16#std_logic_vector1(3d0)e#9#std_logicc9 UX01ZWLH-"));

    EditSession session(doc, host, "unused.awf");
    (void)EditSession::check(script);
    for (const EditScriptLine& line : script.lines()) {
        std::size_t nameWords = 0;
        std::string error;
        const EditCommand* command = findEditCommand(line, nameWords, error);
        if (command != nullptr && command->name == "save")
            continue;
        const EditStatus status = session.run(line);
        if (!status.ok() && status.message().empty())
            std::abort();
    }
    return 0;
}
