#include "tools/morv/MorvOptions.h"

#include <cstdlib>
#include <cstring>

const char* MorvOptions::Usage()
{
    return "Usage: morv [OPTION]... [FILE]...\n"
           "Segments and tags Chinese text: each FILE, or standard input when none is\n"
           "given (or FILE is -), to standard output.\n"
           "\n"
           "  -f, --format FORMAT     text (default): word/tag items separated by two spaces;\n"
           "                          seg: words separated by single spaces, a Chinese\n"
           "                          person name as surname and given name;\n"
           "                          words: words separated by single spaces, names whole;\n"
           "                          compact: one token a line (word, tag, character start\n"
           "                          and end, separated by tabs), a blank line after each\n"
           "                          input line;\n"
           "                          json: one JSON object per line (UTF-8);\n"
           "                          html: the coloured result page (GBK)\n"
           "  -o, --output FILE       write to FILE instead of standard output; FILE is\n"
           "                          replaced only once the output is complete\n"
           "      --html FILE         also write the result page to FILE\n"
           "  -e, --encoding ENC      input encoding: auto (default), gbk or utf-8; auto\n"
           "                          takes a file as UTF-8 when its text from the first\n"
           "                          non-ASCII byte on (64 KiB of it) is valid UTF-8, else\n"
           "                          as GBK; from a terminal or a pipe it decides per line\n"
           "      --output-encoding ENC  input (default), gbk or utf-8. The output keeps\n"
           "                          the encoding of the first non-ASCII input; later\n"
           "                          inputs in the other encoding are converted to it\n"
           "  -d, --base DIR          model directory (default: $MORV_HOME, else ./Morv if it\n"
           "                          holds Configure.xml, else Morv beside the program, else\n"
           "                          the installed models)\n"
           "      --set KEY=VALUE     set a key of the model's Configure.xml for this run\n"
           "                          (the file stays as it is); may be given several\n"
           "                          times; --set NewWords=off: the classic pipeline,\n"
           "                          about three times faster and less accurate\n"
           "  -u, --user-dict LIST    add the words of LIST (\"word [frequency] [tag]\" lines,\n"
           "                          UTF-8 or GBK) for this run; may be given several times\n"
           "  -j, --jobs N            analyse with N threads (default: the number of cores\n"
           "                          when the input is files, 1 for a terminal or a pipe);\n"
           "                          the output is the same for every N\n"
           "      --search            search mode: after each word, the dictionary words of\n"
           "                          two characters and more inside it (中国农业发展银行:\n"
           "                          中国 农业 发展 银行 ...); compact marks them with a fifth\n"
           "                          field \"sub\", json with \"sub\":true; the page is unchanged\n"
           "      --traditional MODE  traditional Chinese: auto (default) analyses each\n"
           "                          sentence that reads as traditional as its simplified\n"
           "                          conversion (OpenCC), on every sentence, off none; the\n"
           "                          output keeps the input's characters\n"
           "      --keywords N        instead of the words, the N keywords of each input\n"
           "                          (a whole file, or standard input to its end), one a\n"
           "                          line: word, tag and weight separated by tabs;\n"
           "                          by TF-IDF over the model's IDF table; with several\n"
           "                          inputs a line \"# FILE\" comes before each one's\n"
           "      --textrank          with --keywords: rank by TextRank instead\n"
           "      --keyword-tags TAGS with --keywords: only words of these tags (separated\n"
           "                          by commas: n,ns,vn,v)\n"
           "      --standard STD      the segmentation standard: corpus (default), the\n"
           "                          annotated corpus's; long, a standard of longer units\n"
           "                          (not more accurate, the granularity of other\n"
           "                          collections): numeral and measure word (２９个/mq),\n"
           "                          dates and times (今年７月１日/t) one word each, and\n"
           "                          names whole in seg too\n"
           "      --progress          show how far the run has come on standard error\n"
           "                          (bytes, share, rate, time left); by default shown\n"
           "                          when it is a terminal, the input is files and the\n"
           "                          output does not go to that terminal\n"
           "      --no-progress       never show it\n"
           "      --dump-config       print the model directory, its files and what they\n"
           "                          hold, and exit\n"
           "  -h, --help              show this help and exit\n"
           "  -v, --version           show the version and exit\n"
           "\n"
           "From a terminal or a pipe (with one job) every complete input line is answered,\n"
           "and the output flushed, before the next line is read: a program can keep one\n"
           "morv running and feed it line by line. Output is in the input's encoding, except\n"
           "json (UTF-8) and the page (GBK); characters an output encoding lacks become '?'.\n"
           "Exit status: 0 on success, 1 when the model cannot be opened, 2 when a file\n"
           "cannot be read or written, a word list cannot be used, or an option is wrong.\n";
}

namespace {

bool ParseEncoding(const std::string& value, bool allowInput, Encoding* out)
{
    std::string lower;
    for (char c : value)
        lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (lower == "auto" && !allowInput)
        *out = Encoding::Unknown;
    else if (lower == "input" && allowInput)
        *out = Encoding::Unknown;
    else if (lower == "gbk" || lower == "gb2312" || lower == "cp936")
        *out = Encoding::Gbk;
    else if (lower == "utf-8" || lower == "utf8")
        *out = Encoding::Utf8;
    else
        return false;
    return true;
}

} // namespace

