// The condition of If and Else If statements.
#pragma once

#include <cstddef>
#include <string_view>

namespace velmora {

class Interpreter;

// Compares the value of the variable named by parameter 1 with parameter 3 by the operator
// code of parameter 2 ("0"-"5"), negated by parameter 4.
bool EvaluateCondition(Interpreter& in, std::size_t statement);

// The comparison itself, for values already prepared: numeric when both are 32-bit integers.
bool CompareCondition(std::string_view op, std::string_view left, std::string_view right);

} // namespace velmora
