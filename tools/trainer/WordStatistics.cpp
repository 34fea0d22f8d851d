#include "tools/trainer/WordStatistics.h"

#include <cstdio>
#include <fstream>

#include "lexicon/CPDAT.h"
#include "segment/CCharset.h"
#include "segment/CPreProcess.h"
#include "segment/SpecialWords.h"
#include "tools/trainer/GbkChars.h"
#include "tools/trainer/ModelWriter.h"
#include "tools/trainer/TagSetFile.h"

// Part-of-speech entries this rare, under a tenth of the word's count, are dropped.
constexpr int32_t kRareTagCount = 2;

namespace {

// Indices into SpecialWords::kWords.
enum Special {
    kBegin = 0,
    kEnd = 1,
    kString = 2,
    kPerson = 3,
    kTime = 6,
    kNumber = 7,
    kProper = 8, // the class word of new words
    kDash = 13,
};

bool IsNumericClass(int c)
{
    return c == 3 || (c >= 5 && c <= 7) || (c >= 9 && c <= 13) || (c >= 15 && c <= 23) || c == 25 || c == 29;
}

bool IsDigitOrNumeralClass(int c)
{
    return (c >= 5 && c <= 7) || (c >= 9 && c <= 11) || c == 13 || c == 29;
}

std::vector<int> TokenOffsets(const Paragraph& p)
{
    std::vector<int> offsets(p.tokens.size() + 1, 0);
    for (size_t k = 0; k < p.tokens.size(); ++k)
        offsets[k + 1] = offsets[k] + static_cast<int>(p.tokens[k].word.size());
    return offsets;
}

// For every token, the index of the name group it belongs to, or -1.
std::vector<int> GroupOf(size_t tokenCount, const std::vector<CorpusNames::Group>& groups)
{
    std::vector<int> groupOf(tokenCount, -1);
    for (size_t g = 0; g < groups.size(); ++g)
        for (size_t k = groups[g].first; k <= groups[g].last; ++k)
            groupOf[k] = static_cast<int>(g);
    return groupOf;
}

} // namespace

WordStatistics::WordStatistics(const CCharset& c, const TagSetFile& t, const std::vector<Paragraph>& p,
                               const CorpusNames& n)
    : charset(c), tagSet(t), paragraphs(p), names(n)
{
}

WordStatistics::~WordStatistics() = default;

int WordStatistics::TagCode(const std::string& tag) const
{
    int c = tagSet.Code(tag);
    return c >= 0 ? c : 21;
}

int WordStatistics::WordId(const std::string& word) const
{
    auto it = wordIds.find(word);
    return it == wordIds.end() ? -1 : it->second;
}

bool WordStatistics::Build(const std::string& dataDir)
{
    ClassifyTokens(dataDir);
    if (!BuildDictionary(dataDir))
        return false;
    FindRareWords();
    CountUnits();
    return true;
}

int WordStatistics::AtomOf(const std::string& text)
{
    auto it = atomClass.find(text);
    if (it != atomClass.end())
        return it->second;
    atomSplitter->SplitAtoms(text.c_str());
    int result = -2;
    if (atomSplitter->GetAtomCount() == 3) {
        const TokenRecord& a = atomSplitter->GetAtoms()[1];
        if (a.start == 0 && a.end == static_cast<int>(text.size())) {
            result = -1;
            const SpecialWords& ids = atomSplitter->GetSpecialWords();
            const int candidates[] = {kNumber, kTime, kString, kDash};
            for (int c : candidates) {
                if (a.wordId >= 0 && a.wordId == ids.At(c))
                    result = c;
            }
        }
    }
    atomClass.emplace(text, result);
    return result;
}

int WordStatistics::ClassWordOf(const std::string& text) const
{
    // Every class-word text went through AtomOf, so its class is cached.
    return classWordTypes.count(text) ? atomClass.at(text) : -1;
}

