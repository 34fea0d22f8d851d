#include "tagging/CEntityRecognizer.h"

#include <algorithm>
#include <new>

#include "engine/CSymbolTagger.h"
#include "lexicon/CPDAT.h"
#include "lexicon/CUnigram.h"
#include "lexicon/CWordRuns.h"
#include "lexicon/GbkChar.h"
#include "tagging/CPosLexicon.h"
#include "tagging/CHmmTagger.h"
#include "tagging/CNameBounds.h"
#include "tagging/CPosStage.h"

namespace {

constexpr uint8_t kBeginsOwner = 1;
constexpr uint8_t kEndsOwner = 2;
constexpr uint8_t kUnknownTag = 255;
// The count a piece of a new word takes in each role of a word opening or inside
// an organisation: none, the emission's smoothing alone (with a count of one the
// pieces of mis-cut new words opened too many names).
constexpr int32_t kNewWordPieceCount = 0;
// The count a word that may end an organisation by its suffix takes in the last role.
constexpr int32_t kSuffixWordCount = 1;
// The count a place found in the sentence takes in the roles of a word opening
// an organisation or inside one: a word seen there once.
constexpr int32_t kPlaceWordCount = 1;
// How often a unit must have ended a place word in training (SetPlaceUnits).
constexpr int32_t kMinUnitCount = 3;
constexpr int32_t kUnitShareInverse = 5;

int CharBytes(const char* text, int at, int end)
{
    return gbkchar::Length(reinterpret_cast<const unsigned char*>(text), at, end);
}

} // namespace

CEntityRecognizer::CEntityRecognizer(const CPDAT* d, int32_t newWord, double vocabularySize, const Kind& places,
                                     const Kind& organizations)
    : dict(d), newWordId(newWord)
{
    const Kind* kinds[2] = {&places, &organizations};
    for (int k = 0; k < 2; ++k) {
        const Kind& kind = *kinds[k];
        models[k].kind = kind;
        if (kind.roles == nullptr || kind.context == nullptr || kind.automaton == nullptr || kind.wordId < 0 ||
            kind.automaton->GetSymbolCount() <= 0)
            continue;
        const CRoleTagger& fsa = *kind.automaton;
        const auto defaultRole = static_cast<uint8_t>(fsa.GetSymbolCount() - 1);
        models[k].hmm.reset(new (std::nothrow) CHmmTagger(kind.roles, kind.context, vocabularySize, defaultRole));
        models[k].runs.Build(fsa, kind.roles, defaultRole);
        uint8_t roleReach[CRoleTagger::kMaxSymbols] = {};
        for (int role = 0; role < fsa.GetSymbolCount(); ++role) {
            if (fsa.Next(0, role) >= 0)
                roleReach[role] |= kStarts;
            for (int state = 0; state < fsa.GetStateCount(); ++state) {
                const int next = fsa.Next(state, role);
                if (next >= 0 && fsa.IsAccepting(next))
                    roleReach[role] |= kEnds;
            }
        }
        const int words = kind.roles->GetIndexSize();
        models[k].reach.assign(static_cast<size_t>(words), 0);
        for (int id = 0; id < words; ++id) {
            int n = 0;
            const CPosLexicon::Entry* e = kind.roles->Lookup(id, &n);
            int32_t ends = 0, after = 0, all = 0;
            for (int i = 0; i < n; ++i) {
                models[k].reach[static_cast<size_t>(id)] |= roleReach[e[i].tag];
                all += e[i].frequency;
                if (e[i].tag == kRoleLastPiece)
                    ends = e[i].frequency;
                else if (e[i].tag == kRoleAfter || e[i].tag == kRoleBetween)
                    after += e[i].frequency;
            }
            // A place unit (SetPlaceUnits) ends place words more often than it
            // follows them, and at least a fifth of its times: 里 and 地 end
            // village names, but mostly stand as a word of place or an
            // adverb's ending.
            if (k == 0 && ends >= kMinUnitCount && ends > after && ends * kUnitShareInverse >= all)
                models[k].reach[static_cast<size_t>(id)] |= kUnit;
        }
    }
}

CEntityRecognizer::~CEntityRecognizer() = default;

void CEntityRecognizer::SetBackoff(const Backoff& b)
{
    backoff = b;
    Model& model = models[1];
    model.backoffRuns = CRunFilter();
    if (!model.hmm)
        return;
    // The role every word takes after an organisation is in every token's set.
    const CRoleTagger& fsa = *model.kind.automaton;
    const uint32_t every = backoff.context ? uint32_t(1) << kRoleAfter : 0;
    model.backoffRuns.Build(fsa, model.kind.roles, static_cast<uint8_t>(fsa.GetSymbolCount() - 1), every);
}

