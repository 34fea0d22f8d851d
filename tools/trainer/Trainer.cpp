#include "tools/trainer/Trainer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "lexicon/CBigram.h"
#include "lexicon/CPDAT.h"
#include "lexicon/CUnigram.h"
#include "segment/CPreProcess.h"
#include "segment/CSegment.h"
#include "segment/SpecialWords.h"
#include "tools/trainer/ModelWriter.h"
#include "tools/trainer/NameRoles.h"

namespace fs = std::filesystem;

// Part-of-speech entries this rare, under a tenth of the word's count, are dropped.
constexpr int32_t kRareTagCount = 2;
// Count given to a given-name role a name character was not seen in.
constexpr int32_t kSharedGivenRoleCount = 1;
// Words at most this frequent also count their characters in the default role.
constexpr int32_t kRareWordCount = 1;

namespace {

// Indices into SpecialWords::kWords.
enum Special {
    kBegin = 0,
    kEnd = 1,
    kString = 2,
    kPerson = 3,
    kTime = 6,
    kNumber = 7,
    kDash = 13,
};

const char* const kPrefixChars[] = {"\xC0\xCF", "\xD0\xA1", "\xB0\xA2", "\xB4\xF3"}; // 老 小 阿 大
const char kMiddleDot[] = "\xA1\xA4";                                              // ·

// The characters of a GBK string, each as its own string.
std::vector<std::string> Chars(const std::string& s)
{
    std::vector<std::string> out;
    for (size_t i = 0; i < s.size();) {
        size_t n = (static_cast<unsigned char>(s[i]) >= 0x80 && i + 1 < s.size()) ? 2 : 1;
        out.push_back(s.substr(i, n));
        i += n;
    }
    return out;
}

int KeyOf(const std::string& ch)
{
    if (ch.size() == 2)
        return static_cast<unsigned char>(ch[0]) * 256 + static_cast<unsigned char>(ch[1]);
    return ch.empty() ? -1 : static_cast<unsigned char>(ch[0]);
}

bool IsNumericClass(int c)
{
    return c == 3 || (c >= 5 && c <= 7) || (c >= 9 && c <= 13) || (c >= 15 && c <= 23) || c == 25 || c == 29;
}

bool IsDigitOrNumeralClass(int c)
{
    return (c >= 5 && c <= 7) || (c >= 9 && c <= 11) || c == 13 || c == 29;
}

// Candidate order of a lexicon: most frequent first, lower code on ties.
ModelWriter::LexiconEntries SortedEntries(const std::map<int, int32_t>& counts)
{
    ModelWriter::LexiconEntries e;
    for (const auto& c : counts)
        e.emplace_back(static_cast<uint8_t>(c.first), c.second);
    std::stable_sort(e.begin(), e.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    return e;
}

bool CopyFile(const std::string& from, const std::string& to)
{
    std::ifstream in(from, std::ios::binary);
    if (!in)
        return false;
    std::stringstream ss;
    ss << in.rdbuf();
    return ModelWriter::WriteBytes(to, ss.str());
}

} // namespace

Trainer::Trainer(const TrainerOptions& o) : options(o) {}
Trainer::~Trainer() = default;

int Trainer::CharCount(const std::string& gbk)
{
    return static_cast<int>(Chars(gbk).size());
}

void Trainer::Say(const std::string& line) const
{
    if (!options.quiet)
        std::printf("%s\n", line.c_str());
}

std::string Trainer::DataFile(const char* name) const
{
    return ModelWriter::Staged((fs::path(options.outputDir) / "Data" / name).string());
}

int Trainer::TagCode(const std::string& tag) const
{
    int c = tagSet.Code(tag);
    return c >= 0 ? c : 21;
}

int Trainer::WordId(const std::string& word) const
{
    auto it = wordIds.find(word);
    return it == wordIds.end() ? -1 : it->second;
}

std::vector<Trainer::NameGroup> Trainer::GroupNames(const std::vector<CorpusToken>& tokens)
{
    std::vector<NameGroup> groups;
    size_t i = 0;
    while (i < tokens.size()) {
        if (tokens[i].tag != "nr") {
            ++i;
            continue;
        }
        size_t end = i;
        while (end < tokens.size() && tokens[end].tag == "nr")
            ++end;
        // Inside a run of nr tokens: surname + given name pairs (1 or 2
        // characters each, as the corpus writes Chinese names), else single tokens.
        while (i < end) {
            bool pair = i + 1 < end && CharCount(tokens[i].word) <= 2 && CharCount(tokens[i + 1].word) <= 2 &&
                        tokens[i].word.find(kMiddleDot) == std::string::npos &&
                        tokens[i + 1].word.find(kMiddleDot) == std::string::npos;
            groups.push_back({i, pair ? i + 1 : i});
            i += pair ? 2 : 1;
        }
    }
    return groups;
}

int Trainer::Run()
{
    auto t0 = std::chrono::steady_clock::now();
    ModelWriter::Batch batch; // the previous models stay until every new one is written
    if (!LoadSources() || !ReadCorpus())
        return 1;
    std::error_code ec;
    fs::create_directories(fs::path(options.outputDir) / "Data", ec);
    if (ec) {
        std::fprintf(stderr, "morv-train: cannot create %s/Data: %s\n", options.outputDir.c_str(),
                     ec.message().c_str());
        return 1;
    }
    ClassifyTokens();
    if (!BuildDictionary())
        return 1;
    CountUnits();
    if (!WriteWordModels())
        return 1;
    LearnRoles();
    if (!WriteRoleModels())
        return 1;
    Measure();
    if (!batch.Commit())
        return 1;
    report.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    return 0;
}

bool Trainer::LoadSources()
{
    fs::path src(options.sourceDir);
    if (!classSource.Load((src / "charclasses.txt").string())) {
        for (const std::string& e : classSource.GetErrors())
            std::fprintf(stderr, "morv-train: charclasses.txt: %s\n", e.c_str());
        return false;
    }
    classSource.FillCharset(charset);
    if (!tagSet.Load((src / "tagset.txt").string())) {
        std::fprintf(stderr, "morv-train: cannot read the tag set %s\n", (src / "tagset.txt").string().c_str());
        return false;
    }
    const std::pair<int, const char*> fixed[] = {{18, "m"},  {21, "n"},   {24, "nr"}, {25, "nr1"},
                                                 {26, "nr2"}, {27, "nrj"}, {28, "nrf"}, {29, "ns"},
                                                 {30, "nsf"}, {31, "nt"},  {52, "t"},  {93, "nx"}};
    for (const auto& f : fixed) {
        if (tagSet.Code(f.second) != f.first) {
            std::fprintf(stderr, "morv-train: tagset.txt: %s must have code %d\n", f.second, f.first);
            return false;
        }
    }
    return true;
}

bool Trainer::ReadCorpus()
{
    if (!reader.Read(options.corpusPath, options.firstDate, options.lastDate)) {
        std::fprintf(stderr, "morv-train: cannot open the corpus %s\n", options.corpusPath.c_str());
        return false;
    }
    for (const CorpusReader::Error& e : reader.GetErrors())
        std::fprintf(stderr, "morv-train: %s:%d: %s; line skipped\n", options.corpusPath.c_str(), e.line,
                     e.message.c_str());
    report.badLines = reader.GetBadLineCount();
    const std::string refusal = reader.Refusal(options.allowBadLines);
    if (!refusal.empty()) {
        std::fprintf(stderr, "morv-train: %s: %s\n", options.corpusPath.c_str(), refusal.c_str());
        return false;
    }
    report.paragraphs = reader.GetParagraphs().size();
    report.tokens = reader.GetTokenCount();
    if (report.tokens == 0) {
        std::fprintf(stderr, "morv-train: the corpus %s yields no words\n", options.corpusPath.c_str());
        return false;
    }
    for (const Paragraph& p : reader.GetParagraphs()) {
        for (const CorpusToken& t : p.tokens) {
            if (tagSet.Code(t.tag) < 0) {
                std::fprintf(stderr, "morv-train: %s:%d: tag %s is not in the tag set (counted as n)\n",
                             options.corpusPath.c_str(), p.line, t.tag.c_str());
            }
        }
    }
    return true;
}

int Trainer::AtomOf(const std::string& text)
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

void Trainer::ClassifyTokens()
{
    // A preliminary dictionary of the special words and every character, so that
    // the pre-processor sees single characters (and single numerals) as words,
    // exactly as it will with the final dictionary.
    std::set<std::string> chars;
    for (const Paragraph& p : reader.GetParagraphs())
        for (const CorpusToken& t : p.tokens)
            for (const std::string& c : Chars(t.word))
                chars.insert(c);
    std::string listPath = DataFile("prelim.words");
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
    for (const Paragraph& p : reader.GetParagraphs()) {
        std::vector<NameGroup> groups = GroupNames(p.tokens);
        std::vector<bool> inName(p.tokens.size(), false);
        for (const NameGroup& g : groups) {
            for (size_t k = g.first; k <= g.last; ++k)
                inName[k] = true;
            const CorpusToken& first = p.tokens[g.first];
            if (g.last > g.first) {
                ++surnameCounts[first.word];
                if (CharCount(first.word) == 2)
                    compoundSurnames.insert(first.word);
            } else if (CharCount(first.word) >= 3 || first.word.find(kMiddleDot) != std::string::npos) {
                for (const std::string& c : Chars(first.word))
                    ++foreignChars[c];
            }
        }
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

bool Trainer::BuildDictionary()
{
    std::set<std::string> words;
    for (const Paragraph& p : reader.GetParagraphs()) {
        std::vector<NameGroup> groups = GroupNames(p.tokens);
        std::vector<bool> inName(p.tokens.size(), false);
        for (const NameGroup& g : groups)
            for (size_t k = g.first; k <= g.last; ++k)
                inName[k] = true;
        for (size_t k = 0; k < p.tokens.size(); ++k) {
            const CorpusToken& t = p.tokens[k];
            for (const std::string& c : Chars(t.word))
                words.insert(c); // every character is a word, name characters too
            if (!inName[k] && !classWordTypes.count(t.word))
                words.insert(t.word);
        }
    }
    for (const std::string& s : compoundSurnames)
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
    report.words = static_cast<int>(wordList.size());

    std::string listPath = DataFile("CoreDict.words");
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
    if (built != report.words) {
        // The trie takes every line of the list as one word in list order; any
        // other count means the ids would not match the statistics.
        std::fprintf(stderr, "morv-train: the dictionary took %d of %d words\n", built, report.words);
        return false;
    }
    return true;
}

std::vector<int> Trainer::SentenceEnds(const Paragraph& p, const std::vector<int>& offsets) const
{
    // The pre-processor ends a sentence after every character of class 2 or 28.
    std::vector<int> ends;
    (void)offsets;
    for (size_t k = 0; k < p.tokens.size(); ++k) {
        bool stop = k + 1 == p.tokens.size();
        for (const std::string& c : Chars(p.tokens[k].word)) {
            int cls = charset.GetClass(KeyOf(c));
            if (cls == 2 || cls == 28)
                stop = true;
        }
        if (stop)
            ends.push_back(static_cast<int>(k));
    }
    return ends;
}

void Trainer::CountUnits()
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

    for (const Paragraph& p : reader.GetParagraphs()) {
        std::vector<int> offsets(p.tokens.size() + 1, 0);
        for (size_t k = 0; k < p.tokens.size(); ++k)
            offsets[k + 1] = offsets[k] + static_cast<int>(p.tokens[k].word.size());
        std::vector<NameGroup> groups = GroupNames(p.tokens);
        std::vector<int> groupOf(p.tokens.size(), -1);
        for (size_t g = 0; g < groups.size(); ++g)
            for (size_t k = groups[g].first; k <= groups[g].last; ++k)
                groupOf[k] = static_cast<int>(g);
        std::vector<int> ends = SentenceEnds(p, offsets);

        std::vector<Unit> units;
        size_t e = 0;
        units.push_back({specialIds[kBegin], tagBegin, 0, 0});
        for (size_t k = 0; k < p.tokens.size(); ++k) {
            const CorpusToken& t = p.tokens[k];
            if (groupOf[k] >= 0) {
                const NameGroup& g = groups[static_cast<size_t>(groupOf[k])];
                if (k == g.first && g.first == g.last && CharCount(t.word) == 1) {
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
                        if (j == g.first && g.last > g.first && compoundSurnames.count(part)) {
                            int id = WordId(part);
                            units.push_back({id, tagName, offsets[j], offsets[j + 1], kCountWords});
                            ++posCounts[static_cast<size_t>(id)][tagName];
                            continue;
                        }
                        int at = offsets[j];
                        for (const std::string& c : Chars(part)) {
                            units.push_back({WordId(c), tagName, at, at + static_cast<int>(c.size()), kCountWords});
                            at += static_cast<int>(c.size());
                        }
                    }
                }
            } else {
                int a = classWordTypes.count(t.word) ? AtomOf(t.word) : -1;
                int id = a >= 0 ? specialIds[a] : WordId(t.word);
                units.push_back({id, TagCode(t.tag), offsets[k], offsets[k + 1]});
            }
            if (e < ends.size() && ends[e] == static_cast<int>(k)) {
                units.push_back({specialIds[kEnd], tagEnd, offsets[k + 1], offsets[k + 1]});
                ++e;
                ++report.sentences;
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
                units.clear();
                units.push_back({specialIds[kBegin], tagBegin, offsets[k + 1], offsets[k + 1]});
            }
        }
    }
}

bool Trainer::WriteWordModels()
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
        lexicon.push_back(SortedEntries(kept));
    }
    const std::string out = options.outputDir;
    bool ok = classSource.WriteCharsetFile(ModelWriter::Target(DataFile("charset.type")));
    ok = ok && coreDict->Save(ModelWriter::Target(DataFile("CoreDict.pdat")).c_str());
    ok = ok && ModelWriter::WriteUnigram(DataFile("CoreDict.unig"), unigram);
    ok = ok && ModelWriter::WriteBigram(DataFile("BiWord.big"), static_cast<int>(wordList.size()), bigram);
    ok = ok && ModelWriter::WriteLexicon(DataFile("CoreDict.pos"), lexicon);
    ok = ok && ModelWriter::WriteContext(DataFile("Morv.ctx"), tagSet.Count(), tagFrequency, tagPairs);
    ok = ok && ModelWriter::WriteBytes(DataFile("tagset.txt"), tagSet.GetText());
    ok = ok && CopyFile((fs::path(options.sourceDir) / "Configure.xml").string(),
                        (fs::path(out) / "Configure.xml").string());
    if (!ok)
        std::fprintf(stderr, "morv-train: cannot write the models into %s\n", out.c_str());
    return ok;
}