void WordStatistics::ClassifyTokens(const std::string& dataDir)
{
    // A preliminary dictionary of the special words and every character, so that
    // the pre-processor sees single characters (and single numerals) as words,
    // exactly as it will with the final dictionary.
    std::set<std::string> chars;
    for (const Paragraph& p : paragraphs)
        for (const CorpusToken& t : p.tokens)
            for (const std::string& c : gbk::Chars(t.word))
                chars.insert(c);
    std::string listPath = dataDir + "/prelim.words";
    {
        std::ofstream list(listPath, std::ios::binary);
        for (const char* w : SpecialWords::kWords)
            list << w << '\n';
        for (const std::string& c : chars)
            list << c << '\n';
    }
    prelimDict = std::make_unique<CPDAT>();
    prelimDict->BuildFromWordList(listPath.c_str());
    std::remove(listPath.c_str());
    atomSplitter = std::make_unique<CPreProcess>(&charset, prelimDict.get(), nullptr);

    std::map<std::string, std::pair<int, int>> votes; // text -> (agreeing tag, other tag)
    for (const Paragraph& p : paragraphs) {
        std::vector<bool> inName(p.tokens.size(), false);
        for (const CorpusNames::Group& g : CorpusNames::GroupNames(p.tokens))
            for (size_t k = g.first; k <= g.last; ++k)
                inName[k] = true;
        for (size_t k = 0; k < p.tokens.size(); ++k) {
            if (inName[k])
                continue;
            const CorpusToken& t = p.tokens[k];
            int a = AtomOf(t.word);
            if (a < 0)
                continue;
            const char* expected = a == kNumber ? "m" : a == kTime ? "t" : a == kString ? "nx" : "w";
            auto& v = votes[t.word];
            (t.tag == expected ? v.first : v.second)++;
        }
    }
    // Numbers and times that the corpus mostly tags otherwise (十分/m, 一点/m) stay
    // dictionary words; the pre-processor's exact-word step then gives them their
    // own id. Strings and dashes have no such step: they are always class words.
    for (const auto& v : votes) {
        int a = atomClass[v.first];
        if (a == kString || a == kDash || v.second.first >= v.second.second)
            classWordTypes.insert(v.first);
    }
}

bool WordStatistics::BuildDictionary(const std::string& dataDir)
{
    std::set<std::string> words;
    for (const Paragraph& p : paragraphs) {
        std::vector<bool> inName(p.tokens.size(), false);
        for (const CorpusNames::Group& g : CorpusNames::GroupNames(p.tokens))
            for (size_t k = g.first; k <= g.last; ++k)
                inName[k] = true;
        for (size_t k = 0; k < p.tokens.size(); ++k) {
            const CorpusToken& t = p.tokens[k];
            for (const std::string& c : gbk::Chars(t.word))
                words.insert(c); // every character is a word, name characters too
            if (!inName[k] && !classWordTypes.count(t.word))
                words.insert(t.word);
        }
    }
    for (const std::string& s : names.GetCompoundSurnames())
        words.insert(s);
    wordList.clear();
    for (const char* w : SpecialWords::kWords) {
        wordList.push_back(w);
        words.erase(w);
    }
    wordList.insert(wordList.end(), words.begin(), words.end());
    wordIds.clear();
    for (size_t i = 0; i < wordList.size(); ++i)
        wordIds.emplace(wordList[i], static_cast<int>(i));
    for (int i = 0; i < SpecialWords::kCount; ++i)
        specialIds[i] = i;

    std::string listPath = dataDir + "/CoreDict.words";
    {
        std::ofstream list(listPath, std::ios::binary);
        for (const std::string& w : wordList)
            list << w << '\n';
        if (!list) {
            std::fprintf(stderr, "morv-train: cannot write %s\n", listPath.c_str());
            return false;
        }
    }
    coreDict = std::make_unique<CPDAT>();
    int built = coreDict->BuildFromWordList(listPath.c_str());
    std::remove(listPath.c_str());
    if (built != GetWordCount()) {
        // The trie takes every line of the list as one word in list order; any
        // other count means the ids would not match the statistics.
        std::fprintf(stderr, "morv-train: the dictionary took %d of %d words\n", built, GetWordCount());
        return false;
    }
    return true;
}