void CEntityRecognizer::Run(CSentence& sentence)
{
    Recognize(sentence.text, sentence.items, sentence.count);
    if (!hasParts || (partTagger == nullptr && partStage == nullptr))
        return;
    if (partStage != nullptr)
        TagParts(*partStage, sentence.length);
    else
        TagParts(*partTagger);
    if (symbolTagger != nullptr)
        symbolTagger->ApplyToParts(sentence.text, parts.data(), parts.size());
    if (partOffsets.size() == static_cast<size_t>(sentence.count) + 1) {
        sentence.partOffsets = partOffsets.data();
        sentence.parts = parts.data();
    }
}

void CEntityRecognizer::Recognize(const char* sentence, TokenRecord* items, int& count)
{
    hasParts = false;
    sentenceText = sentence;
    pieces.clear();
    pieceOffsets.clear();
    beforeCount = 0;
    if (items == nullptr || count <= 2)
        return;
    const size_t n = static_cast<size_t>(count);
    original = items;
    beforeCount = count;

    // The tokens as the models were trained on them: new words in characters.
    // (Most sentences have no new word to split: copied at once.)
    anyPiece = false;
    int split = 0;
    while (split < count && !(split > 0 && split + 1 < count && sentence != nullptr && newWordId >= 0 &&
                               items[split].wordId == newWordId && (items[split].flags & kFlagNewWord)))
        ++split;
    work.assign(items, items + split);
    owner.resize(static_cast<size_t>(split));
    for (int i = 0; i < split; ++i)
        owner[static_cast<size_t>(i)] = i;
    edges.assign(static_cast<size_t>(split), kBeginsOwner | kEndsOwner);
    for (int i = split; i < count; ++i) {
        const TokenRecord& t = items[i];
        const bool newWord = i > 0 && i + 1 < count && sentence != nullptr && newWordId >= 0 &&
                             t.wordId == newWordId && (t.flags & kFlagNewWord) && t.start >= 0 && t.end > t.start;
        if (newWord && CharBytes(sentence, t.start, t.end) < t.end - t.start) {
            for (int at = t.start; at < t.end;) {
                const int bytes = CharBytes(sentence, at, t.end);
                TokenRecord c = t;
                c.start = at;
                c.end = at + bytes;
                c.wordId = dict != nullptr ? dict->ExactMatch(sentence + at, bytes) : -1;
                c.flags = 0;
                work.push_back(c);
                owner.push_back(i);
                anyPiece = true;
                edges.push_back(static_cast<uint8_t>((at == t.start ? kBeginsOwner : 0) |
                                                     (at + bytes == t.end ? kEndsOwner : 0)));
                at += bytes;
            }
            continue;
        }
        work.push_back(t);
        owner.push_back(i);
        edges.push_back(kBeginsOwner | kEndsOwner);
    }

    // Which words may end an organisation by their suffix, once for both the
    // test and the candidates of the organisation model.
    anyListed[0] = anyListed[1] = false;
    // (Only a supplementary word has a class: most sentences have none.)
    for (size_t w = 0; backoff.listed && w < work.size(); ++w)
        if (work[w].flags & kFlagSupplementWord)
            for (int k = 0; k < 2; ++k)
                anyListed[k] = anyListed[k] || ListedClass(k, w) != 0;
    suffixEnds.assign(work.size(), 0);
    anySuffixEnd = false;
    if (models[1].hmm && SuffixesApply())
        for (size_t w = 1; w + 1 < work.size(); ++w) {
            // The test EndsBySuffix makes first, here without the call: nearly
            // every token is a frequent word it rejects.
            const TokenRecord& t = work[w];
            if (!(t.flags & kFlagSupplementWord) &&
                (suffixes.unigram == nullptr || t.wordId < 0 ||
                 suffixes.unigram->Frequency(t.wordId) > suffixes.maxFrequency))
                continue;
            if (EndsBySuffix(w)) {
                suffixEnds[w] = 1;
                anySuffixEnd = true;
            }
        }

    places.clear();
    merges.clear();
    if (models[0].hmm)
        FindNames(models[0], count, places);
    anyPlaceWord = false;
    if (models[1].hmm && backoff.places)
        MarkPlaceWords();
    if (models[1].hmm)
        FindNames(models[1], count, merges);
    // An organisation wins over the places it overlaps; a place inside it keeps
    // its word whole there.
    if (!places.empty()) {
        size_t org = 0;
        const size_t organizations = merges.size();
        for (const Merge& p : places) {
            while (org < organizations && merges[org].last < p.first)
                ++org;
            if (org < organizations && merges[org].first <= p.last) {
                Merge& o = merges[org];
                if (o.first <= p.first && p.last <= o.last)
                    for (const auto& g : p.goesOn) {
                        // The word is the place's, whichever of the two joins it.
                        auto same = std::find_if(o.goesOn.begin(), o.goesOn.end(),
                                                 [&](const std::pair<int32_t, uint8_t>& x) { return x.first == g.first; });
                        if (same != o.goesOn.end())
                            same->second = p.tag;
                        else
                            o.goesOn.emplace_back(g.first, p.tag);
                    }
                continue;
            }
            merges.push_back(p);
        }
        std::sort(merges.begin(), merges.end(), [](const Merge& a, const Merge& b) { return a.first < b.first; });
    }
    if (merges.empty())
        return;
    // (Kept for TagParts; a sentence without a name needs no copy.)
    before.assign(items, items + n);

    // Merge in place; every token's words follow (none for a token of one word).
    pieceOffsets.assign(1, 0);
    int d = 0;
    size_t next = 0;
    for (int i = 0; i < count;) {
        if (next < merges.size() && merges[next].first == i) {
            const Merge& m = merges[next++];
            joined.clear();
            for (int j = m.first; j <= m.last; ++j)
                joined.push_back({items[j].start, items[j].end, j, j, kUnknownTag});
            // Words that go on across a token boundary become one.
            size_t w = 0;
            for (size_t p = 1; p < joined.size(); ++p) {
                const auto g = std::find_if(m.goesOn.begin(), m.goesOn.end(),
                                            [&](const std::pair<int32_t, uint8_t>& x) { return x.first == joined[w].end; });
                if (g != m.goesOn.end()) {
                    joined[w].end = joined[p].end;
                    joined[w].last = joined[p].last;
                    joined[w].tag = g->second;
                } else {
                    joined[++w] = joined[p];
                }
            }
            joined.resize(w + 1);
            if (joined.size() > 1) {
                pieces.insert(pieces.end(), joined.begin(), joined.end());
                hasParts = true;
            }
            TokenRecord merged = items[i];
            merged.end = items[m.last].end;
            merged.wordId = m.wordId;
            merged.kind = m.tag;
            merged.fixedTag = 255;
            if (m.last > m.first)
                merged.flags = 0;
            items[d++] = merged;
            i = m.last + 1;
        } else {
            if (d != i)
                items[d] = items[i];
            ++d;
            ++i;
        }
        pieceOffsets.push_back(static_cast<int32_t>(pieces.size()));
    }
    count = d;
}

