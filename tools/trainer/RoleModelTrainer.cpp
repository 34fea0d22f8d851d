#include "tools/trainer/RoleModelTrainer.h"

#include <algorithm>
#include <unordered_set>

#include "lexicon/CBigram.h"
#include "lexicon/CPDAT.h"
#include "lexicon/CUnigram.h"
#include "segment/CPreProcess.h"
#include "segment/CSegment.h"
#include "segment/SpecialWords.h"
#include "tools/trainer/EntityIndex.h"
#include "tools/trainer/GbkChars.h"
#include "tools/trainer/ModelWriter.h"
#include "tools/trainer/WordStatistics.h"

// Words at most this frequent also count their characters in the default role.
constexpr int32_t kRareWordCount = 1;

RoleModelTrainer::RoleModelTrainer(const RoleScheme& s, const WordStatistics& w, const CCharset& c)
    : scheme(s), words(w), charset(c)
{
}

void RoleModelTrainer::Learn(const std::vector<Paragraph>& paragraphs, const std::string& dataDir)
{
    using Token = WordStatistics::Token;
    const RoleScheme::Inventory& inv = scheme.GetInventory();
    const std::vector<std::string>& wordList = words.GetWordList();
    const size_t w = wordList.size();
    roleCounts.assign(w, {});
    roleFrequency.assign(static_cast<size_t>(inv.count), 0);
    rolePairs.assign(static_cast<size_t>(inv.count) * static_cast<size_t>(inv.count), 0);
    entities = aligned = 0;
    newWordFold.clear();
    apart = ApartRuns();
    if (scheme.SplitsNewWords())
        FindNewWords(paragraphs);

    CUnigram uni;
    CBigram big;
    // The run's own word models, written but not yet in place.
    uni.Load(ModelWriter::Staged(dataDir + "/CoreDict.unig").c_str());
    big.Load(ModelWriter::Staged(dataDir + "/BiWord.big").c_str());
    CPreProcess pre(&charset, words.GetDictionary(), nullptr);
    CSegment seg(words.GetDictionary(), &uni, &big);

    auto segmentText = [&](const std::string& text, std::vector<std::vector<Token>>& sentences) {
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
            std::vector<Token> s;
            for (int i = 0; i < n; ++i)
                s.push_back({off + items[i].start, off + items[i].end, items[i].wordId});
            sentences.push_back(std::move(s));
            p = next;
        }
        return true;
    };
    // Use the engine's own segmentation when it works (the roles must describe
    // the tokens the role tagger will see); otherwise the corpus units.
    realSegmentation = false;
    if (!paragraphs.empty()) {
        std::vector<std::vector<Token>> probe;
        realSegmentation = segmentText(paragraphs[0].Text(), probe);
    }

    for (const Paragraph& p : paragraphs) {
        std::vector<int> offsets(p.tokens.size() + 1, 0);
        for (size_t k = 0; k < p.tokens.size(); ++k)
            offsets[k + 1] = offsets[k] + static_cast<int>(p.tokens[k].word.size());
        std::vector<RoleScheme::Entity> gold = scheme.FindEntities(p, offsets);
        entities += gold.size();

        std::vector<std::vector<Token>> sentences;
        if (!realSegmentation || !segmentText(p.Text(), sentences))
            sentences = words.CorpusSentences(p);
        const std::vector<RoleScheme::Entity> classSpans = scheme.ClassSpans(p, offsets);
        if (!newWordFold.empty() || !classSpans.empty()) {
            // Each sentence is given the spans that start inside it only (a
            // span merges tokens of one sentence), found by their starts when
            // the spans come in order: a paragraph of many names and many
            // sentences would otherwise cost their product.
            const bool ordered = std::is_sorted(classSpans.begin(), classSpans.end(),
                                                [](const RoleScheme::Entity& a, const RoleScheme::Entity& b) {
                                                    return a.start < b.start;
                                                });
            std::vector<RoleScheme::Entity> near;
            for (auto& s : sentences) {
                if (!ordered || s.empty()) {
                    Reshape(s, classSpans);
                    continue;
                }
                const int from = s.front().start, to = s.back().end;
                auto it = std::lower_bound(classSpans.begin(), classSpans.end(), from,
                                           [](const RoleScheme::Entity& e, int offset) { return e.start < offset; });
                near.clear();
                for (; it != classSpans.end() && it->start <= to; ++it)
                    near.push_back(*it);
                Reshape(s, near);
            }
        }

        // The entities by position, so that each token looks only at those
        // near it: a paragraph of many entities costs what its tokens do.
        const EntityIndex index(gold);
        EntityIndex::Cursor cursor(index);
        for (const auto& s : sentences) {
            std::vector<int> roles(s.size(), inv.other);
            for (size_t i = 0; i < s.size(); ++i) {
                const Token& t = s[i];
                int r = inv.other;
                if (i == 0)
                    r = inv.sentenceBegin;
                else if (i + 1 == s.size())
                    r = inv.sentenceEnd;
                else {
                    // The last entity (in the scheme's order) that holds the
                    // token's start; whether one starts where the token ends,
                    // whether one ends where it starts.
                    const RoleScheme::Entity* in = cursor.Holding(t.start);
                    const bool before = index.StartsAt(t.end);
                    const bool after = index.EndsAt(t.start);
                    if (in && t.end <= in->end)
                        r = scheme.InsideRole(*in, t.start, t.end);
                    else if (!in)
                        r = before && after ? inv.between : before ? inv.before : after ? inv.after : inv.other;
                }
                roles[i] = r;
                if (t.id >= 0 && static_cast<size_t>(t.id) < w)
                    ++roleCounts[static_cast<size_t>(t.id)][r];
                // A word seen once will mostly be unknown in new text, where the
                // segmenter leaves it in characters: its characters are counted in
                // the default role too, so that the tagger does not read every such
                // run of characters (格拉斯哥, 林园) as an entity.
                if (r == inv.other && t.id >= SpecialWords::kCount && static_cast<size_t>(t.id) < w &&
                    words.Frequency(t.id) <= kRareWordCount && gbk::CharCount(wordList[static_cast<size_t>(t.id)]) > 1) {
                    for (const std::string& c : gbk::Chars(wordList[static_cast<size_t>(t.id)])) {
                        int cid = words.WordId(c);
                        if (cid >= 0)
                            ++roleCounts[static_cast<size_t>(cid)][inv.other];
                    }
                }
                ++roleFrequency[static_cast<size_t>(r)];
                if (i > 0)
                    ++rolePairs[static_cast<size_t>(roles[i - 1]) * static_cast<size_t>(inv.count) +
                                static_cast<size_t>(r)];
            }
            if (s.empty())
                continue;
            // The entities that start in the sentence, from the index: a
            // paragraph of many sentences and names costs what its tokens do.
            const std::vector<const RoleScheme::Entity*> inSentence = index.StartingIn(s.front().start, s.back().end);
            if (scheme.KeepsRunsApart())
                NoteRuns(s, inSentence);
            // An entity the segmentation cuts at both its ends but does not
            // give one token of its own; only entities inside the sentence can be.
            std::unordered_set<int> starts, ends;
            std::unordered_set<int64_t> spans;
            for (const Token& t : s) {
                starts.insert(t.start);
                ends.insert(t.end);
                spans.insert(static_cast<int64_t>(t.start) << 32 | static_cast<uint32_t>(t.end));
            }
            for (const RoleScheme::Entity* n : inSentence) {
                const bool whole = spans.count(static_cast<int64_t>(n->start) << 32 | static_cast<uint32_t>(n->end)) != 0;
                if (starts.count(n->start) && ends.count(n->end) && !whole && n->start < n->end &&
                    s.back().end >= n->end && s.front().start <= n->start)
                    ++aligned;
            }
        }
    }
}

