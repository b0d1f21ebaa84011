#include "cli/CommandParser.h"

#include "cleaning/CleaningRule.h"
#include "common/Defaults.h"
#include "platform/SettingsStore.h"
#include "search/TargetSearch.h"

#include <cstdio>

namespace pw::cli {

CommandParser::CommandParser(const Invocation& invocation)
    : m_invocation(invocation)
    , m_command(*invocation.command) {
    m_parser.setApplicationDescription(QString::fromUtf8(m_command.summary));
    m_parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    m_parser.addOption({{"h", "help"}, "Show this help."});
    m_parser.addOption({"version", "Show the version."});
}

void CommandParser::addKeywordOption() {
    m_parser.addOption(
        {"keyword",
         QString("The attacker's keyword (default: the one the window saved, else %1).")
             .arg(DefaultKeyword),
         "TEXT"});
}

void CommandParser::addKeywordOptions() {
    addKeywordOption();
    m_parser.addOption({"rule",
                        "The regular expression of one injected element (default: the "
                        "inline frame, script and bracketed frame rule).",
                        "REGEX"});
}

void CommandParser::addOutputOptions() {
    m_parser.addOption({"json", "Print one JSON object per line."});
    m_parser.addOption({{"q", "quiet"}, "Print nothing but errors."});
}

void CommandParser::addBackupOption() {
    m_parser.addOption({"no-backup", "Keep no backup and no journal of the rewrites of this run "
                                     "(they cannot be restored)."});
}

QByteArray jobFolder(const QList<QByteArray>& paths) {
    if (paths.size() == 1) return ExpandPath(paths.first());
    // Several paths: the folder that holds them all, so a record stays short whatever the count.
    QByteArray common;
    for (qsizetype i = 0; i < paths.size(); ++i) {
        const QByteArray full = ExpandPath(paths[i]);
        const QByteArray folder = full.left(full.lastIndexOf('/') + 1);
        if (i == 0) {
            common = folder;
            continue;
        }
        qsizetype n = 0;
        while (n < common.size() && n < folder.size() && common[n] == folder[n])
            ++n;
        common.truncate(common.lastIndexOf('/', n - 1) + 1);
    }
    return common.size() > 1 && common.endsWith('/') ? common.chopped(1) : common;
}

void CommandParser::addPositional(const QString& name, const QString& description,
                                  const QString& syntax) {
    m_parser.addPositionalArgument(name, description, syntax);
}

std::optional<int> CommandParser::parse() {
    if (!m_parser.parse(m_invocation.text)) return usageError(m_parser.errorText().toLocal8Bit());
    if (m_parser.isSet("help")) {
        // Qt's first line names the program alone; show the subcommand's own synopsis.
        const QByteArray help = m_parser.helpText().toLocal8Bit();
        std::printf("Usage: pagewarden-cli %s\n%s", m_command.synopsis,
                    help.mid(help.indexOf('\n') + 1).constData());
        return ExitSuccess;
    }
    if (m_parser.isSet("version")) {
        std::printf("pagewarden-cli %s\n", PAGEWARDEN_VERSION);
        return ExitSuccess;
    }
    return std::nullopt;
}

int CommandParser::usageError(const QByteArray& message) const {
    std::fprintf(stderr, "pagewarden-cli %s: %s\nTry 'pagewarden-cli %s --help'.\n", m_command.name,
                 message.constData(), m_command.name);
    return ExitUsage;
}

QByteArray CommandParser::raw(const QString& decoded) const {
    // Valid UTF-8 decodes and encodes back to the same bytes; anything else is looked up in the
    // bytes as given.
    if (!decoded.contains(QChar::ReplacementCharacter)) return decoded.toLocal8Bit();
    for (const QByteArray& arg : m_invocation.raw) {
        const QString text = QString::fromLocal8Bit(arg);
        if (text == decoded) return arg;
        const qsizetype eq = arg.indexOf('=');
        if (text.startsWith("--") && eq > 0 && QString::fromLocal8Bit(arg.mid(eq + 1)) == decoded)
            return arg.mid(eq + 1);
    }
    return decoded.toLocal8Bit();
}

QByteArray CommandParser::value(const QString& name) const {
    return raw(m_parser.value(name));
}

QList<QByteArray> CommandParser::positional() const {
    QList<QByteArray> out;
    for (const QString& arg : m_parser.positionalArguments())
        out.append(raw(arg));
    return out;
}

QByteArray CommandParser::keyword() const {
    if (m_parser.isSet("keyword")) return value("keyword");
    return storedKeyword();
}

// The keyword the window saved at its last search, read without creating anything; any failure
// leaves the default, as in the window.
QByteArray storedKeyword(bool* stored) {
    if (stored) *stored = false;
    try {
        const QByteArray text =
            TSettingsStore::fromEnvironment().readString(SettingsKey, "SearchKey");
        if (!text.isEmpty()) {
            if (stored) *stored = true;
            return text;
        }
    } catch (const ERegistryError&) {
    }
    return DefaultKeyword;
}

QByteArray CommandParser::keywordOrigin() const {
    if (m_parser.isSet("keyword")) return "--keyword";
    bool stored = false;
    storedKeyword(&stored);
    return stored ? "the stored setting" : "the default";
}

void CommandParser::announceKeywordAndRule() const {
    if (quiet()) return;
    std::fprintf(stderr, "pagewarden-cli: keyword \"%s\" (from %s), rule %s\n",
                 keyword().constData(), keywordOrigin().constData(),
                 m_parser.isSet("rule") ? rule().constData() : "the default rule");
}

bool CommandParser::refuseRule(const QByteArray& rule) const {
    const auto error = checkCleaningRule(rule);
    if (!error) return false;
    std::fprintf(stderr, "pagewarden-cli: %s\n", describeRuleError(*error).constData());
    return true;
}

QByteArray CommandParser::rule() const {
    return m_parser.isSet("rule") ? value("rule") : DefaultRule;
}

} // namespace pw::cli