std::vector<Trainer::GoldName> Trainer::NamesOf(const Paragraph& p, const std::vector<int>& offsets,
                                                const std::vector<NameGroup>& groups) const
{
    std::vector<GoldName> names;
    for (const NameGroup& g : groups) {
        GoldName n{offsets[g.first], offsets[g.last + 1], offsets[g.first + 1], kChinese};
        const std::string& w = p.tokens[g.first].word;
        if (g.last == g.first) {
            std::vector<std::string> cs = Chars(w);
            auto surname = [&](const std::string& c) {
                auto it = surnameCounts.find(c);
                return it == surnameCounts.end() ? 0 : it->second;
            };
            auto foreign = [&](const std::string& c) { return foreignChars.count(c) > 0; };
            bool prefix = false;
            for (const char* pc : kPrefixChars)
                prefix = prefix || (cs.size() == 2 && cs[0] == pc);
            if (cs.size() == 1)
                n.type = kChinese;
            else if (cs.size() == 2 && prefix && surname(cs[1]) >= 3) {
                n.type = kPrefixed;
                n.split = n.start + static_cast<int>(cs[0].size());
            } else if (cs.size() >= 3 || w.find(kMiddleDot) != std::string::npos ||
                       (foreign(cs[0]) && foreign(cs[1]) && surname(cs[0]) < 10))
                n.type = kForeign;
            else
                n.type = kGivenAlone;
        }
        names.push_back(n);
    }
    return names;
}

