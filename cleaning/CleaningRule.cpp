#include "cleaning/CleaningRule.h"

#include "common/Text.h"

namespace pw {

QByteArray cleaningRule(const QByteArray& typed) {
    return trimmed(typed);
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
