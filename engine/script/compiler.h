// The compile pass run once before the script starts: block balance, labels, declared
// variables of conditions and result parameters, wizard-loop content; it also builds the
// per-statement StatementStates and the LabelTable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "bootstrap/payload/payload.h"
#include "core/text_list.h"

namespace velmora {

struct CompileResult {
    static constexpr std::int64_t kAccepted = -1;
    // Index reported when the numbers of block openers and End statements differ.
    static constexpr std::int64_t kEndCountMismatch = 0x7FFFFFFC;

    std::int64_t index = kAccepted;     // kAccepted, the offending statement, or kEndCountMismatch
    std::string message = "Script compiled successfully";
    // One entry per statement reached: "SKIP", or "FALSE" for a statement that changes the
    // target system through the installation package (its command sets it to "TRUE" later).
    TextList statementStates;
    // The upper-cased names of all Label statements (commented ones included).
    TextList labelTable;

    bool accepted() const { return index == kAccepted; }
};

// Parameter k (from 1) of statement i as stored; empty when there is none.
using StatementParameterReader = std::function<std::string(std::size_t statement, std::size_t k)>;

// The pass over statement names and flags ("C" = commented out), reading parameters through
// parameter. It keeps its own table of declared names and does not touch the variable store.
// The first error ends the pass with its index and message.
CompileResult CompileScript(const TextList& statementNames, const TextList& statementFlags,
                            const StatementParameterReader& parameter);

// The same over the payload's lists: parameters are found by statement GUID.
inline CompileResult CompileScript(const TextList& statementNames, const TextList& statementIds,
                                   const TextList& statementFlags, const std::vector<const TextList*>& parameterLists) {
    return CompileScript(statementNames, statementFlags, [&](std::size_t i, std::size_t k) {
        return i < statementIds.size() ? statementParameter(parameterLists, statementIds[i], k) : std::string();
    });
}

inline CompileResult CompileScript(const SetupPayload& payload) {
    return CompileScript(payload.statementNames, payload.statementIds, payload.statementFlags, payload.parameterLists());
}

} // namespace velmora