int CEntityRecognizer::ListedClass(int k, size_t w) const
{
    const TokenRecord& t = work[w];
    if (!backoff.listed || !(t.flags & kFlagSupplementWord) || (t.flags & kFlagUserWord))
        return 0;
    if (t.fixedTag == kUnknownTag)
        return k == 1 && backoff.untagged ? 1 : 0;
    const auto has = [&](const std::vector<uint8_t>& tags) {
        return std::find(tags.begin(), tags.end(), t.fixedTag) != tags.end();
    };
    return has(backoff.opening[k]) ? 1 : has(backoff.inner[k]) ? 2 : 0;
}

bool CEntityRecognizer::SuffixesApply() const
{
    return suffixes.table != nullptr && suffixes.share > 0 && dict != nullptr && sentenceText != nullptr &&
           models[1].kind.roles != nullptr;
}

bool CEntityRecognizer::EndsBySuffix(size_t w) const
{
    // SuffixesApply holds. The tests go cheapest first: most tokens are
    // frequent words, rejected by one read of the unigram table.
    if (w >= work.size() || edges[w] != (kBeginsOwner | kEndsOwner))
        return false;
    const TokenRecord& t = work[w];
    if (t.start < 0 || t.end <= t.start)
        return false;
    if (!(t.flags & kFlagSupplementWord) &&
        (suffixes.unigram == nullptr || t.wordId < 0 || suffixes.unigram->Frequency(t.wordId) > suffixes.maxFrequency))
        return false;
    int last = t.start, chars = 0;
    for (int at = t.start; at < t.end; ++chars) {
        last = at;
        at += std::max(1, CharBytes(sentenceText, at, t.end));
    }
    if (chars < 2)
        return false;
    // A word already seen ending one keeps what the lexicon says of it.
    int n = 0;
    const CPosLexicon::Entry* e = models[1].kind.roles->Lookup(t.wordId, &n);
    for (int i = 0; e != nullptr && i < n; ++i)
        if (e[i].tag == kRoleLast)
            return false;
    const int32_t c = dict->ExactMatch(sentenceText + last, t.end - last);
    if (c < 0 || c >= suffixes.table->GetIndexSize())
        return false;
    int32_t ends = 0, others = 0;
    e = suffixes.table->Lookup(c, &n);
    for (int i = 0; e != nullptr && i < n; ++i)
        (e[i].tag == kRoleLast ? ends : others) += e[i].frequency;
    return ends >= suffixes.minCount && ends >= suffixes.share * (static_cast<double>(ends) + others);
}

