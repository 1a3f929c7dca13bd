// Fuzzes the script's text readers on one input: the expression evaluator, the comma form read
// into the store (and written back and read again), and $NAME$ expansion over a store holding
// the input's own pairs plus variables that refer to themselves.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "script/expression.h"
#include "script/variables.h"

using namespace velmora;

namespace {

void check(bool ok) {
    if (!ok) __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    const std::string verdict = EvaluateExpressionText(input);
    check(verdict == "TRUE" || verdict == "FALSE" || verdict == "ERROR");

    // Whatever the comma text, a snapshot of the restored store restores to the same store.
    // Tight expansion bounds keep each run short; the bounds work the same at any size.
    const ExpansionLimits limits{2000, 1 << 16};
    TVariableManager store(limits);
    store.RestoreSnapshot(input);
    TVariableManager copy;
    copy.RestoreSnapshot(store.VariableSnapshot());
    TextList pairs, copied;
    check(store.ListPairs(pairs) == copy.ListPairs(copied));
    for (std::size_t i = 0; i + 1 < pairs.size(); i += 2) check(copy.FetchValue(pairs[i]) == pairs[i + 1]);

    store.StoreValue("LOOP", "$LOOP$");
    store.StoreValue("PING", "$PONG$");
    store.StoreValue("PONG", "$PING$$PING$");
    store.StoreValue("T", "x");
    const std::string expanded = store.ExpandText(input);
    if (input.find('$') == std::string_view::npos) check(expanded == input);
    check(expanded.size() <= input.size() + limits.maxGrowthBytes);
    store.ExpandQuoted(input);
    CollapseDoubledBackslashes(expanded, true);
    ExpandCompilerVariables(input, pairs);
    return 0;
}
