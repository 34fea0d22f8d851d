#include "tagging/CEntityRecognizer.h"

#include <new>

#include "lexicon/CPDAT.h"
#include "tagging/CHmmTagger.h"

namespace {

constexpr uint8_t kBeginsOwner = 1;
constexpr uint8_t kEndsOwner = 2;
constexpr uint8_t kUnknownTag = 255;

// Bytes of the character at text[at] (GBK: a lead byte of 0x80 or above takes
// the next byte too, when the span has it).
int CharBytes(const char* text, int at, int end)
{
    return static_cast<unsigned char>(text[at]) >= 0x80 && at + 1 < end ? 2 : 1;
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
        const auto defaultRole = static_cast<uint8_t>(kind.automaton->GetSymbolCount() - 1);
        models[k].hmm.reset(new (std::nothrow) CHmmTagger(kind.roles, kind.context, vocabularySize, defaultRole));
    }
}

CEntityRecognizer::~CEntityRecognizer() = default;

void CEntityRecognizer::Recognize(const char* sentence, TokenRecord* items, int& count)
{
    hasParts = false;
    if (items == nullptr || count <= 2) {
        beforeCount = 0;
        return;
    }
    const size_t n = static_cast<size_t>(count);
    before.assign(items, items + n);
    beforeCount = count;
    pieces.clear();
    pieceOffsets.assign(n + 1, 0);
    firstBefore.resize(n);
    lastBefore.resize(n);
    for (int i = 0; i < count; ++i)
        firstBefore[static_cast<size_t>(i)] = lastBefore[static_cast<size_t>(i)] = i;
    for (Model& m : models)
        if (m.hmm)
            Pass(m, sentence, items, count);
}

void CEntityRecognizer::AppendPieces(int i, const TokenRecord& token, std::vector<Piece>& out) const
{
    const size_t k = static_cast<size_t>(i);
    if (pieceOffsets[k + 1] > pieceOffsets[k]) {
        out.insert(out.end(), pieces.begin() + pieceOffsets[k], pieces.begin() + pieceOffsets[k + 1]);
        return;
    }
    // A name merged by an earlier pass is one word of its kind.
    uint8_t tag = kUnknownTag;
    for (const Model& m : models)
        if (m.kind.wordId >= 0 && token.wordId == m.kind.wordId)
            tag = token.kind;
    out.push_back({token.start, token.end, firstBefore[k], lastBefore[k], tag});
}

void CEntityRecognizer::Pass(Model& model, const char* sentence, TokenRecord* items, int& count)
{
    // The tokens as the model was trained on them: new words in characters.
    work.clear();
    owner.clear();
    edges.clear();
    for (int i = 0; i < count; ++i) {
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
    const int n = static_cast<int>(work.size());
    model.hmm->Tag(work.data(), n);
    const CRoleTagger& automaton = *model.kind.automaton;
    automaton.FindRuns(work.data(), n, runs);
    if (runs.empty())
        return;

    merges.clear();
    dropped.clear();
    for (const CRoleTagger::Run& run : runs) {
        // A name never cuts a new word, nor takes in the sentence markers.
        if (!(edges[static_cast<size_t>(run.first)] & kBeginsOwner) || !(edges[static_cast<size_t>(run.last)] & kEndsOwner))
            continue;
        const int first = owner[static_cast<size_t>(run.first)], last = owner[static_cast<size_t>(run.last)];
        if (first <= 0 || last + 1 >= count)
            continue;
        Merge m{first, last, static_cast<uint8_t>(run.output & 0xFF), dropped.size(), 0};
        int state = 0;
        for (int w = run.first; w < run.last; ++w) {
            state = automaton.Next(state, work[static_cast<size_t>(w)].tag);
            if ((edges[static_cast<size_t>(w)] & kEndsOwner) && (automaton.GetOutput(state) & kWordGoesOn))
                dropped.push_back(work[static_cast<size_t>(w)].end);
        }
        m.droppedEnd = dropped.size();
        merges.push_back(m);
    }
    if (merges.empty())
        return;

    // Merge in place; the pieces of every token follow.
    newPieces.clear();
    newPieceOffsets.assign(1, 0);
    newFirst.clear();
    newLast.clear();
    int d = 0;
    size_t next = 0;
    for (int i = 0; i < count;) {
        const size_t k = static_cast<size_t>(i);
        if (next < merges.size() && merges[next].first == i) {
            const Merge& m = merges[next++];
            joined.clear();
            for (int j = m.first; j <= m.last; ++j)
                AppendPieces(j, items[j], joined);
            // Words that go on across a token boundary become one.
            size_t w = 0;
            for (size_t p = 1; p < joined.size(); ++p) {
                bool goesOn = false;
                for (size_t q = m.droppedBegin; q < m.droppedEnd; ++q)
                    goesOn = goesOn || dropped[q] == joined[w].end;
                if (goesOn) {
                    joined[w].end = joined[p].end;
                    joined[w].last = joined[p].last;
                    joined[w].tag = m.tag;
                } else {
                    joined[++w] = joined[p];
                }
            }
            joined.resize(joined.empty() ? 0 : w + 1);
            if (joined.size() > 1) {
                newPieces.insert(newPieces.end(), joined.begin(), joined.end());
                hasParts = true;
            }
            TokenRecord merged = items[i];
            merged.end = items[m.last].end;
            merged.wordId = model.kind.wordId;
            merged.kind = m.tag;
            merged.fixedTag = 255;
            if (m.last > m.first)
                merged.flags = 0;
            newFirst.push_back(firstBefore[k]);
            newLast.push_back(lastBefore[static_cast<size_t>(m.last)]);
            items[d++] = merged;
            i = m.last + 1;
        } else {
            newPieces.insert(newPieces.end(), pieces.begin() + pieceOffsets[k], pieces.begin() + pieceOffsets[k + 1]);
            newFirst.push_back(firstBefore[k]);
            newLast.push_back(lastBefore[k]);
            if (d != i)
                items[d] = items[i];
            ++d;
            ++i;
        }
        newPieceOffsets.push_back(static_cast<int32_t>(newPieces.size()));
    }
    count = d;
    pieces.swap(newPieces);
    pieceOffsets.swap(newPieceOffsets);
    firstBefore.swap(newFirst);
    lastBefore.swap(newLast);
}

void CEntityRecognizer::TagParts(CHmmTagger& posTagger)
{
    parts.clear();
    partOffsets.assign(pieceOffsets.begin(), pieceOffsets.end());
    if (!hasParts)
        return;
    posTagger.Tag(before.data(), beforeCount);
    for (const Piece& p : pieces) {
        uint8_t tag = p.tag;
        if (tag == kUnknownTag && p.first == p.last && p.first >= 0 && p.first < beforeCount)
            tag = before[static_cast<size_t>(p.first)].tag;
        parts.push_back({p.start, p.end, tag});
    }
}
