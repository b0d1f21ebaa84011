#include "search/Persistent.h"

namespace pw {

EAssignError::EAssignError(const char* sourceClass, const char* targetClass)
    : std::runtime_error(std::string("Cannot assign a ") + sourceClass + " to a " + targetClass) {}

} // namespace pw