std::vector<int> WordStatistics::SentenceEnds(const Paragraph& p) const
{
    // Where the pre-processor ends its sentences.
    std::vector<int> ends;
    for (size_t k = 0; k < p.tokens.size(); ++k) {
        bool stop = k + 1 == p.tokens.size();
        for (const std::string& c : gbk::Chars(p.tokens[k].word)) {
            int cls = charset.GetClass(gbk::KeyOf(c));
            if (EndsSentence(cls))
                stop = true;
        }
        if (stop)
            ends.push_back(static_cast<int>(k));
    }
    return ends;
}

void WordStatistics::FindRareWords()
{
    // A fold is a day of the corpus (a corpus without dates: every tenth line).
    std::unordered_map<std::string, int> foldOf; // -1: seen in several folds
    for (const Paragraph& p : paragraphs) {
        const int fold = p.date != 0 ? p.date : p.line % 10;
        std::vector<bool> inName(p.tokens.size(), false);
        for (const CorpusNames::Group& g : CorpusNames::GroupNames(p.tokens))
            for (size_t k = g.first; k <= g.last; ++k)
                inName[k] = true;
        for (size_t k = 0; k < p.tokens.size(); ++k) {
            const CorpusToken& t = p.tokens[k];
            // Names have their own recogniser, numbers and strings their class words.
            if (inName[k] || gbk::CharCount(t.word) < 2 || ClassWordOf(t.word) >= 0 || AtomOf(t.word) >= -1)
                continue;
            auto found = foldOf.emplace(t.word, fold);
            if (!found.second && found.first->second != fold)
                found.first->second = -1;
        }
    }
    rareWords.clear();
    for (const auto& f : foldOf)
        if (f.second != -1)
            rareWords.insert(f.first);
}

void WordStatistics::CountNewWordClass(const std::vector<Unit>& units)
{
    // The class word takes the place of a rare word between the same neighbours
    // the segmenter sees, in a count of its own beside the word's.
    const int32_t proper = specialIds[kProper];
    for (size_t u = 0; u < units.size(); ++u) {
        const Unit& x = units[u];
        if (!x.rare || !(x.use & kCountWords))
            continue;
        ++newWordFrequency;
        ++newWordTags[x.tag];
        for (size_t v = u; v-- > 0;) {
            if (!(units[v].use & kCountWords))
                continue;
            if (units[v].id >= 0)
                ++newWordPairs[{units[v].id, proper}];
            break;
        }
        for (size_t v = u + 1; v < units.size(); ++v) {
            if (!(units[v].use & kCountWords))
                continue;
            if (units[v].id >= 0)
                ++newWordPairs[{proper, units[v].id}];
            break;
        }
    }
}

