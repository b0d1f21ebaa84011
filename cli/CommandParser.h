#pragma once

#include "cli/Command.h"

#include <QCommandLineParser>

#include <optional>

namespace pw::cli {

// QCommandLineParser for one subcommand, with the options every subcommand shares and values
// handed back as the bytes the user gave.
class CommandParser {
public:
    explicit CommandParser(const Invocation& invocation);

    void addOption(const QCommandLineOption& option) { m_parser.addOption(option); }
    void addKeywordOptions(); // --keyword, --rule
    void addKeywordOption();  // --keyword alone
    void addOutputOptions();  // --json, --quiet
    void addBackupOption();   // --no-backup
    void addPositional(const QString& name, const QString& description, const QString& syntax);

    // Parses; answers --help and --version itself. An exit status when the command should stop
    // here (help shown, or a usage error already reported on stderr).
    std::optional<int> parse();

    // Reports a usage error on stderr with a pointer to --help; returns ExitUsage.
    int usageError(const QByteArray& message) const;

    bool isSet(const QString& name) const { return m_parser.isSet(name); }
    QByteArray value(const QString& name) const;
    QList<QByteArray> positional() const;

    QByteArray keyword() const; // --keyword, else the stored keyword, else the default
    QByteArray rule() const;    // --rule, or the default rule
    // Where keyword() comes from: "--keyword", "the stored setting" or "the default".
    QByteArray keywordOrigin() const;
    // Once at start on stderr (nothing with --quiet): the keyword, where it came from, and the
    // rule, so that a keyword saved by the window is never used unnoticed.
    void announceKeywordAndRule() const;
    // An empty or invalid rule on stderr as "invalid rule at offset N: TEXT"; true when refused.
    bool refuseRule(const QByteArray& rule) const;
    bool json() const { return m_parser.isSet("json"); }
    bool quiet() const { return m_parser.isSet("quiet"); }

private:
    QByteArray raw(const QString& decoded) const;

    const Invocation& m_invocation;
    const Command& m_command;
    QCommandLineParser m_parser;
};

// The folder a job names in the history: the full path given, or the folder holding them all.
QByteArray jobFolder(const QList<QByteArray>& paths);

// The keyword the window saved ("SearchKey"), or the default keyword when there is none (stored
// then says which).
QByteArray storedKeyword(bool* stored = nullptr);

} // namespace pw::cli
