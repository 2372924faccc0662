#include "app/EditSession.h"

#include "app/VerbSupport.h"
#include "document/KDoc.h"
#include "storage/KFileException.h"

#include <algorithm>
#include <new>

EditSession::EditSession(KDoc& doc, EditHost& host, std::string output)
    : m_doc(doc), m_host(host), m_output(std::move(output)), m_saves(host) {}

std::string EditSession::check(const EditScript& script) {
    for (const EditScriptLine& line : script.lines()) {
        std::string error = line.error;
        std::size_t nameWords = 0;
        if (error.empty() && findEditCommand(line, nameWords, error) != nullptr)
            continue;
        return line.source + ":" + std::to_string(line.number) + ": " + error;
    }
    return {};
}

EditStatus EditSession::run(const EditScriptLine& line) {
    if (!line.error.empty())
        return EditStatus::refused(line.error);
    std::size_t nameWords = 0;
    std::string unknown;
    const EditCommand* command = findEditCommand(line, nameWords, unknown);
    if (command == nullptr)
        return EditStatus::refused(unknown);
    EditArguments arguments(line, nameWords, command->usage());
    m_host.takeMessages();
    if (command->changesDocument)
        beginEditItem(m_doc);
    EditStatus status = EditStatus::done();
    try {
        status = command->run(*this, arguments);
    } catch (const EditCommandError& error) {
        status = EditStatus::refused(error.what());
    } catch (const KFileException& error) {
        status = EditStatus::refused(error.what());
    } catch (const std::bad_alloc&) {
        status = EditStatus::refused("not enough memory");
    }
    if (command->changesDocument) {
        if (status.ok())
            commitEditItem(m_doc);
        else
            cancelEditItem(m_doc);
    }
    // A refusal the document explained to its host ("This signal is read-only") says why.
    if (!status.ok() && status.message() == EditStatus::refused({}).message()) {
        if (std::string why = m_host.takeMessages(); !why.empty())
            status = EditStatus::refused(why);
    }
    if (status.ok())
        return status;
    return EditStatus::refused(std::string(command->name) + ": " + status.message());
}

bool EditSession::finish(std::string& error) {
    const EditStatus saved = m_saves.save(m_doc, m_output);
    if (!saved.ok()) {
        error = saved.message();
        return false;
    }
    return m_saves.commit(error);
}

SignalHandle EditSession::signal(const EditWord& word) const {
    const SignalHandle handle = findSignal(m_doc, word.text);
    if (handle == 0)
        throw EditCommandError("no signal '" + word.text + "'");
    return handle;
}

std::vector<SignalHandle> EditSession::signalsOrSelection(EditArguments& arguments) const {
    std::vector<SignalHandle> handles;
    while (!arguments.atEnd()) {
        const SignalHandle handle = signal(arguments.word("SIGNAL"));
        if (std::find(handles.begin(), handles.end(), handle) == handles.end())
            handles.push_back(handle);
    }
    if (handles.empty()) {
        requireSignals();
        handles = m_selection.signals;
    }
    return handles;
}

void EditSession::requireSignals() const {
    if (m_selection.signals.empty())
        throw EditCommandError("no signals given or selected (select SIGNAL... first)");
}

void EditSession::requireTimeRange() const {
    if (!m_selection.hasTimeRange())
        throw EditCommandError("no time range selected (select time FROM TO first)");
}

void EditSession::forgetRemovedSignals() {
    std::erase_if(m_selection.signals, [&](SignalHandle h) { return !m_doc.contains(h); });
}