void WordStatistics::CountUnits()
{
    const size_t w = wordList.size();
    unigram.assign(w, 0);
    posCounts.assign(w, {});
    const int n = tagSet.Count();
    tagFrequency.assign(static_cast<size_t>(n), 0);
    tagPairs.assign(static_cast<size_t>(n) * static_cast<size_t>(n), 0);
    const int tagBegin = tagSet.Code("bos") >= 0 ? tagSet.Code("bos") : 21;
    const int tagEnd = tagSet.Code("eos") >= 0 ? tagSet.Code("eos") : 21;
    const int tagName = tagSet.Code("nr");
    sentences = 0;
    newWordFrequency = 0;
    newWordPairs.clear();
    newWordTags.clear();

    for (const Paragraph& p : paragraphs) {
        std::vector<int> offsets = TokenOffsets(p);
        std::vector<CorpusNames::Group> groups = CorpusNames::GroupNames(p.tokens);
        std::vector<int> groupOf = GroupOf(p.tokens.size(), groups);
        std::vector<int> ends = SentenceEnds(p);

        std::vector<Unit> units;
        size_t e = 0;
        units.push_back({specialIds[kBegin], tagBegin, 0, 0});
        for (size_t k = 0; k < p.tokens.size(); ++k) {
            const CorpusToken& t = p.tokens[k];
            if (groupOf[k] >= 0) {
                const CorpusNames::Group& g = groups[static_cast<size_t>(groupOf[k])];
                if (k == g.first && g.first == g.last && gbk::CharCount(t.word) == 1) {
                    // A name of one character (王 in 王村长) can never be merged by
                    // the automaton; it is counted as the character tagged nr, so
                    // that the part-of-speech tagger can still find it.
                    units.push_back({WordId(t.word), tagName, offsets[k], offsets[k + 1]});
                } else if (k == g.first) {
                    // The tagger meets the merged name; the segmenter meets its
                    // characters (the name is not found until after segmentation),
                    // so the word statistics count those, framed by the real
                    // neighbours: unknown names stay in characters, and the word
                    // pairs around them are the ones the segmenter will look up.
                    units.push_back({specialIds[kPerson], tagName, offsets[g.first], offsets[g.last + 1], kCountTags});
                    for (size_t j = g.first; j <= g.last; ++j) {
                        const std::string& part = p.tokens[j].word;
                        if (j == g.first && g.last > g.first && names.IsCompoundSurname(part)) {
                            int id = WordId(part);
                            units.push_back({id, tagName, offsets[j], offsets[j + 1], kCountWords});
                            ++posCounts[static_cast<size_t>(id)][tagName];
                            continue;
                        }
                        int at = offsets[j];
                        for (const std::string& c : gbk::Chars(part)) {
                            units.push_back({WordId(c), tagName, at, at + static_cast<int>(c.size()), kCountWords});
                            at += static_cast<int>(c.size());
                        }
                    }
                }
            } else {
                int a = ClassWordOf(t.word);
                int id = a >= 0 ? specialIds[a] : WordId(t.word);
                units.push_back({id, TagCode(t.tag), offsets[k], offsets[k + 1]});
                units.back().rare = a < 0 && rareWords.count(t.word) > 0;
            }
            if (e < ends.size() && ends[e] == static_cast<int>(k)) {
                units.push_back({specialIds[kEnd], tagEnd, offsets[k + 1], offsets[k + 1]});
                ++e;
                ++sentences;
                // Word statistics follow the tokens the segmenter meets (a name's
                // characters), tag statistics the tokens the tagger meets (未##人).
                const Unit* prevWord = nullptr;
                const Unit* prevTag = nullptr;
                for (size_t u = 0; u < units.size(); ++u) {
                    const Unit& x = units[u];
                    if (x.id < 0) {
                        if (x.use & kCountWords)
                            prevWord = nullptr;
                        if (x.use & kCountTags)
                            prevTag = nullptr;
                        continue;
                    }
                    if (x.use & kCountWords) {
                        ++unigram[static_cast<size_t>(x.id)];
                        if (prevWord != nullptr)
                            ++bigram[{prevWord->id, x.id}];
                        prevWord = &x;
                    }
                    if (x.use == kCountTags)
                        ++unigram[static_cast<size_t>(x.id)]; // 未##人 keeps its count, in no pair
                    if (x.use & kCountTags) {
                        ++posCounts[static_cast<size_t>(x.id)][x.tag];
                        ++tagFrequency[static_cast<size_t>(x.tag)];
                        if (prevTag != nullptr)
                            ++tagPairs[static_cast<size_t>(prevTag->tag) * static_cast<size_t>(n) +
                                       static_cast<size_t>(x.tag)];
                        prevTag = &x;
                    }
                }
                CountNewWordClass(units);
                units.clear();
                units.push_back({specialIds[kBegin], tagBegin, offsets[k + 1], offsets[k + 1]});
            }
        }
    }
}

