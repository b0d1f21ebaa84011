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

QByteArray describeRuleErrorChinese(long long offset, const QByteArray& pcreMessage) {
    if (offset < 0) return "正则匹配规则为空";
    return "正则匹配规则无效（位置 " + QByteArray::number(offset) + "）: " + pcreMessage;
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