MorvOptions::Action MorvOptions::Parse(int argc, const char* const* argv)
{
    // Short options and the long option each stands for.
    static const struct {
        char letter;
        const char* name;
    } shorts[] = {{'f', "--format"}, {'o', "--output"},    {'e', "--encoding"},
                  {'d', "--base"},   {'u', "--user-dict"}, {'j', "--jobs"}};
    static const char* const withValue[] = {"--format", "--output", "--html",      "--encoding", "--output-encoding",
                                            "--base",   "--dir",    "--user-dict", "--jobs",
                                            "--keywords", "--keyword-tags", "--traditional", "--standard",
                                            "--set"};
    bool optionsEnd = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (optionsEnd || arg == "-" || arg.size() < 2 || arg[0] != '-') {
            files.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnd = true;
            continue;
        }
        if (arg == "--help" || arg == "-h")
            return Action::Help;
        if (arg == "--version" || arg == "-v")
            return Action::Version;
        if (arg == "--dump-config") {
            dumpConfig = true;
            continue;
        }
        if (arg == "--search") {
            search = true;
            continue;
        }
        if (arg == "--textrank") {
            textRank = true;
            continue;
        }
        if (arg == "--progress" || arg == "--no-progress") {
            progress = arg == "--progress" ? Progress::On : Progress::Off;
            continue;
        }

        std::string name = arg;
        std::string value;
        bool hasValue = false;
        if (arg[1] != '-') {
            name.clear();
            for (const auto& s : shorts)
                if (arg[1] == s.letter)
                    name = s.name;
            if (name.empty()) {
                error = "unknown option '" + arg + "'";
                return Action::Error;
            }
            if (arg.size() > 2) { // -j2, -ofile
                value = arg.substr(2);
                hasValue = true;
            }
        } else {
            const size_t equals = arg.find('=');
            if (equals != std::string::npos) {
                name = arg.substr(0, equals);
                value = arg.substr(equals + 1);
                hasValue = true;
            }
            bool known = false;
            for (const char* w : withValue)
                known = known || name == w;
            if (!known) {
                error = "unknown option '" + arg + "'";
                return Action::Error;
            }
        }
        if (!hasValue) {
            if (i + 1 >= argc) {
                error = "option '" + name + "' needs a value";
                return Action::Error;
            }
            value = argv[++i];
        }
        if (name == "--format") {
            static const struct {
                const char* name;
                OutputFormat format;
            } formats[] = {{"text", OutputFormat::Text},       {"seg", OutputFormat::Seg},
                           {"words", OutputFormat::Words},     {"compact", OutputFormat::Compact},
                           {"json", OutputFormat::Json},       {"html", OutputFormat::Html}};
            bool found = false;
            for (const auto& f : formats)
                if (value == f.name) {
                    format = f.format;
                    found = true;
                }
            if (!found) {
                error = "unknown format '" + value + "' (text, seg, words, compact, json or html)";
                return Action::Error;
            }
        } else if (name == "--standard") {
            if (value != "corpus" && value != "long") {
                error = "unknown standard '" + value + "' (corpus or long)";
                return Action::Error;
            }
            longUnits = value == "long";
        } else if (name == "--encoding") {
            if (!ParseEncoding(value, false, &encoding)) {
                error = "unknown encoding '" + value + "' (auto, gbk or utf-8)";
                return Action::Error;
            }
        } else if (name == "--output-encoding") {
            if (!ParseEncoding(value, true, &outputEncoding)) {
                error = "unknown output encoding '" + value + "' (input, gbk or utf-8)";
                return Action::Error;
            }
        } else if (value.empty()) {
            error = "option '" + name + "' needs a value";
            return Action::Error;
        } else if (name == "--jobs") {
            char* end = nullptr;
            const long n = std::strtol(value.c_str(), &end, 10);
            if (*end != '\0' || n < 1 || n > 256) {
                error = "option '--jobs' needs a number from 1 to 256, not '" + value + "'";
                return Action::Error;
            }
            jobs = static_cast<int>(n);
        } else if (name == "--keywords") {
            char* end = nullptr;
            const long n = std::strtol(value.c_str(), &end, 10);
            if (*end != '\0' || n < 1 || n > 100000) {
                error = "option '--keywords' needs a number from 1 to 100000, not '" + value + "'";
                return Action::Error;
            }
            keywords = static_cast<size_t>(n);
        } else if (name == "--traditional") {
            if (value == "auto")
                traditional = Traditional::Auto;
            else if (value == "on")
                traditional = Traditional::On;
            else if (value == "off")
                traditional = Traditional::Off;
            else {
                error = "option '--traditional' needs auto, on or off, not '" + value + "'";
                return Action::Error;
            }
        } else if (name == "--keyword-tags") {
            keywordTags = value;
        } else if (name == "--output") {
            output = value;
        } else if (name == "--html") {
            htmlFile = value;
        } else if (name == "--base" || name == "--dir") {
            baseDir = value;
        } else if (name == "--set") {
            if (value.find('=') == std::string::npos || value[0] == '=') {
                error = "option '--set' needs KEY=VALUE, not '" + value + "'";
                return Action::Error;
            }
            settings.push_back(value);
        } else {
            userDicts.push_back(value);
        }
    }
    if ((textRank || !keywordTags.empty()) && keywords == 0) {
        error = std::string("option '") + (textRank ? "--textrank" : "--keyword-tags") + "' needs '--keywords N'";
        return Action::Error;
    }
    if (keywords > 0 && (search || !htmlFile.empty() || format != OutputFormat::Text)) {
        error = "option '--keywords' lists keywords: it takes no --search, --html or --format";
        return Action::Error;
    }
    return Action::Run;
}
