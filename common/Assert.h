#pragma once

#include <stdexcept>
#include <string>

namespace pw {

// A broken precondition of a caller: "<message> (<unit>, line <n>)".
class EAssertionFailed : public std::logic_error {
public:
    EAssertionFailed(const std::string& message, const char* unit, int line)
        : std::logic_error(message + " (" + unit + ", line " + std::to_string(line) + ")") {}
};

} // namespace pw

#define PW_REQUIRE(condition, message, unit)                                                       \
    do {                                                                                           \
        if (!(condition))                                                                          \
            throw ::pw::EAssertionFailed(std::string("REQUIRE: ") + (message), unit, __LINE__);    \
    } while (false)