void CEntityRecognizer::MarkPlaceWords()
{
    const size_t n = work.size();
    // The places the name stage found (a transliterated place, a name read as
    // a place beside others) are tokens of the place class word, which the
    // organisation roles never saw.
    const int32_t placeClass = models[0].kind.wordId;
    size_t t = 1;
    while (placeClass >= 0 && t + 1 < n && !(work[t].wordId == placeClass && edges[t] == (kBeginsOwner | kEndsOwner)))
        ++t;
    // (Read only when some token is marked: most sentences have no place.)
    if (places.empty() && (placeClass < 0 || t + 1 >= n))
        return;
    placeWords.assign(n, PlaceWord{});
    for (; placeClass >= 0 && t + 1 < n; ++t)
        if (work[t].wordId == placeClass && edges[t] == (kBeginsOwner | kEndsOwner)) {
            placeWords[t] = PlaceWord{kRoleFirst, kRoleInner};
            anyPlaceWord = true;
        }
    size_t w = 0;
    for (const Merge& p : places) {
        while (w < n && owner[w] < p.first)
            ++w;
        const size_t begin = w;
        while (w < n && owner[w] <= p.last)
            ++w;
        // A token ends a word of the place at the place's end, or at its
        // owner's end unless the place joins its word to the next there.
        bool startsWord = true;
        for (size_t t = begin; t < w; ++t) {
            const bool goesOn = t + 1 < w && (!(edges[t] & kEndsOwner) ||
                                              std::any_of(p.goesOn.begin(), p.goesOn.end(),
                                                          [&](const std::pair<int32_t, uint8_t>& g) { return g.first == work[t].end; }));
            PlaceWord& r = placeWords[t];
            if (startsWord)
                r.inner = goesOn ? kRoleInnerBegin : kRoleInner;
            else
                r.inner = goesOn ? kRoleInnerMiddle : kRoleInnerEnd;
            if (t == begin)
                r.opening = goesOn ? kRoleFirstPiece : kRoleFirst;
            startsWord = !goesOn;
            anyPlaceWord = true;
        }
    }
}

bool CEntityRecognizer::BackoffCandidates(const Model& model)
{
    const int k = KindOf(model);
    const size_t n = work.size();
    const CPosLexicon& roles = *model.kind.roles;
    const auto other = static_cast<uint8_t>(model.kind.automaton->GetSymbolCount() - 1);
    ownEntries.clear();
    own.assign(n, CHmmTagger::Candidates{});
    std::vector<std::pair<size_t, size_t>>& spans = ownSpans; // into ownEntries, pointed at once it stops growing
    spans.assign(n, {0, 0});
    for (size_t w = 1; w + 1 < n; ++w) {
        const size_t from = ownEntries.size();
        const auto add = [&](uint8_t role, int32_t frequency) {
            for (size_t e = from; e < ownEntries.size(); ++e)
                if (ownEntries[e].tag == role)
                    return;
            ownEntries.push_back({role, frequency});
        };
        const int listed = ListedClass(k, w);
        if (listed != 0) {
            // A word seen once in each role the trainer's rule gives it.
            add(other, 1);
            if (listed == 1)
                add(kRoleFirst, 1);
            add(kRoleInner, 1);
        } else {
            int count = 0;
            const CPosLexicon::Entry* e = roles.Lookup(work[w].wordId, &count);
            if (e == nullptr || count <= 0)
                add(other, 0);
            for (int i = 0; i < count; ++i)
                add(e[i].tag, e[i].frequency);
        }
        if (k == 1 && anyPlaceWord) {
            // Before the new-word pieces: a place's pieces take its count.
            if (placeWords[w].opening != 0)
                add(placeWords[w].opening, kPlaceWordCount);
            if (placeWords[w].inner != 0)
                add(placeWords[w].inner, kPlaceWordCount);
        }
        if (k == 1 && backoff.newWords && edges[w] != (kBeginsOwner | kEndsOwner)) {
            // A piece of a new word: its word opens the name or stands inside it.
            if (edges[w] & kBeginsOwner) {
                add(kRoleFirstPiece, kNewWordPieceCount);
                add(kRoleInnerBegin, kNewWordPieceCount);
            } else if (edges[w] & kEndsOwner) {
                // A name the pieces let run through the new word never ends
                // in it: the new word is then mostly a place (金刘寨村).
                ownEntries.erase(std::remove_if(ownEntries.begin() + static_cast<std::ptrdiff_t>(from), ownEntries.end(),
                                                [](const CPosLexicon::Entry& x) { return x.tag == kRoleLastPiece; }),
                                 ownEntries.end());
                add(kRoleInnerEnd, kNewWordPieceCount);
            } else {
                add(kRoleInnerMiddle, kNewWordPieceCount);
            }
        }
        if (k == 1 && suffixEnds[w])
            add(kRoleLast, kSuffixWordCount);
        if (backoff.context && k == 1)
            add(kRoleAfter, 0);
        spans[w] = {from, ownEntries.size() - from};
    }
    for (size_t w = 0; w < n; ++w)
        if (spans[w].second > 0)
            own[w] = CHmmTagger::Candidates{ownEntries.data() + spans[w].first, static_cast<int>(spans[w].second)};
    return n > 2; // every word between the markers has its list
}