namespace {

// The part-of-speech lexicon as written: tags seen once or twice with a word that
// mostly carries others are dropped.
std::vector<ModelWriter::LexiconEntries> LexiconOf(const std::vector<std::map<int, int32_t>>& posCounts);

} // namespace

bool WordStatistics::WriteNewWordTables(const std::string& dataDir) const
{
    const int32_t proper = specialIds[kProper];
    std::vector<int32_t> withClass = unigram;
    withClass[static_cast<size_t>(proper)] += newWordFrequency;
    std::map<std::pair<int32_t, int32_t>, int32_t> pairs = bigram;
    for (const auto& p : newWordPairs)
        pairs[p.first] += p.second;
    std::vector<std::map<int, int32_t>> tags = posCounts;
    for (const auto& t : newWordTags)
        tags[static_cast<size_t>(proper)][t.first] += t.second;
    return ModelWriter::WriteUnigram(dataDir + "/NewWord.unig", withClass) &&
           ModelWriter::WriteBigram(dataDir + "/NewWord.big", GetWordCount(), pairs) &&
           ModelWriter::WriteLexicon(dataDir + "/NewWord.pos", LexiconOf(tags));
}

namespace {

std::vector<ModelWriter::LexiconEntries> LexiconOf(const std::vector<std::map<int, int32_t>>& posCounts)
{
    std::vector<ModelWriter::LexiconEntries> lexicon;
    lexicon.reserve(posCounts.size());
    for (const auto& c : posCounts) {
        // A tag seen once or twice with a word that mostly carries others is
        // mostly an annotation slip; kept, the tagger's add-0.02 emission would
        // rate it far above its share (rare tags have small totals).
        int64_t total = 0;
        for (const auto& e : c)
            total += e.second;
        std::map<int, int32_t> kept;
        for (const auto& e : c)
            if (e.second > kRareTagCount || e.second * 10 >= total)
                kept.insert(e);
        lexicon.push_back(ModelWriter::SortedEntries(kept));
    }
    return lexicon;
}

} // namespace

bool WordStatistics::Write(const std::string& dataDir) const
{
    const std::vector<ModelWriter::LexiconEntries> lexicon = LexiconOf(posCounts);
    return coreDict->Save(ModelWriter::Target(dataDir + "/CoreDict.pdat").c_str()) &&
           ModelWriter::WriteUnigram(dataDir + "/CoreDict.unig", unigram) &&
           ModelWriter::WriteBigram(dataDir + "/BiWord.big", GetWordCount(), bigram) &&
           ModelWriter::WriteLexicon(dataDir + "/CoreDict.pos", lexicon) &&
           ModelWriter::WriteContext(dataDir + "/Morv.ctx", tagSet.Count(), tagFrequency, tagPairs);
}

std::vector<std::vector<WordStatistics::Token>> WordStatistics::CorpusSentences(const Paragraph& p) const
{
    std::vector<std::vector<Token>> out;
    std::vector<int> offsets = TokenOffsets(p);
    std::vector<CorpusNames::Group> groups = CorpusNames::GroupNames(p.tokens);
    std::vector<int> groupOf = GroupOf(p.tokens.size(), groups);
    std::vector<int> ends = SentenceEnds(p);
    std::vector<Token> s{{0, 0, specialIds[kBegin]}};
    size_t e = 0;
    for (size_t k = 0; k < p.tokens.size(); ++k) {
        const CorpusToken& t = p.tokens[k];
        if (groupOf[k] >= 0) {
            const CorpusNames::Group& g = groups[static_cast<size_t>(groupOf[k])];
            if (k == g.first && g.last > g.first && names.IsCompoundSurname(t.word)) {
                s.push_back({offsets[k], offsets[k + 1], WordId(t.word)});
            } else {
                int at = offsets[k];
                for (const std::string& c : gbk::Chars(t.word)) {
                    s.push_back({at, at + static_cast<int>(c.size()), WordId(c)});
                    at += static_cast<int>(c.size());
                }
            }
        } else {
            int a = ClassWordOf(t.word);
            s.push_back({offsets[k], offsets[k + 1], a >= 0 ? specialIds[a] : WordId(t.word)});
        }
        if (e < ends.size() && ends[e] == static_cast<int>(k)) {
            s.push_back({offsets[k + 1], offsets[k + 1], specialIds[kEnd]});
            out.push_back(std::move(s));
            s.assign(1, {offsets[k + 1], offsets[k + 1], specialIds[kBegin]});
            ++e;
        }
    }
    return out;
}