void RoleModelTrainer::NoteRuns(const std::vector<WordStatistics::Token>& s,
                                const std::vector<const RoleScheme::Entity*>& inSentence)
{
    if (s.size() < 3)
        return;
    const auto key = [](int start, int end) { return static_cast<int64_t>(start) << 32 | static_cast<uint32_t>(end); };
    std::unordered_set<int64_t> names;
    for (const RoleScheme::Entity* e : inSentence)
        names.insert(key(e->start, e->end));
    std::vector<int32_t> ids;
    std::vector<uint8_t> lengths;
    for (size_t i = 1; i + 1 < s.size(); ++i) {
        ids.push_back(s[i].id);
        uint8_t bits = 0;
        for (size_t n = 2; n <= CWordRuns::kMaxWords && i + n < s.size(); ++n)
            if (!names.empty() && names.count(key(s[i].start, s[i + n - 1].end)))
                bits = static_cast<uint8_t>(bits | 1u << n);
        lengths.push_back(bits);
    }
    apart.AddSentence(ids, lengths);
}

void RoleModelTrainer::FindNewWords(const std::vector<Paragraph>& paragraphs)
{
    // A fold is a day of the corpus (a corpus without dates: every tenth line).
    const std::vector<std::string>& wordList = words.GetWordList();
    newWordFold.assign(wordList.size(), kNoFold);
    for (const Paragraph& p : paragraphs) {
        const int fold = p.date != 0 ? p.date : p.line % 10;
        for (const CorpusToken& t : p.tokens) {
            const int id = words.WordId(t.word);
            if (id < SpecialWords::kCount || gbk::CharCount(t.word) < 2)
                continue;
            int32_t& f = newWordFold[static_cast<size_t>(id)];
            f = f == kNoFold || f == fold ? fold : kManyFolds;
        }
    }
}

bool RoleModelTrainer::IsNewWord(int id) const
{
    return id >= 0 && static_cast<size_t>(id) < newWordFold.size() && newWordFold[static_cast<size_t>(id)] != kNoFold &&
           newWordFold[static_cast<size_t>(id)] != kManyFolds;
}

