#include "tools/trainer/CorpusNames.h"

#include "tools/trainer/GbkChars.h"

const char CorpusNames::kMiddleDot[] = "\xA1\xA4";

std::vector<CorpusNames::Group> CorpusNames::GroupNames(const std::vector<CorpusToken>& tokens)
{
    std::vector<Group> groups;
    size_t i = 0;
    while (i < tokens.size()) {
        if (tokens[i].tag != "nr") {
            ++i;
            continue;
        }
        size_t end = i;
        while (end < tokens.size() && tokens[end].tag == "nr")
            ++end;
        while (i < end) {
            bool pair = i + 1 < end && gbk::CharCount(tokens[i].word) <= 2 &&
                        gbk::CharCount(tokens[i + 1].word) <= 2 &&
                        tokens[i].word.find(kMiddleDot) == std::string::npos &&
                        tokens[i + 1].word.find(kMiddleDot) == std::string::npos;
            groups.push_back({i, pair ? i + 1 : i});
            i += pair ? 2 : 1;
        }
    }
    return groups;
}

void CorpusNames::Collect(const std::vector<Paragraph>& paragraphs)
{
    for (const Paragraph& p : paragraphs) {
        for (const Group& g : GroupNames(p.tokens)) {
            const CorpusToken& first = p.tokens[g.first];
            if (g.last > g.first) {
                ++surnameCounts[first.word];
                if (gbk::CharCount(first.word) == 2)
                    compoundSurnames.insert(first.word);
            } else if (gbk::CharCount(first.word) >= 3 || first.word.find(kMiddleDot) != std::string::npos) {
                for (const std::string& c : gbk::Chars(first.word))
                    ++foreignChars[c];
            }
        }
    }
}

int CorpusNames::SurnameCount(const std::string& word) const
{
    auto it = surnameCounts.find(word);
    return it == surnameCounts.end() ? 0 : it->second;
}