std::vector<std::vector<WordStatistics::TaggerToken>> WordStatistics::TaggerSentences(const Paragraph& p) const
{
    std::vector<std::vector<TaggerToken>> out;
    const std::vector<int> offsets = TokenOffsets(p);
    const std::vector<CorpusNames::Group> groups = CorpusNames::GroupNames(p.tokens);
    const std::vector<int> groupOf = GroupOf(p.tokens.size(), groups);
    const std::vector<int> ends = SentenceEnds(p);
    const int tagBegin = tagSet.Code("bos") >= 0 ? tagSet.Code("bos") : 21;
    const int tagEnd = tagSet.Code("eos") >= 0 ? tagSet.Code("eos") : 21;
    const int tagName = tagSet.Code("nr");
    std::vector<TaggerToken> s{{0, 0, specialIds[kBegin], tagBegin, false, false}};
    size_t e = 0;
    for (size_t k = 0; k < p.tokens.size(); ++k) {
        const CorpusToken& t = p.tokens[k];
        if (groupOf[k] >= 0) {
            // As CountUnits counts them: a one-character name stays its character
            // (the automaton never merges a single token), longer ones are 未##人.
            const CorpusNames::Group& g = groups[static_cast<size_t>(groupOf[k])];
            if (k == g.first && g.first == g.last && gbk::CharCount(t.word) == 1)
                s.push_back({offsets[k], offsets[k + 1], WordId(t.word), tagName, false, false});
            else if (k == g.first)
                s.push_back({offsets[g.first], offsets[g.last + 1], specialIds[kPerson], tagName, false, true});
        } else {
            const int a = ClassWordOf(t.word);
            s.push_back({offsets[k], offsets[k + 1], a >= 0 ? specialIds[a] : WordId(t.word), TagCode(t.tag),
                         a < 0 && rareWords.count(t.word) > 0, false});
        }
        if (e < ends.size() && ends[e] == static_cast<int>(k)) {
            s.push_back({offsets[k + 1], offsets[k + 1], specialIds[kEnd], tagEnd, false, false});
            out.push_back(std::move(s));
            s.assign(1, {offsets[k + 1], offsets[k + 1], specialIds[kBegin], tagBegin, false, false});
            ++e;
        }
    }
    return out;
}

void WordStatistics::MeasureNumericAtoms(size_t& tokens, size_t& oneAtom)
{
    tokens = oneAtom = 0;
    for (const Paragraph& p : paragraphs) {
        for (const CorpusToken& t : p.tokens) {
            if (t.tag != "m" && t.tag != "t")
                continue;
            bool numeric = true, digit = false;
            for (const std::string& c : gbk::Chars(t.word)) {
                int cls = charset.GetClass(gbk::KeyOf(c));
                numeric = numeric && IsNumericClass(cls);
                digit = digit || IsDigitOrNumeralClass(cls);
            }
            if (!numeric || !digit)
                continue;
            ++tokens;
            if (AtomOf(t.word) >= -1)
                ++oneAtom;
        }
    }
}
