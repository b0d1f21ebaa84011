#include "tests/cleaning/CleaningCases.h"

#include <vector>

namespace pw::test {

namespace {

const QByteArray K = "evilstats.example";
const QByteArray Script = "<script src=\"http://evilstats.example/a.js\"></script>";
const QByteArray Frame = "<IFRAME src=\"http://EvilStats.Example/\" width=0></ifrAme>";
const QByteArray Bracket = "[ifraMe src=http://evilstats.example/][/IFRAME]";
const QByteArray Escaped = "<SCRIPT>document.write('evilstats.example')<\\/script>";
const QByteArray Legit = "<script src=\"/js/menu.js\"></script>";

// A minified line whose own code holds "<script" in a string, with an element appended.
const QByteArray Minified =
    R"JS(!function(){var t="<script",e="</"+"script>";window.tpl=function(n){return t+">"+n+e}}();)JS";
// A script that writes a script, its inner closing slash escaped.
const QByteArray Writer = "<script type=\"text/javascript\">document.write(\"<script "
                          "src='http://evilstats.example/s.js'><\\/script>\");</script>";

QByteArray bytes(const char* text, qsizetype size) {
    return QByteArray(text, size);
}

} // namespace

std::span<const CleaningCase> cleaningCases() {
    static const std::vector<CleaningCase> cases = {
        {"empty file stays empty", "", "", K, {}},
        {"no final break and no match: break stays missing", "a\nb", "a\r\nb", K, {}},
        {"already clean CR LF text", "a\r\nb", "a\r\nb", K, {}},
        {"lone CR and LF become CR LF", "a\rb\nc\r\n", "a\r\nb\r\nc\r\n", K, {}},
        {"LF then CR is two breaks", "a\n\rb", "a\r\n\r\nb", K, {}},
        {"match without keyword: final CR LF added", Legit + "\nb", Legit + "\r\nb\r\n", K, {}},
        {"a line of only an element vanishes", "a\r\n" + Script + "\r\nb\r\n", "a\r\nb\r\n", K, {}},
        {"text before an element joins the next line", "x" + Frame + "\ny\n", "xy\r\n", K, {}},
        {"element inside a line", "x" + Bracket + "y", "xy\r\n", K, {}},
        {"escaped closing slash", Escaped + "\r\n" + Legit + "\r\n", Legit + "\r\n", K, {}},
        {"every copy goes with the first accepted match",
         Script + "\r\n" + Script + "\r\nmid " + Script + " mid\r\n" + Script,
         "mid  mid\r\n",
         K,
         {}},
        {"keyword in capitals, element in mixed case", Frame + "\n", "", "EVILSTATS.EXAMPLE", {}},
        {"keyword trimmed", "a" + Script + "\n", "a\r\n", " \t" + K + " \r\n", {}},
        {"letters beyond A-Z are not folded",
         "<script>\xC3\x89VIL</script>\n",
         "<script>\xC3\x89VIL</script>\r\n",
         "\xC3\xA9vil",
         {}},
        {"blank keyword removes nothing", Script, Script + "\r\n", "  ", {}},
        {"element across a line break stays",
         "<script>evilstats.example\n</script>",
         "<script>evilstats.example\r\n</script>",
         K,
         {}},
        {"legit elements stay, injected go",
         Legit + Script + "\r\n<iframe src=\"/map.html\"></iframe>\r\n" + Frame + "\r\n",
         Legit + "<iframe src=\"/map.html\"></iframe>\r\n",
         K,
         {}},
        {"NUL and high bytes are ordinary bytes",
         bytes("a\0\xB0\xA1"
               "b",
               5) +
             Script + "\n",
         bytes("a\0\xB0\xA1"
               "b\r\n",
               7),
         K,
         {}},
        {"a string holding <script earlier on a minified line stays",
         Minified + Script + "\n",
         Minified + "\r\n",
         K,
         {}},
        {"a script that writes a script goes whole", "a\n" + Writer + "\nb\n", "a\r\nb\r\n", K, {}},
        {"a lone document.write keeps its call",
         "document.write(\"<script src='http://evilstats.example/s.js'><\\/script>\");\n",
         "document.write(\"\");\r\n",
         K,
         {}},
        {"nested frames and bracketed frames go whole",
         "x<iframe src=/a><iframe src=//evilstats.example/></iframe></iframe>y"
         "[ifrAme a][IFRAME evilstats.example][/iframe][/iframe]z\n",
         "xyz\r\n",
         K,
         {}},
        {"third pass removes what the second joined", "aabb\r\n", "", "ab", "ab"},
        {"a lone LF left by a removal is a line break", "ab\r\nc", "a\r\nc\r\n", "b", "b\\r"},
        {"a lone CR left by a removal is a line break", "a\nxb\n", "a\r\nb\r\n", "x", "\\nx"},
        {"rule trimmed", "x<b>evilstats.example</b>y\n", "xy\r\n", K, "  <b>.*?</b>\t"},
    };
    return cases;
}

} // namespace pw::test
