#pragma once

// One run of an edit script over one document.
//
// The session holds what lives between commands: the selection (signals and a time range, as
// the window's selection), the clipboard of copy and cut, and the saves held back until the end.
// It runs one script line at a time through the dispatch table; a command that changes the
// document runs inside one undo item, cancelled when the command fails.

#include "app/EditArguments.h"
#include "app/EditCommand.h"
#include "app/EditHost.h"
#include "app/EditOperations.h"
#include "app/EditSaves.h"
#include "app/EditScript.h"

#include <string>
#include <vector>

class KDoc;

class EditSession {
public:
    // `output` is where the edited document goes when the script ends (and `save` without a
    // file).
    EditSession(KDoc& doc, EditHost& host, std::string output);

    // The message of the first line that cannot be a command (an unclosed quote, an unknown
    // command), "FILE:LINE: ..."; empty when every line names a command.
    static std::string check(const EditScript& script);

    // Runs one line; done, or refused with a message (without the file and line).
    EditStatus run(const EditScriptLine& line);
    // Saves to the output and moves every save onto its target; false with `error` set.
    bool finish(std::string& error);

    KDoc& doc() { return m_doc; }
    EditSelection& selection() { return m_selection; }
    EditClipboard& clipboard() { return m_clipboard; }
    EditSaves& saves() { return m_saves; }
    const std::string& output() const { return m_output; }

    // The signal a word names (full name, letter case ignored, or its own name when unique);
    // throws EditCommandError naming the word when there is none.
    SignalHandle signal(const EditWord& word) const;
    // The signals named by the remaining words, or the selected ones when none remain; throws
    // when there are neither.
    std::vector<SignalHandle> signalsOrSelection(EditArguments& arguments) const;
    // Throw when the selection lacks signals or a time range.
    void requireSignals() const;
    void requireTimeRange() const;
    // Drops the signals the document no longer holds from the selection.
    void forgetRemovedSignals();

private:
    KDoc& m_doc;
    EditHost& m_host;
    std::string m_output;
    EditSelection m_selection;
    EditClipboard m_clipboard;
    EditSaves m_saves;
};