bool CEntityRecognizer::MayHoldName(const Model& model)
{
    // A supplementary word read by its tag is none of the lexicon's words.
    const int k = KindOf(model);
    if (anyListed[k])
        return true;
    const bool anyPiece = backoff.newWords && this->anyPiece;
    // The organisation back-offs add roles to a few tokens (the pieces of new
    // words, words that may end one by their suffix, the places found): the
    // test follows the roles BackoffCandidates gives them, or a superset.
    if (k == 1 && (anyPiece || anySuffixEnd || anyPlaceWord))
        return model.backoffRuns.IsBuilt() ? MayHoldBackoffName(model) : true;
    if (model.runs.IsBuilt())
        return model.runs.MayAccept(work.data(), static_cast<int>(work.size()));
    // The default role (of words the lexicon lacks) neither starts nor ends one.
    const size_t words = model.reach.size();
    bool started = false;
    for (const TokenRecord& t : work) {
        const uint8_t r =
            t.wordId >= 0 && static_cast<size_t>(t.wordId) < words ? model.reach[static_cast<size_t>(t.wordId)] : 0;
        if (started && (r & kEnds))
            return true;
        started = started || (r & kStarts);
    }
    return false;
}

bool CEntityRecognizer::MayHoldBackoffName(const Model& model)
{
    const size_t n = work.size();
    const auto bit = [](uint8_t role) { return role < CRunFilter::kMaxRoles ? uint32_t(1) << role : 0u; };
    extraRoles.assign(n, 0);
    for (size_t w = 1; w + 1 < n; ++w) {
        uint32_t roles = 0;
        if (anyPlaceWord)
            roles |= (placeWords[w].opening != 0 ? bit(placeWords[w].opening) : 0) |
                     (placeWords[w].inner != 0 ? bit(placeWords[w].inner) : 0);
        if (backoff.newWords && edges[w] != (kBeginsOwner | kEndsOwner)) {
            if (edges[w] & kBeginsOwner)
                roles |= bit(kRoleFirstPiece) | bit(kRoleInnerBegin);
            else if (edges[w] & kEndsOwner)
                roles |= bit(kRoleInnerEnd);
            else
                roles |= bit(kRoleInnerMiddle);
        }
        if (suffixEnds[w])
            roles |= bit(kRoleLast);
        extraRoles[w] = roles;
    }
    return model.backoffRuns.MayAccept(work.data(), static_cast<int>(n), extraRoles.data());
}

void CEntityRecognizer::FindNames(const Model& model, int count, std::vector<Merge>& found)
{
    if (!MayHoldName(model) && !(KindOf(model) == 0 && MayJoinUnit(model)))
        return;
    const int n = static_cast<int>(work.size());
    // Places take nothing but the listed words from the back-offs: without
    // one their candidates are the lexicon's.
    const bool backoffs = KindOf(model) == 0
                              ? anyListed[0]
                              : backoff.context || backoff.listed || backoff.newWords || backoff.places ||
                                    suffixes.table != nullptr;
    if (backoffs && BackoffCandidates(model))
        model.hmm->Tag(work.data(), n, own.data());
    else
        model.hmm->Tag(work.data(), n);
    if (placeSuffixes && KindOf(model) == 0)
        JoinPlaceSuffixes(model);
    if (placeUnits && KindOf(model) == 0)
        JoinPlaceUnits(model);
    const CRoleTagger& automaton = *model.kind.automaton;
    automaton.FindRuns(work.data(), n, runs, true);
    if (stops.lexicon != nullptr && CutAtStops(model))
        automaton.FindRuns(work.data(), n, runs, true);
    for (const CRoleTagger::Run& run : runs) {
        // A name never cuts a new word, nor takes in the sentence markers. (A run
        // that fails is tried again from its failing token: 中国 after a piece
        // that ended no name still opens 中国国际广播电台.)
        if (!(edges[static_cast<size_t>(run.first)] & kBeginsOwner) || !(edges[static_cast<size_t>(run.last)] & kEndsOwner))
            continue;
        const int first = owner[static_cast<size_t>(run.first)], last = owner[static_cast<size_t>(run.last)];
        if (first <= 0 || last + 1 >= count)
            continue;
        // A name ends at punctuation: a bracket, a quote or a book-title mark
        // it does not open and close inside, a plus sign, a run of dots.
        if (!CNameBounds::MayBeOneName(sentenceText, original, first, last))
            continue;
        if (KeptApart(model, run))
            continue;
        const auto tag = static_cast<uint8_t>(run.output & 0xFF);
        Merge m{first, last, tag, model.kind.wordId, {}};
        int state = 0;
        for (int w = run.first; w < run.last; ++w) {
            state = automaton.Next(state, work[static_cast<size_t>(w)].tag);
            if ((edges[static_cast<size_t>(w)] & kEndsOwner) && (automaton.GetOutput(state) & kWordGoesOn))
                m.goesOn.emplace_back(work[static_cast<size_t>(w)].end, tag);
        }
        found.push_back(std::move(m));
    }
}