void RoleModelTrainer::Reshape(std::vector<WordStatistics::Token>& s,
                               const std::vector<RoleScheme::Entity>& classSpans) const
{
    using Token = WordStatistics::Token;
    const std::vector<std::string>& wordList = words.GetWordList();
    if (!newWordFold.empty()) {
        std::vector<Token> cut;
        cut.reserve(s.size());
        for (size_t i = 0; i < s.size(); ++i) {
            const Token& t = s[i];
            if (i == 0 || i + 1 == s.size() || !IsNewWord(t.id)) {
                cut.push_back(t);
                continue;
            }
            int at = t.start;
            for (const std::string& c : gbk::Chars(wordList[static_cast<size_t>(t.id)])) {
                const int end = at + static_cast<int>(c.size());
                cut.push_back({at, end, words.WordId(c)});
                at = end;
            }
        }
        s.swap(cut);
    }
    for (const RoleScheme::Entity& span : classSpans) {
        if (span.type < 0 || span.type >= SpecialWords::kCount)
            continue;
        // The markers stay: a span is merged only from the tokens between them.
        size_t first = 1;
        while (first + 1 < s.size() && s[first].start < span.start)
            ++first;
        if (first + 1 >= s.size() || s[first].start != span.start)
            continue;
        size_t last = first;
        while (last + 2 < s.size() && s[last].end < span.end)
            ++last;
        // The engine merges only what is two tokens or more.
        if (s[last].end != span.end || last == first)
            continue;
        const int id = words.WordId(SpecialWords::kWords[span.type]);
        s[first] = {span.start, span.end, id};
        s.erase(s.begin() + static_cast<std::ptrdiff_t>(first) + 1, s.begin() + static_cast<std::ptrdiff_t>(last) + 1);
    }
}

std::vector<ModelWriter::LexiconEntries> RoleModelTrainer::SuffixTable() const
{
    // Keyed by the word id of the final character: how often a token of two or
    // more characters ending in it was the last word of a name, and how often
    // it was anything else (whole names included). Counted before the lexicon
    // is completed, from the tokens the engine's segmentation really made.
    const std::vector<std::string>& wordList = words.GetWordList();
    const int other = scheme.GetInventory().other, suffix = scheme.SuffixRole();
    std::vector<std::pair<int64_t, int64_t>> counts; // char id -> (last, else)
    for (size_t id = SpecialWords::kCount; id < roleCounts.size() && id < wordList.size(); ++id) {
        const std::vector<std::string> chars = gbk::Chars(wordList[id]);
        if (chars.size() < 2)
            continue;
        const int c = words.WordId(chars.back());
        if (c < 0)
            continue;
        if (counts.size() <= static_cast<size_t>(c))
            counts.resize(static_cast<size_t>(c) + 1, {0, 0});
        for (const auto& r : roleCounts[id])
            (r.first == suffix ? counts[static_cast<size_t>(c)].first : counts[static_cast<size_t>(c)].second) +=
                r.second;
    }
    std::vector<ModelWriter::LexiconEntries> table(counts.size());
    const auto clamp = [](int64_t v) { return static_cast<int32_t>(std::min<int64_t>(v, INT32_MAX)); };
    for (size_t c = 0; c < counts.size(); ++c)
        if (counts[c].first > 0)
            table[c] = {{static_cast<uint8_t>(suffix), clamp(counts[c].first)},
                        {static_cast<uint8_t>(other), clamp(counts[c].second)}};
    while (!table.empty() && table.back().empty())
        table.pop_back();
    return table;
}

bool RoleModelTrainer::Write(const std::string& dataDir)
{
    const int other = scheme.GetInventory().other;
    const std::string stem = dataDir + "/" + scheme.FileStem();
    if (scheme.SuffixRole() >= 0 && !ModelWriter::WriteLexicon(stem + ".suffix", SuffixTable()))
        return false;
    scheme.CompleteLexicon(roleCounts, words.GetWordList());
    if (scheme.KeepsRunsApart() && !ModelWriter::WriteBytes(stem + ".apart", ApartRuns::Bytes(apart.Runs(roleCounts))))
        return false;
    std::vector<ModelWriter::LexiconEntries> lexicon;
    lexicon.reserve(roleCounts.size());
    for (const auto& c : roleCounts) {
        // A word seen only in the default role needs no entries: the tagger gives
        // it the default role anyway, with the same effect on every path.
        if (c.size() == 1 && c.begin()->first == other)
            lexicon.emplace_back();
        else
            lexicon.push_back(ModelWriter::SortedEntries(c));
    }
    while (!lexicon.empty() && lexicon.back().empty())
        lexicon.pop_back();
    return ModelWriter::WriteLexicon(stem + ".role", lexicon) &&
           ModelWriter::WriteContext(stem + ".ctx", scheme.GetInventory().count, roleFrequency, rolePairs) &&
           scheme.WriteAutomaton(stem + ".fsa");
}
