#pragma once

#include <QByteArray>
#include <QList>

#include <functional>

namespace pw {

class TPcreRegEx;

// Gives the keyword as it stands now; asked anew for every match tested, so an edit made while
// a file is being cleaned applies to the matches tested after it. Trimmed and lower-cased by the
// cleaner.
using KeywordSource = std::function<QByteArray()>;

struct TextCleaning {
    QByteArray text;           // the cleaned bytes
    bool ruleMatched = false;  // the rule found at least one match
    QList<QByteArray> removed; // each copy of a match text removed, in the order found
    // False when the rule ran out of matching limits on some line: that line was left as it was
    // (no match was taken from it) and the rest of the text was still cleaned.
    bool complete = true;
};

// Cleans a file's bytes in memory: line breaks normalised to CR LF; then, if the rule matches,
// for every match whose lower-cased text holds the keyword, three removal passes over the text
// (the text followed by CR LF, the text, the text followed by CR LF), re-cutting the text into
// CR LF lines after each pass. Matches are found in the text as first loaded. The matcher's
// RegEx and Options must be set; its Subject is replaced. Throws EPcreError for a bad rule.
TextCleaning cleanText(const QByteArray& data, TPcreRegEx& matcher, const KeywordSource& keyword);

// Removes every occurrence of pattern, searching on after each removal in the text as it was
// (bytes that meet because of a removal are not searched again). Returns how many went; seams,
// when given, receives the position in the result where each removal took place.
qsizetype removeAll(QByteArray& text, const QByteArray& pattern, QList<qsizetype>* seams = nullptr);

} // namespace pw