bool CEntityRecognizer::KeptApart(const Model& model, const CRoleTagger::Run& run) const
{
    // The work tokens are the words the trainer counted the runs over (new
    // words in characters, person names as their class word).
    const int n = run.last - run.first + 1;
    if (model.kind.apart == nullptr || n < 2 || n > CWordRuns::kMaxWords)
        return false;
    int32_t ids[CWordRuns::kMaxWords];
    for (int k = 0; k < n; ++k)
        ids[k] = work[static_cast<size_t>(run.first + k)].wordId;
    return model.kind.apart->Contains(ids, n);
}

void CEntityRecognizer::JoinPlaceSuffixes(const Model& model)
{
    const CPosLexicon& roles = *model.kind.roles;
    const size_t n = work.size();
    const auto whole = [&](size_t w) { return edges[w] == (kBeginsOwner | kEndsOwner); };
    for (size_t w = 1; w + 2 < n; ++w) {
        uint8_t& at = work[w].tag;
        uint8_t& next = work[w + 1].tag;
        // The place ends here, and the next word stands outside every name.
        if ((at != kRoleWhole && at != kRoleLast && at != kRoleLastPiece) || (next >= kRoleFirst && next <= kRoleWhole))
            continue;
        if (!whole(w) || !whole(w + 1))
            continue;
        const int32_t id = work[w + 1].wordId;
        if (id < 0 || id >= roles.GetIndexSize())
            continue;
        int count = 0;
        const CPosLexicon::Entry* e = roles.Lookup(id, &count);
        int32_t last = 0, after = 0;
        for (int i = 0; i < count; ++i) {
            if (e[i].tag == kRoleLast)
                last = e[i].frequency;
            else if (e[i].tag == kRoleAfter || e[i].tag == kRoleBetween)
                after += e[i].frequency;
        }
        // Right after a place the word ends it, as a word of its own, more
        // often than it follows it. (Only words of their own: a character that
        // ends place words, 欧 of 吉林欧亚, is too often the start of the next.)
        if (last <= after)
            continue;
        if (at == kRoleWhole)
            at = kRoleFirst;
        else if (at == kRoleLast)
            at = kRoleInner;
        else
            at = kRoleInnerEnd;
        next = kRoleLast;
    }
}

void CEntityRecognizer::SetPlaceUnits(const CPosLexicon* posLexicon, uint8_t placeTag)
{
    placeUnits = models[0].hmm != nullptr;
    unitLexicon = posLexicon;
    unitPlaceTag = placeTag;
}

bool CEntityRecognizer::IsUnit(int32_t wordId) const
{
    const std::vector<uint8_t>& reach = models[0].reach;
    return wordId >= 0 && static_cast<size_t>(wordId) < reach.size() && (reach[static_cast<size_t>(wordId)] & kUnit);
}

bool CEntityRecognizer::IsPlaceWord(const Model& model, size_t w) const
{
    const TokenRecord& t = work[w];
    if (edges[w] != (kBeginsOwner | kEndsOwner))
        return true; // a new word: before a unit mostly the place it names (浇底/乡)
    if (t.tag == kRoleWhole || t.wordId == model.kind.wordId)
        return true;
    if ((t.flags & kFlagSupplementWord) && t.fixedTag == unitPlaceTag)
        return true;
    return unitPlaceTag != kUnknownTag && MainTag(unitLexicon, t.wordId) == unitPlaceTag;
}

bool CEntityRecognizer::MayJoinUnit(const Model& model) const
{
    if (!placeUnits)
        return false;
    for (size_t w = 2; w + 1 < work.size(); ++w)
        if (IsUnit(work[w].wordId) && edges[w] == (kBeginsOwner | kEndsOwner) && IsPlaceWord(model, w - 1))
            return true;
    return false;
}

bool CEntityRecognizer::UnitFormsWord(size_t u) const
{
    if (dict == nullptr || sentenceText == nullptr)
        return false;
    const TokenRecord& unit = work[u];
    // The unit and what follows it make a word the dictionary knows (北京市
    // before 市区): the segmenter's cut there is left to the lattice.
    if (u + 2 >= work.size())
        return false;
    const TokenRecord& after = work[u + 1];
    if (after.start != unit.end || after.end <= after.start)
        return false;
    // Two units side by side list levels (区/县, 省/市), not a name's end.
    if (IsUnit(after.wordId))
        return true;
    const int firstBytes = CharBytes(sentenceText, after.start, after.end);
    return dict->ExactMatch(sentenceText + unit.start, after.start + firstBytes - unit.start) >= 0 ||
           dict->ExactMatch(sentenceText + unit.start, after.end - unit.start) >= 0;
}

