#pragma once
// Helpers of the view tests.

#include <sstream>
#include <string>
#include <vector>

namespace viewtest {

// The lines of a text split at LF.
inline std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

}  // namespace viewtest
