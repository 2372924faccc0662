#pragma once

// The saves of an edit script, held back until the script has run to its end.
//
// Each save writes the whole document (through the document's own save) into a hidden file
// beside its target; only commit moves those files onto their targets. A script that stops on an
// error therefore leaves every file it named as it was, the input included, and the hidden
// files are removed when the saves are dropped.

#include "app/EditHost.h"
#include "app/EditOperations.h"

#include <string>
#include <utility>
#include <vector>

class KDoc;

class EditSaves {
public:
    explicit EditSaves(EditHost& host) : m_host(host) {}
    EditSaves(const EditSaves&) = delete;
    EditSaves& operator=(const EditSaves&) = delete;
    ~EditSaves();

    // Writes the document for `target` (a later save to the same target replaces it). Refused
    // for a target that is not a waveform file (.awf) or that cannot be written, with what the
    // document reported.
    EditStatus save(KDoc& doc, const std::string& target);
    // Moves every held file onto its target, in the order saved; false with `error` set when one
    // cannot be moved (those before it are in place).
    bool commit(std::string& error);

private:
    EditHost& m_host;
    std::vector<std::pair<std::string, std::string>> m_pending; // target, hidden file
};