void Trainer::LearnRoles()
{
    using namespace role;
    const size_t w = wordList.size();
    roleCounts.assign(w, {});
    roleFrequency.assign(kCount, 0);
    rolePairs.assign(static_cast<size_t>(kCount) * kCount, 0);

    CUnigram uni;
    CBigram big;
    uni.Load(DataFile("CoreDict.unig").c_str());
    big.Load(DataFile("BiWord.big").c_str());
    CPreProcess pre(&charset, coreDict.get(), nullptr);
    CSegment seg(coreDict.get(), &uni, &big);

    struct SysToken {
        int start, end, id;
    };
    auto segmentText = [&](const std::string& text, std::vector<std::vector<SysToken>>& sentences) {
        const char* base = text.c_str();
        const char* p = base;
        while (*p) {
            const char* next = pre.BuildLattice(p);
            if (next <= p || pre.GetAtomCount() <= 2)
                return false;
            int n = seg.Segment(pre.GetLattice(), pre.GetSlotCount(), pre.GetSlotSizes(), pre.GetAtomCount());
            if (n < 3)
                return false;
            const TokenRecord* items = seg.GetItems();
            int off = static_cast<int>(p - base);
            std::vector<SysToken> s;
            for (int i = 0; i < n; ++i)
                s.push_back({off + items[i].start, off + items[i].end, items[i].wordId});
            sentences.push_back(std::move(s));
            p = next;
        }
        return true;
    };
    // Use the engine's own segmentation when it works (the roles must describe
    // the tokens the role tagger will see); otherwise names in characters.
    report.realSegmentation = false;
    if (!reader.GetParagraphs().empty()) {
        std::vector<std::vector<SysToken>> probe;
        report.realSegmentation = segmentText(reader.GetParagraphs()[0].Text(), probe);
    }

    for (const Paragraph& p : reader.GetParagraphs()) {
        std::vector<int> offsets(p.tokens.size() + 1, 0);
        for (size_t k = 0; k < p.tokens.size(); ++k)
            offsets[k + 1] = offsets[k] + static_cast<int>(p.tokens[k].word.size());
        std::vector<NameGroup> groups = GroupNames(p.tokens);
        std::vector<GoldName> names = NamesOf(p, offsets, groups);
        report.names += names.size();

        std::vector<std::vector<SysToken>> sentences;
        if (!report.realSegmentation || !segmentText(p.Text(), sentences)) {
            sentences.clear();
            std::vector<int> groupOf(p.tokens.size(), -1);
            for (size_t g = 0; g < groups.size(); ++g)
                for (size_t k = groups[g].first; k <= groups[g].last; ++k)
                    groupOf[k] = static_cast<int>(g);
            std::vector<int> ends = SentenceEnds(p, offsets);
            std::vector<SysToken> s{{0, 0, specialIds[kBegin]}};
            size_t e = 0;
            for (size_t k = 0; k < p.tokens.size(); ++k) {
                const CorpusToken& t = p.tokens[k];
                if (groupOf[k] >= 0) {
                    const NameGroup& g = groups[static_cast<size_t>(groupOf[k])];
                    if (k == g.first && g.last > g.first && compoundSurnames.count(t.word)) {
                        s.push_back({offsets[k], offsets[k + 1], WordId(t.word)});
                    } else {
                        int at = offsets[k];
                        for (const std::string& c : Chars(t.word)) {
                            s.push_back({at, at + static_cast<int>(c.size()), WordId(c)});
                            at += static_cast<int>(c.size());
                        }
                    }
                } else {
                    int a = classWordTypes.count(t.word) ? AtomOf(t.word) : -1;
                    s.push_back({offsets[k], offsets[k + 1], a >= 0 ? specialIds[a] : WordId(t.word)});
                }
                if (e < ends.size() && ends[e] == static_cast<int>(k)) {
                    s.push_back({offsets[k + 1], offsets[k + 1], specialIds[kEnd]});
                    sentences.push_back(std::move(s));
                    s.assign(1, {offsets[k + 1], offsets[k + 1], specialIds[kBegin]});
                    ++e;
                }
            }
        }

        for (const auto& s : sentences) {
            std::vector<int> roles(s.size(), kOther);
            for (size_t i = 0; i < s.size(); ++i) {
                const SysToken& t = s[i];
                int r = kOther;
                if (i == 0)
                    r = kSentenceBegin;
                else if (i + 1 == s.size())
                    r = kSentenceEnd;
                else {
                    const GoldName* in = nullptr;
                    bool before = false, after = false;
                    for (const GoldName& n : names) {
                        if (t.start >= n.start && t.start < n.end)
                            in = &n;
                        before = before || n.start == t.end;
                        after = after || n.end == t.start;
                    }
                    if (in && t.end <= in->end) {
                        const GoldName& n = *in;
                        bool atStart = t.start == n.start, atEnd = t.end == n.end;
                        switch (n.type) {
                        case kChinese:
                            if (atStart && t.end == n.split)
                                r = n.split == n.end ? kOther : kSurname;
                            else if (atStart)
                                r = atEnd ? kOther : kSurnameGiven1;
                            else if (t.start == n.split && atEnd)
                                r = n.end - n.split <= 2 ? kSingleGiven : kWholeGiven;
                            else if (t.start == n.split)
                                r = kGiven1;
                            else
                                r = kGiven2;
                            break;
                        case kPrefixed:
                            r = atStart && t.end == n.split ? kPrefix
                                : t.start == n.split && atEnd ? kSurname
                                                              : kOther;
                            break;
                        case kGivenAlone:
                            // The automaton merges no given name standing alone; as
                            // given-name roles these tokens would only teach the
                            // tagger given names without a surname before them.
                            r = kOther;
                            break;
                        case kForeign:
                            r = atStart && atEnd ? kOther : atStart ? kForeignFirst : atEnd ? kForeignLast
                                                                                            : kForeignMiddle;
                            break;
                        }
                    } else if (!in) {
                        r = before && after ? kBetween : before ? kBefore : after ? kAfter : kOther;
                    }
                }
                roles[i] = r;
                if (t.id >= 0 && static_cast<size_t>(t.id) < w)
                    ++roleCounts[static_cast<size_t>(t.id)][r];
                // A word seen once will mostly be unknown in new text, where the
                // segmenter leaves it in characters: its characters are counted in
                // the default role too, so that the tagger does not read every such
                // run of characters (格拉斯哥, 林园) as a name.
                if (r == kOther && t.id >= SpecialWords::kCount && static_cast<size_t>(t.id) < w &&
                    unigram[static_cast<size_t>(t.id)] <= kRareWordCount &&
                    CharCount(wordList[static_cast<size_t>(t.id)]) > 1) {
                    for (const std::string& c : Chars(wordList[static_cast<size_t>(t.id)])) {
                        int cid = WordId(c);
                        if (cid >= 0)
                            ++roleCounts[static_cast<size_t>(cid)][kOther];
                    }
                }
                ++roleFrequency[static_cast<size_t>(r)];
                if (i > 0)
                    ++rolePairs[static_cast<size_t>(roles[i - 1]) * kCount + static_cast<size_t>(r)];
            }
            for (const GoldName& n : names) {
                bool startCut = false, endCut = false, whole = false;
                for (const SysToken& t : s) {
                    startCut = startCut || t.start == n.start;
                    endCut = endCut || t.end == n.end;
                    whole = whole || (t.start == n.start && t.end == n.end);
                }
                if (startCut && endCut && !whole && n.start < n.end && s.back().end >= n.end &&
                    s.front().start <= n.start)
                    ++report.namesAligned;
            }
        }
    }
}

