#include "cleaning/CleaningRule.h"

#include "common/Text.h"

namespace pw {

QByteArray cleaningRule(const QByteArray& typed) {
    return trimmed(typed);
}

QByteArray describeRuleError(const EPcreError& error) {
    if (error.offset() < 0) return "invalid rule: the rule is empty";
    return "invalid rule at offset " + QByteArray::number(error.offset()) + ": " +
           error.pcreMessage();
}

std::optional<EPcreError> checkCleaningRule(const QByteArray& typed) {
    TPcreRegEx matcher;
    matcher.setRegEx(cleaningRule(typed));
    matcher.setOptions(CleaningRuleOptions);
    try {
        matcher.Compile();
    } catch (const EPcreError& error) {
        return error;
    }
    return std::nullopt;
}

} // namespace pw
