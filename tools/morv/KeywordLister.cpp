#include "tools/morv/KeywordLister.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool ReadAll(int fd, std::string& data, std::string* error, const std::string& name)
{
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0)
            return true;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            *error = "cannot read " + name + ": " + std::strerror(errno);
            return false;
        }
        data.append(buffer, static_cast<size_t>(n));
    }
}

} // namespace

bool KeywordLister::List(const std::string& name, bool withName, std::string* error)
{
    std::string data;
    if (name == "-") {
        if (!ReadAll(STDIN_FILENO, data, error, "standard input"))
            return false;
    } else {
        const int fd = ::open(name.c_str(), O_RDONLY);
        if (fd < 0) {
            *error = "cannot open " + name + ": " + std::strerror(errno);
            return false;
        }
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
            ::close(fd);
            *error = "cannot open " + name + ": " + std::strerror(EISDIR);
            return false;
        }
        const bool read = ReadAll(fd, data, error, name);
        ::close(fd);
        if (!read)
            return false;
    }
    std::string lines = Lines(data, error);
    if (!error->empty())
        return false;
    if (withName)
        lines.insert(0, "# " + name + "\n");
    std::fwrite(lines.data(), 1, lines.size(), out);
    return true;
}

std::string KeywordLister::Lines(const std::string& text, std::string* error)
{
    error->clear();
    size_t from = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0; // a byte-order mark
    const std::string body = text.substr(from);
    Encoding enc = settings.encoding;
    if (enc == Encoding::Unknown)
        enc = TextCodec::Detect(body.data(), body.size(), true) == Encoding::Gbk ? Encoding::Gbk : Encoding::Utf8;
    morv::KeywordOptions options;
    options.top = settings.top;
    options.traditional = settings.traditional;
    options.method = settings.textRank ? morv::KeywordMethod::TextRank : morv::KeywordMethod::TfIdf;
    std::string tag;
    for (char c : settings.tags + ",") {
        if (c == ',' || c == ' ' || c == '\t') {
            if (!tag.empty())
                options.tags.push_back(tag);
            tag.clear();
        } else {
            tag += c;
        }
    }
    std::string lines;
    try {
        // Bytes that are not valid in the encoding are no keywords, and no
        // reason to give none.
        const std::vector<morv::Keyword> found = analyzer.Keywords(
            body, options, enc == Encoding::Gbk ? morv::Encoding::Gbk : morv::Encoding::Utf8, true);
        const TextCodec& codec = TextCodec::Instance();
        const Encoding outEnc = settings.outputEncoding == Encoding::Unknown ? enc : settings.outputEncoding;
        char weight[32];
        for (const morv::Keyword& k : found) {
            if (outEnc == enc)
                lines.append(k.word.data(), k.word.size());
            else if (outEnc == Encoding::Utf8)
                codec.AppendAsUtf8(lines, k.word.data(), k.word.size(), Encoding::Gbk);
            else
                codec.AppendUtf8AsGbk(lines, k.word.data(), k.word.size());
            std::snprintf(weight, sizeof weight, "%.6f", k.weight);
            lines += '\t';
            lines.append(k.tag.data(), k.tag.size());
            lines += '\t';
            lines += weight;
            lines += '\n';
        }
    } catch (const morv::Error& e) {
        *error = e.what();
    }
    return lines;
}
