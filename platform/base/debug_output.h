// The debugger output: a thread-safe sink for OutputDebugString lines. Tests capture the lines;
// nothing is printed unless QUORELLE_DEBUG_OUTPUT is set (then each line goes to standard error).
#pragma once

#include <string>
#include <vector>

namespace qbase::debug {

void write(const std::string& text);
// Capture for tests: lines written since the last clear.
std::vector<std::string> captured();
void clearCaptured();

}  // namespace qbase::debug
