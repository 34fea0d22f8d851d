#include "tools/trainer/KeywordIdf.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "engine/TextCodec.h"

namespace {

// Characters of a GBK string.
size_t GbkChars(const std::string& s)
{
    size_t n = 0;
    for (size_t i = 0; i < s.size(); ++n)
        i += TextCodec::GbkUnitLength(reinterpret_cast<const unsigned char*>(s.data()) + i, s.size() - i);
    return n;
}

} // namespace

std::vector<std::string> KeywordIdf::Words(const Paragraph& paragraph)
{
    std::vector<std::string> words;
    const std::vector<CorpusToken>& tokens = paragraph.tokens;
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i].tag == "w")
            continue;
        if (tokens[i].tag == "nr" && i + 1 < tokens.size() && tokens[i + 1].tag == "nr") {
            // Surname and given name: the analyser's one token.
            words.push_back(tokens[i].word + tokens[i + 1].word);
            ++i;
            continue;
        }
        words.push_back(tokens[i].word);
    }
    for (const CorpusCompound& c : paragraph.compounds) {
        std::string whole;
        for (size_t k = c.first; k <= c.last && k < tokens.size(); ++k)
            whole += tokens[k].word;
        words.push_back(whole);
    }
    words.erase(std::remove_if(words.begin(), words.end(), [](const std::string& w) { return GbkChars(w) < 2; }),
                words.end());
    std::sort(words.begin(), words.end());
    words.erase(std::unique(words.begin(), words.end()), words.end());
    return words;
}

void KeywordIdf::Count(const std::vector<Paragraph>& corpus)
{
    const TextCodec& codec = TextCodec::Instance();
    for (const Paragraph& p : corpus) {
        if (p.tokens.empty())
            continue;
        ++paragraphs;
        for (const std::string& gbk : Words(p)) {
            std::string utf8;
            codec.AppendAsUtf8(utf8, gbk.data(), gbk.size(), Encoding::Gbk);
            ++documents[utf8];
        }
    }
}

double KeywordIdf::Idf(const std::string& utf8Word) const
{
    const auto found = documents.find(utf8Word);
    if (found == documents.end() || paragraphs == 0)
        return 0;
    return std::log(static_cast<double>(paragraphs) / static_cast<double>(found->second));
}

std::string KeywordIdf::Text() const
{
    std::string out;
    char number[32];
    for (const auto& entry : documents) {
        // A word of the corpus with a blank in it would not read back.
        if (entry.first.find_first_of(" \t\r\n") != std::string::npos)
            continue;
        std::snprintf(number, sizeof number, " %.6f\n", Idf(entry.first));
        out += entry.first;
        out += number;
    }
    return out;
}