bool Trainer::WriteRoleModels()
{
    // A character seen in one given-name position may stand in the others too
    // (刘昕晨 with 晨 seen only as a one-character given name), and a surname
    // character in a given name (林 of 张林): each missing given-name role gets
    // a count of one, so that the automaton can complete the name instead of
    // stopping short or missing it.
    for (size_t id = SpecialWords::kCount; id < roleCounts.size(); ++id) {
        auto& c = roleCounts[id];
        const int given[] = {role::kGiven1, role::kGiven2, role::kSingleGiven};
        bool named = c.count(role::kSurname) > 0;
        for (int r : given)
            named = named || c.count(r) > 0;
        if (!named || CharCount(wordList[id]) != 1)
            continue;
        for (int r : given)
            c.emplace(r, kSharedGivenRoleCount);
    }
    // Likewise a character of a transliterated name may come inside another one
    // (奥尔布赖特 ends with 赖特 where 赖 was only seen first).
    for (size_t id = SpecialWords::kCount; id < roleCounts.size(); ++id) {
        auto& c = roleCounts[id];
        if (CharCount(wordList[id]) == 1 &&
            (c.count(role::kForeignFirst) || c.count(role::kForeignMiddle) || c.count(role::kForeignLast)))
            c.emplace(role::kForeignMiddle, kSharedGivenRoleCount);
    }
    std::vector<ModelWriter::LexiconEntries> lexicon;
    lexicon.reserve(roleCounts.size());
    for (const auto& c : roleCounts) {
        // A word seen only in the default role needs no entries: the tagger gives
        // it the default role anyway, with the same effect on every path.
        if (c.size() == 1 && c.begin()->first == role::kOther)
            lexicon.emplace_back();
        else
            lexicon.push_back(SortedEntries(c));
    }
    while (!lexicon.empty() && lexicon.back().empty())
        lexicon.pop_back();
    RoleAutomaton fsa;
    bool ok = ModelWriter::WriteLexicon(DataFile("nr.role"), lexicon) &&
              ModelWriter::WriteContext(DataFile("nr.ctx"), role::kCount, roleFrequency, rolePairs) &&
              fsa.Write(DataFile("nr.fsa"));
    if (!ok)
        std::fprintf(stderr, "morv-train: cannot write the person-name models into %s\n",
                     options.outputDir.c_str());
    return ok;
}

void Trainer::Measure()
{
    for (const Paragraph& p : reader.GetParagraphs()) {
        for (const CorpusToken& t : p.tokens) {
            if (t.tag != "m" && t.tag != "t")
                continue;
            bool numeric = true, digit = false;
            for (const std::string& c : Chars(t.word)) {
                int cls = charset.GetClass(KeyOf(c));
                numeric = numeric && IsNumericClass(cls);
                digit = digit || IsDigitOrNumeralClass(cls);
            }
            if (!numeric || !digit)
                continue;
            ++report.numericTokens;
            if (AtomOf(t.word) >= -1)
                ++report.numericOneAtom;
        }
    }
}
