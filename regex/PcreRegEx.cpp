#include "regex/PcreRegEx.h"

#include "common/Assert.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <cstdio>

namespace pw {

namespace {

// Compile flags of the option members, in member order.
constexpr quint32 OptionFlags[8] = {
    PCRE2_CASELESS,
    PCRE2_MULTILINE,
    PCRE2_DOTALL,
    PCRE2_EXTENDED,
    PCRE2_ANCHORED,
    PCRE2_DOLLAR_ENDONLY,
    0 /* preExtra: PCRE2 always refuses unknown escapes */,
    PCRE2_UNGREEDY,
};

constexpr quint32 MatchFlagValues[3] = {PCRE2_NOTBOL, PCRE2_NOTEOL, PCRE2_NOTEMPTY};

constexpr const char* Unit = "PcreRegEx";

// A rule that nests (a recursion, or a group repeated along a long line) needs stack for every
// level it holds open. Each unclosed opening on a line is tried again as a start, so a line of
// thousands of them costs the square of the depth allowed: these bounds keep such a line to a
// fraction of a second, after which the search gives up (see matchError).
constexpr size_t JitStackSize = 16 * 1024;
constexpr uint32_t InterpreterDepthLimit = 250;

} // namespace

struct TPcreRegEx::Pcre {
    const uint8_t* tables = nullptr;
    pcre2_code* code = nullptr;
    pcre2_match_data* matchData = nullptr;
    pcre2_match_context* context = nullptr;
    pcre2_jit_stack* jitStack = nullptr;