void CEntityRecognizer::JoinPlaceUnits(const Model& model)
{
    const size_t n = work.size();
    for (size_t w = 1; w + 2 < n; ++w) {
        const size_t u = w + 1;
        if (!IsUnit(work[u].wordId) || edges[u] != (kBeginsOwner | kEndsOwner) || !(edges[w] & kEndsOwner))
            continue;
        // The unit neither opens a name nor stands inside or at the end of one.
        const uint8_t next = work[u].tag;
        if (next != kRoleLastPiece && !(next > kRoleWhole))
            continue;
        if (UnitFormsWord(u))
            continue;
        uint8_t& at = work[w].tag;
        if (at == kRoleLast) {
            at = kRoleInnerBegin;
        } else if (at == kRoleLastPiece) {
            at = kRoleInnerMiddle;
        } else if (at == kRoleWhole || at > kRoleWhole) {
            if (!IsPlaceWord(model, w))
                continue;
            // The owner's tokens become the pieces of the one word.
            size_t b = w;
            while (b > 1 && !(edges[b] & kBeginsOwner))
                --b;
            work[b].tag = kRoleFirstPiece;
            for (size_t p = b + 1; p <= w; ++p)
                work[p].tag = kRoleInnerMiddle;
        } else {
            continue; // inside a run that goes on, or one the automaton ends itself
        }
        work[u].tag = kRoleLastPiece;
        ++w;
    }
}

uint8_t CEntityRecognizer::MainTag(const CPosLexicon* lexicon, int32_t wordId)
{
    if (lexicon == nullptr || wordId < 0 || wordId >= lexicon->GetIndexSize())
        return kUnknownTag;
    int n = 0;
    const CPosLexicon::Entry* e = lexicon->Lookup(wordId, &n);
    uint8_t tag = kUnknownTag;
    int32_t best = -1;
    for (int i = 0; i < n; ++i)
        if (e[i].frequency > best) {
            best = e[i].frequency;
            tag = e[i].tag;
        }
    return tag;
}

