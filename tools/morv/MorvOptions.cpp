#include "tools/morv/MorvOptions.h"

#include <cstring>

const char* MorvOptions::Usage()
{
    return "Usage: morv [OPTION]... [FILE]...\n"
           "Segments and tags Chinese text: each FILE, or standard input when none is\n"
           "given (or FILE is -), to standard output.\n"
           "\n"
           "  --format FORMAT    text (default): word/tag items separated by two spaces;\n"
           "                     seg: words separated by single spaces;\n"
           "                     json: one JSON object per line (UTF-8);\n"
           "                     html: the coloured result page (GBK)\n"
           "  --html FILE        also write the result page to FILE\n"
           "  --encoding ENC     auto (default), gbk or utf-8; auto takes a file as\n"
           "                     UTF-8 when its text from the first non-ASCII byte on\n"
           "                     (64 KiB of it) is valid UTF-8, else as GBK\n"
           "  --base DIR         engine base directory (default: $MORV_HOME, else ./Morv\n"
           "                     if it holds Configure.xml, else Morv beside the program)\n"
           "  --user-dict LIST   add the words of LIST (\"word [frequency] [tag]\" lines,\n"
           "                     UTF-8 or GBK) for this run; may be given several times\n"
           "  --help             show this help and exit\n"
           "  --version          show the version and exit\n"
           "\n"
           "Output is in the input's encoding, except json (UTF-8) and the page (GBK).\n"
           "Exit status: 0 on success, 1 when the engine cannot start, 2 when a file\n"
           "cannot be read or an option is wrong.\n";
}

MorvOptions::Action MorvOptions::Parse(int argc, const char* const* argv)
{
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
        if (arg == "--version")
            return Action::Version;

        std::string name = arg;
        std::string value;
        bool hasValue = false;
        const size_t equals = arg.find('=');
        if (arg.compare(0, 2, "--") == 0 && equals != std::string::npos) {
            name = arg.substr(0, equals);
            value = arg.substr(equals + 1);
            hasValue = true;
        }
        if (name != "--format" && name != "--html" && name != "--encoding" && name != "--base" &&
            name != "--user-dict") {
            error = "unknown option '" + arg + "'";
            return Action::Error;
        }
        if (!hasValue) {
            if (i + 1 >= argc) {
                error = "option '" + name + "' needs a value";
                return Action::Error;
            }
            value = argv[++i];
        }
        if (name == "--format") {
            if (value == "text")
                format = OutputFormat::Text;
            else if (value == "seg")
                format = OutputFormat::Seg;
            else if (value == "json")
                format = OutputFormat::Json;
            else if (value == "html")
                format = OutputFormat::Html;
            else {
                error = "unknown format '" + value + "' (text, seg, json or html)";
                return Action::Error;
            }
        } else if (name == "--encoding") {
            std::string lower;
            for (char c : value)
                lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
            if (lower == "auto")
                encoding = Encoding::Unknown;
            else if (lower == "gbk" || lower == "gb2312" || lower == "cp936")
                encoding = Encoding::Gbk;
            else if (lower == "utf-8" || lower == "utf8")
                encoding = Encoding::Utf8;
            else {
                error = "unknown encoding '" + value + "' (auto, gbk or utf-8)";
                return Action::Error;
            }
        } else if (value.empty()) {
            error = "option '" + name + "' needs a value";
            return Action::Error;
        } else if (name == "--html") {
            htmlFile = value;
        } else if (name == "--base") {
            baseDir = value;
        } else {
            userDicts.push_back(value);
        }
    }
    return Action::Run;
}