    Pcre()
        : tables(pcre2_maketables(nullptr))
        , matchData(pcre2_match_data_create(MaxPairs, nullptr))
        , context(pcre2_match_context_create(nullptr))
        , jitStack(pcre2_jit_stack_create(JitStackSize, JitStackSize, nullptr)) {
        if (!tables || !matchData || !context) throw std::bad_alloc();
        pcre2_set_depth_limit(context, InterpreterDepthLimit);
        // Without a stack of its own (no JIT built in) the JIT is not used anyway.
        if (jitStack) pcre2_jit_stack_assign(context, nullptr, jitStack);
    }
    ~Pcre() {
        pcre2_code_free(code);
        pcre2_match_data_free(matchData);
        pcre2_match_context_free(context);
        pcre2_jit_stack_free(jitStack);
        pcre2_maketables_free(nullptr, tables);
    }
    Pcre(const Pcre&) = delete;
    Pcre& operator=(const Pcre&) = delete;
};

EPcreError::EPcreError(const std::string& message, long long offset, QByteArray pcreMessage)
    : std::runtime_error(message)
    , m_offset(offset)
    , m_pcreMessage(std::move(pcreMessage)) {}

TPcreRegEx::TPcreRegEx(QObject* owner)
    : QObject(owner)
    , m_pcre(std::make_unique<Pcre>()) {}

TPcreRegEx::~TPcreRegEx() = default;

void TPcreRegEx::setOptions(TPcreRegExOptions options) {
    if (options == m_options) return;
    m_options = options;
    m_pcreOptions = 0;
    for (int i = 0; i < 8; ++i)
        if (options.contains(static_cast<TPcreRegExOption>(i))) m_pcreOptions |= OptionFlags[i];
    reset();
}

void TPcreRegEx::setRegEx(const QByteArray& pattern) {
    if (pattern == m_regEx) return;
    m_regEx = pattern;
    reset();
}

void TPcreRegEx::setSubject(const QByteArray& subject) {
    m_subject = subject;
    m_start = 1;
    m_stop = subject.size();
    m_matchCount = 0;
    m_matchError = 0;
}

void TPcreRegEx::setJitEnabled(bool enabled) {
    if (enabled == m_jitEnabled) return;
    m_jitEnabled = enabled;
    reset();
}

void TPcreRegEx::reset() {
    m_compiled = false;
    pcre2_code_free(m_pcre->code);
    m_pcre->code = nullptr;
    m_matchCount = 0;
}

void TPcreRegEx::Compile() {
    if (m_regEx.isEmpty())
        throw EPcreError(
            "TPcreRegEx.Compile() - Please specify a regular expression in RegEx first", -1, {});
    reset();

    pcre2_compile_context* context = pcre2_compile_context_create(nullptr);
    pcre2_set_character_tables(context, m_pcre->tables);
    // Fixed rather than left to how PCRE2 was built: '.' stops at LF only, as the rules expect.
    pcre2_set_newline(context, PCRE2_NEWLINE_LF);
    // Unknown escapes such as \j are literal letters unless preExtra asks for an error.
    if (!m_options.contains(preExtra))
        pcre2_set_compile_extra_options(context, PCRE2_EXTRA_BAD_ESCAPE_IS_LITERAL);

    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    pcre2_code* code =
        pcre2_compile(reinterpret_cast<PCRE2_SPTR>(m_regEx.constData()), PCRE2_SIZE(m_regEx.size()),
                      m_pcreOptions | PCRE2_USE_OFFSET_LIMIT, &errorCode, &errorOffset, context);
    pcre2_compile_context_free(context);

    if (!code) {
        PCRE2_UCHAR text[256];
        pcre2_get_error_message(errorCode, text, sizeof text);
        const QByteArray pcreText(reinterpret_cast<const char*>(text));
        char message[400];
        std::snprintf(message, sizeof message,
                      "TPcreRegEx.Compile() - Error in regex at offset %d: %s",
                      static_cast<int>(errorOffset), pcreText.constData());
        throw EPcreError(message, static_cast<long long>(errorOffset), pcreText);
    }
    // Without the JIT (not built in, or no executable memory) the interpreter gives the same
    // results.
    if (m_jitEnabled) pcre2_jit_compile(code, PCRE2_JIT_COMPLETE);
    m_pcre->code = code;
    m_compiled = true;
}

bool TPcreRegEx::Match() {
    return search(0);
}

bool TPcreRegEx::MatchNext() {
    return search(m_start - 1);
}

bool TPcreRegEx::search(qsizetype startOffset) {
    if (!m_compiled) Compile();

    quint32 flags = 0;
    for (int i = 0; i < 3; ++i)
        if (m_matchFlags.contains(static_cast<TPcreMatchFlag>(i))) flags |= MatchFlagValues[i];

    if (m_stop < startOffset + 1) {
        m_matchCount = -1;
        m_matchError = 0;
        return false;
    }
    const auto* subject = reinterpret_cast<PCRE2_SPTR>(m_subject.constData());
    pcre2_set_offset_limit(m_pcre->context,
                           m_startLimit > 0 ? PCRE2_SIZE(m_startLimit - 1) : PCRE2_UNSET);
    int rc = pcre2_match(m_pcre->code, subject, PCRE2_SIZE(m_stop), PCRE2_SIZE(startOffset), flags,
                         m_pcre->matchData, m_pcre->context);
    // The JIT's own stack is small; the interpreter keeps its backtracking on the heap and
    // reaches the same answer, within its depth limit.
    if (rc == PCRE2_ERROR_JIT_STACKLIMIT)
        rc = pcre2_match(m_pcre->code, subject, PCRE2_SIZE(m_stop), PCRE2_SIZE(startOffset),
                         flags | PCRE2_NO_JIT, m_pcre->matchData, m_pcre->context);
    // A negative result (no match or an error) and 0 (too many groups for the vector) are both
    // no match; a failed search leaves the start position as it was.
    m_matchCount = rc;
    m_matchError = rc < 0 && rc != PCRE2_ERROR_NOMATCH ? rc : 0;
    if (rc <= 0) return false;

    const PCRE2_SIZE* vector = pcre2_get_ovector_pointer(m_pcre->matchData);
    // 1-based positions; an unset group's PCRE2_UNSET wraps to 0.
    for (int i = 0; i < 2 * rc; ++i)
        m_offsets[i] = static_cast<qsizetype>(vector[i] + 1);
    m_start = m_offsets[1];
    if (m_offsets[0] == m_offsets[1]) ++m_start;

    if (OnMatch) OnMatch(this);
    return true;
}

int TPcreRegEx::GroupCount() const {
    PW_REQUIRE(m_matchCount > 0, "There must be a successful match first", Unit);
    return m_matchCount - 1;
}

qsizetype TPcreRegEx::groupStart(int i) const {
    PW_REQUIRE(m_matchCount > 0, "There must be a successful match first", Unit);
    return i >= 0 && i < m_matchCount ? m_offsets[2 * i] : 0;
}

qsizetype TPcreRegEx::groupEnd(int i) const {
    PW_REQUIRE(m_matchCount > 0, "There must be a successful match first", Unit);
    return i >= 0 && i < m_matchCount ? m_offsets[2 * i + 1] : 0;
}

QByteArray TPcreRegEx::Group(int i) const {
    PW_REQUIRE(m_matchCount > 0, "There must be a successful match first", Unit);
    if (i < 0 || i > m_matchCount - 1) return {};
    const qsizetype from = m_offsets[2 * i];
    const qsizetype to = m_offsets[2 * i + 1];
    if (from == 0) return {};
    return m_subject.mid(from - 1, to - from);
}

} // namespace pw