bool CEntityRecognizer::CutAtStops(const Model& model)
{
    const size_t n = work.size();
    const auto whole = [&](size_t w) { return edges[w] == (kBeginsOwner | kEndsOwner); };
    const auto wordClass = [&](size_t w) { return whole(w) ? MainTag(stops.lexicon, work[w].wordId) : kUnknownTag; };
    const auto numeral = [&](size_t w) {
        if (!whole(w))
            return false;
        return (stops.numberId >= 0 && work[w].wordId == stops.numberId) ||
               (stops.numeral != kUnknownTag && wordClass(w) == stops.numeral);
    };
    const auto measure = [&](size_t w) { return stops.measure != kUnknownTag && wordClass(w) == stops.measure; };
    // A run ends before a cut at its token w and starts again after it: the
    // token's role and its neighbour's become those of a last and a first.
    const auto endsHere = [&](size_t w) {
        uint8_t& t = work[w].tag;
        if (t == kRoleInner)
            t = kRoleLast;
        else if (t == kRoleInnerEnd)
            t = kRoleLastPiece;
    };
    const auto startsHere = [&](size_t w) {
        uint8_t& t = work[w].tag;
        if (t == kRoleInner)
            t = kRoleFirst;
        else if (t == kRoleInnerBegin)
            t = kRoleFirstPiece;
    };
    const uint8_t other = static_cast<uint8_t>(model.kind.automaton->GetSymbolCount() - 1);
    bool changed = false;
    for (const CRoleTagger::Run& run : runs) {
        const auto first = static_cast<size_t>(run.first), last = static_cast<size_t>(run.last);
        if (last >= n || last < first + 1)
            continue;
        for (size_t w = first + 1; w < last; ++w) {
            // A conjunction, or a numeral with the measure word after it, stands
            // outside every name; the run stops before it and starts after it.
            size_t stopEnd = w;
            if (stops.conjunction != kUnknownTag && wordClass(w) == stops.conjunction)
                stopEnd = w + 1;
            else if (numeral(w) && measure(w + 1))
                stopEnd = w + 2;
            if (stopEnd > w) {
                endsHere(w - 1);
                for (size_t s = w; s < stopEnd && s <= last; ++s)
                    work[s].tag = other;
                if (stopEnd <= last)
                    startsHere(stopEnd);
                w = stopEnd - 1;
                changed = true;
                continue;
            }
        }
        // A run of places alone (绥化市/宝山镇) is as many names: the corpus
        // keeps adjacent places apart far more often than it brackets them,
        // unless a word of another kind ends the name (山西省/吕梁/地区). A
        // new word there counts as a place: a run of them merged by their
        // characters is mostly a place name of its own (宝山镇).
        if (&model == &models[0] && stops.place != kUnknownTag) {
            const auto isPlace = [&](size_t w) {
                return wordClass(w) == stops.place ||
                       ((work[w].flags & kFlagSupplementWord) && work[w].fixedTag == stops.place);
            };
            bool places = (edges[first] & kBeginsOwner) && (edges[last] & kEndsOwner);
            int words = 0;
            for (size_t w = first; places && w <= last; ++w) {
                words += (edges[w] & kBeginsOwner) ? 1 : 0;
                places = !whole(w) || isPlace(w);
            }
            // (Unless the last word, by its own roles, ends place names at
            // least as often as it is one: 中国/南极/长城站.)
            if (places && whole(last)) {
                const int32_t id = work[last].wordId;
                int count = 0;
                const CPosLexicon::Entry* e =
                    id >= 0 && id < model.kind.roles->GetIndexSize() ? model.kind.roles->Lookup(id, &count) : nullptr;
                int32_t ends = 0, alone = 0;
                for (int i = 0; e != nullptr && i < count; ++i) {
                    if (e[i].tag == kRoleLast)
                        ends += e[i].frequency;
                    else if (e[i].tag == kRoleWhole)
                        alone += e[i].frequency;
                }
                places = ends == 0 || ends < alone;
            }
            if (places && words > 1) {
                for (size_t w = first; w <= last; ++w)
                    work[w].tag = other;
                changed = true;
            }
        }
        // Two complete organisations side by side: one whose last word mostly
        // ends organisations (or is one), the next opening with a word that
        // mostly opens them. Places are not cut so: the corpus keeps a province
        // with the prefecture after it as one place (山西省/吕梁/地区).
        if (&model != &models[1])
            continue;
        for (size_t w = first; w + 1 < last; ++w) {
            if (!whole(w) || !whole(w + 1))
                continue;
            const uint8_t at = work[w].tag, after = work[w + 1].tag;
            const bool inside = w == first ? at == kRoleFirst : (at == kRoleInner || at == kRoleInnerEnd);
            if (!inside || (after != kRoleInner && after != kRoleInnerBegin))
                continue;
            const uint8_t ends = MainTag(model.kind.roles, work[w].wordId);
            const uint8_t opens = MainTag(model.kind.roles, work[w + 1].wordId);
            if ((ends == kRoleLast || ends == kRoleWhole) && (opens == kRoleFirst || opens == kRoleWhole)) {
                endsHere(w);
                startsHere(w + 1);
                changed = true;
            }
        }
    }
    return changed;
}

void CEntityRecognizer::TagParts(CHmmTagger& posTagger)
{
    parts.clear();
    partOffsets.assign(pieceOffsets.begin(), pieceOffsets.end());
    if (!hasParts)
        return;
    posTagger.Tag(before.data(), beforeCount);
    CollectParts();
}

void CEntityRecognizer::TagParts(CPosStage& posStage, int length)
{
    parts.clear();
    partOffsets.assign(pieceOffsets.begin(), pieceOffsets.end());
    if (!hasParts)
        return;
    // The model reads a few words either side of a word, so the words of the
    // merged names are tagged in a window around them with kContext words of
    // context, not the whole sentence again.
    constexpr int kContext = 4;
    int lo = beforeCount, hi = -1;
    for (const Piece& p : pieces) {
        lo = std::min(lo, p.first);
        hi = std::max(hi, p.last);
    }
    lo = std::max(1, lo - kContext);
    hi = std::min(beforeCount - 2, hi + kContext);
    if (lo <= 1 && hi >= beforeCount - 2) {
        posStage.TagTokens(sentenceText, length, before.data(), beforeCount);
    } else if (lo <= hi) {
        window.clear();
        window.push_back(before.front());
        window.insert(window.end(), before.begin() + lo, before.begin() + hi + 1);
        window.push_back(before[static_cast<size_t>(beforeCount - 1)]);
        posStage.TagTokens(sentenceText, length, window.data(), static_cast<int>(window.size()));
        for (int i = lo; i <= hi; ++i)
            before[static_cast<size_t>(i)].tag = window[static_cast<size_t>(i - lo + 1)].tag;
    }
    CollectParts();
}

void CEntityRecognizer::CollectParts()
{
    for (const Piece& p : pieces) {
        uint8_t tag = p.tag;
        if (tag == kUnknownTag && p.first == p.last && p.first >= 0 && p.first < beforeCount)
            tag = before[static_cast<size_t>(p.first)].tag;
        parts.push_back({p.start, p.end, tag});
    }
}
