#include "engine/CAnalyzer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "engine/CModel.h"
#include "engine/CSymbolTagger.h"
#include "engine/CTagSet.h"
#include "engine/EngineContext.h"
#include "lexicon/CPDAT.h"
#include "lexicon/CUnigram.h"
#include "segment/CCharset.h"
#include "segment/CPreProcess.h"
#include "segment/CSegment.h"
#include "segment/CSupplementWords.h"
#include "tagging/CHmmTagger.h"
#include "tagging/CNameStage.h"
#include "tagging/CRoleTagger.h"
#include "tagging/TagCodes.h"

namespace {

// The page goes to its file in blocks of about this size.
constexpr size_t kPageBlock = 64 * 1024;

// Token formats of the result page; each token is T0, then one of these around
// its text, then the tag name (S1) and the separator (S2).
// Pieces of markup with their lengths, so that appending one needs no strlen.
struct Piece {
    const char* text;
    size_t size;
};
template <size_t N> constexpr Piece P(const char (&text)[N]) { return Piece{text, N - 1}; }
constexpr Piece kT0 = P("<font face=\"\xBF\xAC\xCC\xE5_GB2312\""); // 楷体_GB2312
struct TokenFormat {
    Piece open;
    Piece close;
};
const TokenFormat kNumeral = {P(" color=\"#800000\"><i>"), P("</i></font></font>")};
const TokenFormat kPerson = {P(" color=\"#FF0000\"><i>"), P("</i></font></font>")};
const TokenFormat kPlace = {P(" color=\"FF99FF\"><i>"), P("</i></font></font>")};
const TokenFormat kOrganization = {P(" color=\"FF00FF\"><i>"), P("</i></font></font>")};
const TokenFormat kTime = {P(" color=\"C0C0C0\"><i>"), P("</i></font></font>")};
const TokenFormat kString = {P(" color=\"00FFFF\"><i>"), P("</i></font></font>")};
const TokenFormat kUserWord = {P(" color=\"#0000FF\"><u>"), P("</u></font></font>")};
const TokenFormat kPlain = {P(">"), P("</font>")};
const char* const kS1Open = "<font face=\"Times New Roman\" color=\"#0000FF\">/";
const char* const kS1Close = "</font>";
const char* const kS2 = "  ";
constexpr Piece kP1 = P("</p><p>");
inline void Append(std::string& out, Piece piece) { out.append(piece.text, piece.size); }

// The character models (new words, names) read a sentence without the line
// breaks that close it, so that a line comes out the same with or without its
// break (a pipe's lines have one, a program's strings often not).
int WithoutClosingBreaks(const char* sentence, int length)
{
    while (length > 0 && (sentence[length - 1] == '\n' || sentence[length - 1] == '\r'))
        --length;
    return length;
}

// The tags a word a user adds without a tag of its own may get: names and
// content words. Function words, pronouns, numerals, measure words, affixes,
// morphemes and signs are closed classes a user does not add to (the tags of
// the new-word class include them, for the odd new word the corpus has).
void ClosedClassTags(const CTagSet* tagSet, bool (&closed)[256])
{
    static const char* const kOpen[] = {"n",  "nr", "nr1", "nr2", "nrj", "nrf", "ns", "nsf", "nt",
                                        "nz", "nl", "nx",  "na",  "v",   "vn",  "vvn", "a", "an",
                                        "b",  "i",  "j",   "l",   "o",   "s",   "t",  "z"};
    if (tagSet == nullptr)
        return;
    for (int code = 0; code < tagSet->GetCount() && code < 256; ++code) {
        const char* name = tagSet->GetName(code);
        bool open = false;
        for (const char* o : kOpen)
            open = open || (name != nullptr && std::strcmp(name, o) == 0);
        closed[code] = !open;
    }
}

} // namespace

CAnalyzer::CAnalyzer(const CCharset* charset, const CPDAT* coreDict, const CUnigram* unigram,
                     const CBigram* bigram, const CPDAT* userDict, const CPosLexicon* posLexicon,
                     const CTagSet* tagSet, const CTagTransitions* posContext,
                     const CPosLexicon* roleLexicon, const CTagTransitions* roleContext,
                     const CRoleTagger* roleTagger)
    : tagSet(tagSet), roleTagger(roleTagger)
{
    Build(charset, coreDict, unigram, bigram, userDict, posLexicon, posContext, roleLexicon, roleContext);
}

CAnalyzer::CAnalyzer(const CModel& model)
    : model(&model), tagSet(model.tagSet.get()), roleTagger(model.roleTagger.get())
{
    Build(model.charset.get(), model.coreDict.get(), model.unigram.get(), model.bigram.get(),
          model.userDictFile.get(), model.posLexicon.get(), model.posContext.get(), model.roleLexicon.get(),
          model.roleContext.get(), model.pairScores.get());
    // A tag a program gave one of its words is the tag the word gets.
    if (posTagger)
        posTagger->SetUseFixedTags(true);
    if (model.newWordsOn && model.newWordModel && model.newWordModel->IsLoaded()) {
        newWordModel = model.newWordModel.get();
        preProcessor->SetJoinNumbers(true);
        newWordMargin = model.newWordMargin;
        newWordMargin2 = model.newWordMargin2;
        newWordPenalty = model.newWordPenalty;
        newWordWeight = model.newWordWeight;
    }
    if (model.newWordsOn && model.supplement && model.supplement->IsLoaded()) {
        supplementWords.reset(new (std::nothrow) CSupplementWords(model.supplement.get()));
        supplementBonus = model.supplementBonus;
        // The class word's count (at least one, so that the share stays finite).
        supplementClassFrequency = std::max(1, model.unigram->Frequency(ids.unknownProper));
    }
    if (model.newWordsOn && model.nameModel && model.nameModel->IsLoaded() && preProcessor && segmenter) {
        CNameStage::Settings settings;
        settings.automatonBonus = model.nameAutomatonBonus;
        settings.automatonBonusShort = model.nameAutomatonBonusShort;
        settings.cutPenalty = model.nameCutPenalty;
        settings.veto = model.nameVeto;
        nameStage.reset(new (std::nothrow) CNameStage(*model.nameModel, *model.coreDict, *model.unigram,
                                                      model.posLexicon.get(), ids, settings));
    }
    if (model.EntitiesOn() && posTagger && model.unigram) {
        const CEntityRecognizer::Kind places{model.placeRoles.get(), model.placeContext.get(),
                                             model.placeAutomaton.get(), ids.unknownPlace};
        const CEntityRecognizer::Kind organizations{model.orgRoles.get(), model.orgContext.get(),
                                                    model.orgAutomaton.get(), ids.unknownOrganization};
        entityRecognizer.reset(new (std::nothrow) CEntityRecognizer(
            model.coreDict.get(), ids.unknownProper, static_cast<double>(model.unigram->GetEntryCount()), places,
            organizations));
        if (entityRecognizer)
            posTagger->SetEntityWordIds(ids.unknownPlace, ids.unknownOrganization);
    }
    if (model.newWordsOn && model.newPosOn && model.posModel && model.posModel->IsLoaded()) {
        posModel = model.posModel.get();
        posLexicon = model.posLexicon.get();
        if (entityRecognizer)
            posSpace.SetEntityWordIds(ids.unknownPlace, ids.unknownOrganization);
        bool closed[256] = {};
        ClosedClassTags(tagSet, closed);
        posSpace.SetUserWordClass(ids.unknownProper, closed);
    }
}

void CAnalyzer::TagWithModel(const char* text, int length, TokenRecord* items, int count)
{
    // Line breaks that close a sentence take no part in tagging its words, so a
    // line tags alike with or without its break (a pipe's lines have one, a
    // program's strings often not): the words are tagged between the markers
    // alone, then the breaks alone.
    int end = count - 1;
    while (end > 1 && items[end - 1].kind == kKindLineBreak)
        --end;
    if (end == count - 1 || end <= 1) {
        posModel->Tag(text, length, items, count, posLexicon, ids.unknownPerson, true, posSpace);
        return;
    }
    std::vector<TokenRecord>& part = posPart;
    part.assign(items, items + end);
    part.push_back(items[count - 1]);
    posModel->Tag(text, length, part.data(), end + 1, posLexicon, ids.unknownPerson, true, posSpace);
    std::copy(part.begin(), part.begin() + end, items);
    items[count - 1] = part[static_cast<size_t>(end)];
    part.clear();
    part.push_back(items[0]);
    part.insert(part.end(), items + end, items + count - 1);
    part.push_back(items[count - 1]);
    posModel->Tag(text, length, part.data(), static_cast<int>(part.size()), posLexicon, ids.unknownPerson, true,
                  posSpace);
    std::copy(part.begin() + 1, part.end() - 1, items + end);
}

void CAnalyzer::SpanDeficits()
{
    // Max-product forward and backward passes over the labelling of the last
    // Words call: fwd[i][l], the best labelling of characters 0..i ending in l;
    // bwd[i][l], the best of i..end starting with l (both with l's own score).
    const int chars = newWordSpace.GetCharCount();
    const float* s = newWordSpace.GetLabelScores();
    const float* t = newWordSpace.GetTransitionScores();
    const float kNone = -1e30f;
    const int B = CCharModel::kB, M = CCharModel::kM, E = CCharModel::kE, S = CCharModel::kS;
    forward.assign(static_cast<size_t>(chars) * 4, kNone);
    backward.assign(static_cast<size_t>(chars) * 4, kNone);
    spanDeficit.assign(static_cast<size_t>(chars) * kMaxNewWordChars, 1e30f);
    if (chars == 0)
        return;
    auto T = [t](int a, int b) { return t[a * 4 + b]; };
    // Only the grammar's transitions are finite, so each label looks at its
    // two predecessors and successors, in label order as a loop over all four would.
    forward[B] = s[B];
    forward[S] = s[S];
    for (int i = 1; i < chars; ++i) {
        const float* previous = &forward[static_cast<size_t>(i - 1) * 4];
        float* current = &forward[static_cast<size_t>(i) * 4];
        for (int l = 0; l < 4; ++l) {
            float best = kNone;
            for (int p : CCharModel::kPredecessors[l])
                if (previous[p] > kNone)
                    best = std::max(best, previous[p] + T(p, l));
            if (best > kNone)
                current[l] = best + s[i * 4 + l];
        }
    }
    const size_t last = static_cast<size_t>(chars - 1) * 4;
    backward[last + E] = s[(chars - 1) * 4 + E];
    backward[last + S] = s[(chars - 1) * 4 + S];
    for (int i = chars - 2; i >= 0; --i) {
        const float* following = &backward[static_cast<size_t>(i + 1) * 4];
        float* current = &backward[static_cast<size_t>(i) * 4];
        for (int l = 0; l < 4; ++l) {
            float best = kNone;
            for (int q : CCharModel::kSuccessors[l])
                if (following[q] > kNone)
                    best = std::max(best, T(l, q) + following[q]);
            if (best > kNone)
                current[l] = best + s[i * 4 + l];
        }
    }
    const float all = std::max(forward[last + E], forward[last + S]);
    for (int i = 0; i < chars; ++i) {
        // The best way into a word starting at i: from E or S of character i - 1.
        float left = 0;
        if (i > 0)
            left = std::max(forward[static_cast<size_t>(i - 1) * 4 + E] + T(E, B),
                            forward[static_cast<size_t>(i - 1) * 4 + S] + T(S, B));
        float inner = s[i * 4 + B];
        for (int n = 2; n <= kMaxNewWordChars && i + n <= chars; ++n) {
            const int j = i + n - 1; // the word's last character
            // inner so far covers i..j-1 as B M..M; close the word with E at j.
            const float word = inner + s[j * 4 + E] + T(n == 2 ? B : M, E);
            float right = 0;
            if (j + 1 < chars)
                right = std::max(T(E, B) + backward[static_cast<size_t>(j + 1) * 4 + B],
                                 T(E, S) + backward[static_cast<size_t>(j + 1) * 4 + S]);
            spanDeficit[static_cast<size_t>(i) * kMaxNewWordChars + static_cast<size_t>(n - 1)] =
                all - (left + word + right);
            // Extend: character j becomes an inner M.
            inner += s[j * 4 + M] + T(n == 2 ? B : M, M);
        }
    }
}

void CAnalyzer::ScoreCandidates(int length)
{
    const std::vector<TokenRecord>& candidates = preProcessor->GetCandidates();
    candidateScores.assign(candidates.size(), 0.0f);
    firstLabels.assign(candidates.size(), 255);
    lastLabels.assign(candidates.size(), 255);
    if (newWordWeight <= 0 || !labelled) {
        // Without the new-word model's scores (off, or a sentence of nothing but
        // line breaks) only the supplementary words have a say of their own:
        // their share of their class word's statistics.
        for (size_t i = 0; i < candidates.size(); ++i)
            if (candidates[i].flags & kFlagSupplementWord)
                candidateScores[i] = static_cast<float>(SupplementScore(candidates[i]));
        segmenter->SetExtraScores(candidateScores.data(), firstLabels.data(), lastLabels.data(), nullptr, 1.0);
        return;
    }
    // The labelling scores of the last Words call cover the whole sentence.
    const int chars = newWordSpace.GetCharCount();
    const int* starts = newWordSpace.GetCharStarts();
    const float* score = newWordSpace.GetLabelScores();
    const float* t = newWordSpace.GetTransitionScores();
    charAt.assign(static_cast<size_t>(length) + 1, -1);
    for (int c = 0; c <= chars; ++c)
        if (starts[c] >= 0 && starts[c] <= length)
            charAt[static_cast<size_t>(starts[c])] = c;
    const int B = CCharModel::kB, M = CCharModel::kM, E = CCharModel::kE, S = CCharModel::kS;
    for (size_t i = 0; i < candidates.size(); ++i) {
        const TokenRecord& c = candidates[i];
        if (c.kind == kKindSentenceBegin || c.kind == kKindSentenceEnd || c.start < 0 || c.end > length)
            continue;
        const int from = charAt[static_cast<size_t>(c.start)], to = charAt[static_cast<size_t>(c.end)];
        if (from < 0 || to <= from)
            continue;
        float sum;
        if (to - from == 1) {
            sum = score[from * 4 + S];
            firstLabels[i] = lastLabels[i] = static_cast<uint8_t>(S);
        } else {
            sum = score[from * 4 + B] + score[(to - 1) * 4 + E];
            int previous = B;
            for (int k = from + 1; k < to - 1; ++k) {
                sum += score[k * 4 + M] + t[previous * 4 + M];
                previous = M;
            }
            sum += t[previous * 4 + E];
            firstLabels[i] = static_cast<uint8_t>(B);
            lastLabels[i] = static_cast<uint8_t>(E);
        }
        // A proposed word pays for its class's generous statistics.
        if (c.flags & kFlagNewWord)
            sum -= static_cast<float>(newWordPenalty / newWordWeight);
        if (c.flags & kFlagSupplementWord)
            sum += static_cast<float>(SupplementScore(c) / newWordWeight);
        candidateScores[i] = sum;
    }
    segmenter->SetExtraScores(candidateScores.data(), firstLabels.data(), lastLabels.data(), t, newWordWeight);
}

void CAnalyzer::ProtectNames(const TokenRecord* items, int count)
{
    // The person names of the plain segmentation, found on a copy.
    nameScratch.assign(items, items + count);
    int names = count;
    roleTagger->Recognize(nameScratch.data(), names, ids.unknownPerson);
    protectedSpans.clear();
    for (int i = 1; i + 1 < names; ++i)
        if (nameScratch[static_cast<size_t>(i)].wordId == ids.unknownPerson)
            protectedSpans.emplace_back(nameScratch[static_cast<size_t>(i)].start, nameScratch[static_cast<size_t>(i)].end);
}

void CAnalyzer::TagRolesAgain(TokenRecord* items, int count)
{
    // The role tagger reads nothing but the tokens, so the same tokens get the
    // same roles; most sentences come out of both searches alike.
    const auto same = [](const TokenRecord& a, const TokenRecord& b) {
        return a.wordId == b.wordId && a.start == b.start && a.end == b.end && a.frequency == b.frequency &&
               a.kind == b.kind && a.tag == b.tag && a.flags == b.flags && a.fixedTag == b.fixedTag;
    };
    if (static_cast<size_t>(count) == firstCut.size() && std::equal(items, items + count, firstCut.begin(), same)) {
        std::copy(firstRoles.begin(), firstRoles.end(), items);
        return;
    }
    roleHmm->Tag(items, count);
}

bool CAnalyzer::AddNewStageWords(const char* sentence, int length)
{
    const std::vector<TokenRecord>* supplement = nullptr;
    if (supplementWords != nullptr)
        supplement =
            &supplementWords->Find(sentence, length, preProcessor->GetAtoms(), protectedSpans, ids.unknownProper);
    const bool proposed = newWordModel != nullptr && ProposeNewWords(sentence, length);
    if (supplement == nullptr || supplement->empty()) {
        if (proposed)
            preProcessor->AddCandidates(newWords);
        return proposed;
    }
    if (!proposed) {
        preProcessor->AddCandidates(*supplement);
        return true;
    }
    // One pass over the lattice for both, in slot order; of a supplementary and
    // a proposed word with the same span the supplementary one, which comes
    // first, stays.
    stageWords.clear();
    auto n = newWords.begin();
    for (const TokenRecord& w : *supplement) {
        for (; n != newWords.end() && n->start < w.start; ++n)
            stageWords.push_back(*n);
        stageWords.push_back(w);
    }
    stageWords.insert(stageWords.end(), n, newWords.end());
    preProcessor->AddCandidates(stageWords);
    return true;
}

double CAnalyzer::SupplementScore(const TokenRecord& c) const
{
    // A supplementary word is a word of the class of new words: the class's
    // bigram statistics stand for it, and it takes its share of the class,
    // its frequency in the class's count.
    const double f = supplementWords->FrequencyOf(c.start, c.end);
    return (f > 0 ? std::log(f / supplementClassFrequency) : -100.0) + supplementBonus;
}

bool CAnalyzer::ProposeNewWords(const char* sentence, int length)
{
    labelled = false;
    if (length <= 0 || ids.unknownProper < 0)
        return false;
    const int spoken = WithoutClosingBreaks(sentence, length);
    if (spoken <= 0)
        return false;
    newWordModel->Words(sentence, spoken, 0, spoken, newWordSpace);
    labelled = true;
    newWords.clear();
    const std::vector<TokenRecord>& atoms = preProcessor->GetAtoms();
    // Every span up to kMaxNewWordChars characters whose best labelling scores
    // within the margin of the best labelling of all is proposed: the model's
    // own words and the close alternatives, among which the bigram model and
    // the dictionary words decide.
    SpanDeficits();
    const int chars = newWordSpace.GetCharCount();
    const int* starts = newWordSpace.GetCharStarts();
    // A new word is made of Chinese characters: atoms of one two-byte character
    // that are neither punctuation nor numbers, times or strings.
    plainAtom.assign(static_cast<size_t>(length) + 1, 0);
    for (const TokenRecord& a : atoms) {
        const bool punctuation = IsPunctuationClass(a.kind);
        const bool special = a.wordId >= 0 && (a.wordId == ids.unknownNumber || a.wordId == ids.unknownTime ||
                                               a.wordId == ids.unknownString);
        if (a.start >= 0 && a.start < length && a.end - a.start == 2 && !punctuation && !special &&
            a.kind != kKindUserWord && static_cast<unsigned char>(sentence[a.start]) >= 0x80)
            plainAtom[static_cast<size_t>(a.start)] = 1;
    }
    size_t atom = 0;
    for (int i = 0; i < chars; ++i) {
        while (atom < atoms.size() && atoms[atom].start < starts[i])
            ++atom;
        if (atom >= atoms.size() || atoms[atom].start != starts[i])
            continue;
        for (int n = 2; n <= kMaxNewWordChars && i + n <= chars; ++n) {
            if (!plainAtom[static_cast<size_t>(starts[i])] || starts[i + n - 1] >= length ||
                !plainAtom[static_cast<size_t>(starts[i + n - 1])])
                break;
            const float deficit = spanDeficit[static_cast<size_t>(i) * kMaxNewWordChars + static_cast<size_t>(n - 1)];
            if (!(deficit <= (n == 2 ? newWordMargin2 : newWordMargin)))
                continue;
            const int start = starts[i], end = starts[i + n];
            bool crossesName = false;
            for (const auto& span : protectedSpans)
                crossesName = crossesName || (start < span.second && span.first < end);
            if (crossesName)
                continue;
            TokenRecord word;
            word.wordId = ids.unknownProper;
            word.start = start;
            word.end = end;
            word.flags = kFlagNewWord;
            word.kind = atoms[atom].kind; // the kind of the atom it begins with
            newWords.push_back(word);
        }
    }
    return !newWords.empty();
}

void CAnalyzer::Build(const CCharset* charset, const CPDAT* coreDict, const CUnigram* unigram,
                      const CBigram* bigram, const CPDAT* userDict, const CPosLexicon* posLexicon,
                      const CTagTransitions* posContext, const CPosLexicon* roleLexicon,
                      const CTagTransitions* roleContext, const CPairScores* pairScores)
{
    if (coreDict != nullptr)
        ids = SpecialWords::Lookup(*coreDict);
    symbolTagger.reset(new (std::nothrow) CSymbolTagger(tagSet));
    preProcessor.reset(new (std::nothrow) CPreProcess(charset, coreDict, userDict));
    if (!preProcessor) {
        EngineLog("Cannot build object %s.\n", "CPreProcess");
        return;
    }
    if (unigram == nullptr || bigram == nullptr ||
        !(segmenter.reset(new (std::nothrow) CSegment(coreDict, unigram, bigram, pairScores)), segmenter)) {
        EngineLog("Cannot build object %s.\n", "CSegment");
        return;
    }
    const double vocabulary = static_cast<double>(unigram->GetEntryCount());
    posTagger.reset(new (std::nothrow)
                        CHmmTagger(posLexicon, posContext, vocabulary, kTagNoun, ids.unknownPerson));
    roleHmm.reset(new (std::nothrow)
                      CHmmTagger(roleLexicon, roleContext, vocabulary, kRoleDefault, ids.unknownPerson));
}

CAnalyzer::~CAnalyzer()
{
    pageBuffer.clear();
    preProcessor.reset();
    segmenter.reset();
    posTagger.reset();
    roleHmm.reset();
    nameStage.reset();
}

bool CAnalyzer::IsComplete() const
{
    return preProcessor && segmenter && posTagger && roleHmm && roleTagger != nullptr;
}

bool CAnalyzer::SetUserDict(const CPDAT* dict)
{
    return preProcessor ? preProcessor->SetUserDict(dict) : true;
}

template <class Emit> void CAnalyzer::Run(const char* text, Emit emit)
{
    if (!IsComplete() || text == nullptr)
        return;
    if (model != nullptr) {
        userWords = model->UserWords();
        preProcessor->SetUserWords(userWords->Size() > 0 ? userWords.get() : nullptr);
    }
    const char* p = text;
    while (p != nullptr && *p != '\0') {
        const char* next = preProcessor->BuildLattice(p);
        // Only the two markers: nothing to analyse (and the lattice is stale).
        if (preProcessor->GetAtomCount() <= 2 || next == nullptr || next <= p)
            break;
        int count = segmenter->Segment(preProcessor->GetLattice(), preProcessor->GetSlotCount(),
                                       preProcessor->GetSlotSizes(), preProcessor->GetAtomCount());
        TokenRecord* items = segmenter->GetItems();
        if (count >= 2) {
            const bool newStages = newWordModel != nullptr || supplementWords != nullptr;
            if (newStages)
                firstCut.assign(items, items + count);
            roleHmm->Tag(items, count);
            if (newStages)
                firstRoles.assign(items, items + count);
            // Names first: the new stages' words must not cut through the person
            // names found on the plain segmentation. When they add words the
            // sentence is segmented again and its roles tagged anew; supplementary
            // words go in first, so that the new-word model does not propose them
            // again as words of its class.
            bool added = false;
            if (newStages) {
                ProtectNames(items, count);
                added = AddNewStageWords(p, static_cast<int>(next - p));
            }
            if (added || (newWordModel != nullptr && newWordWeight > 0)) {
                if (newWordWeight > 0 || supplementWords != nullptr)
                    ScoreCandidates(static_cast<int>(next - p));
                count = segmenter->Segment(preProcessor->GetLattice(), preProcessor->GetSlotCount(),
                                           preProcessor->GetSlotSizes(), preProcessor->GetAtomCount());
                segmenter->SetExtraScores(nullptr, nullptr, nullptr, nullptr, 0);
                items = segmenter->GetItems();
                TagRolesAgain(items, count);
            }
            if (nameStage) {
                // The name model decides the names; the tokens are re-cut at their bounds.
                nameStage->Find(p, WithoutClosingBreaks(p, static_cast<int>(next - p)), items, count,
                                *roleTagger);
                items = nameStage->Layout(p, items, count);
                emit.BeforeRecognition(items, count);
                nameStage->Merge(items, count);
            } else {
                emit.BeforeRecognition(items, count);
                roleTagger->Recognize(items, count, ids.unknownPerson);
            }
            if (entityRecognizer)
                entityRecognizer->Recognize(p, items, count);
            // Same rules as the HMM pass: names keep the recogniser's tag, a tag
            // the program gave a word is the word's tag.
            if (posModel != nullptr)
                TagWithModel(p, static_cast<int>(next - p), items, count);
            else
                posTagger->Tag(items, count);
            if (entityRecognizer && entityRecognizer->HasParts())
                entityRecognizer->TagParts(*posTagger);
            if (nameStage)
                nameStage->Veto(items, count);
            if (symbolTagger)
                symbolTagger->Apply(p, items, count);
            emit(p, static_cast<int>(next - p), items, count);
        }
        p = next;
    }
    preProcessor->SetUserWords(nullptr);
    userWords.reset();
}

namespace {

// Writes each sentence into the page.
struct PageEmitter {
    CAnalyzer* analyzer;
    void BeforeRecognition(const TokenRecord*, int) {}
    void operator()(const char* sentence, int, TokenRecord* items, int count)
    {
        analyzer->WriteTokens(sentence, items, count);
    }
};

// Hands each sentence to a sink, with the split point of every full Chinese name.
struct SinkEmitter {
    const CAnalyzer::SentenceSink& sink;
    std::vector<int32_t>& starts;
    std::vector<int32_t>& ends;
    std::vector<int32_t>& splits;
    int32_t personId;
    const CEntityRecognizer* entities;
    std::vector<int32_t>& partOffsets;
    std::vector<CAnalyzer::Part>& parts;

    // The end of the first token before person recognition that starts at start
    // and ends before end (a name's surname), else -1.
    int32_t SurnameEnd(int32_t start, int32_t end) const
    {
        const auto k = std::lower_bound(starts.begin() + (starts.empty() ? 0 : 1), starts.end(), start);
        if (k == starts.end() || *k != start)
            return -1;
        const int32_t e = ends[static_cast<size_t>(k - starts.begin())];
        return e < end ? e : -1;
    }

    void BeforeRecognition(const TokenRecord* items, int count)
    {
        starts.resize(static_cast<size_t>(count));
        ends.resize(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i) {
            starts[static_cast<size_t>(i)] = items[i].start;
            ends[static_cast<size_t>(i)] = items[i].end;
        }
    }
    void operator()(const char* sentence, int length, TokenRecord* items, int count)
    {
        // A merged name keeps the start of its first token; that token (the
        // surname) ended where the name splits.
        splits.assign(static_cast<size_t>(count), -1);
        // The markers (index 0 and the last) are empty and never part of a name.
        size_t k = 1;
        for (int i = 1; i + 1 < count; ++i) {
            const TokenRecord& t = items[i];
            while (k < starts.size() && starts[k] < t.start)
                ++k;
            if (t.wordId == personId && t.tag == kTagPersonName && k < starts.size() &&
                starts[k] == t.start && ends[k] < t.end)
                splits[static_cast<size_t>(i)] = ends[k];
        }
        CAnalyzer::Sentence out{sentence, length, items, count, splits.data()};
        if (entities != nullptr && entities->HasParts() &&
            entities->GetPartOffsets().size() == static_cast<size_t>(count) + 1) {
            // The words of merged names, a person name among them as surname and given name.
            const std::vector<int32_t>& offsets = entities->GetPartOffsets();
            const std::vector<CAnalyzer::Part>& words = entities->GetParts();
            partOffsets.assign(1, 0);
            parts.clear();
            for (int i = 0; i < count; ++i) {
                for (int32_t k = offsets[static_cast<size_t>(i)]; k < offsets[static_cast<size_t>(i) + 1]; ++k) {
                    const CAnalyzer::Part& w = words[static_cast<size_t>(k)];
                    const int32_t surname = w.tag == kTagPersonName ? SurnameEnd(w.start, w.end) : -1;
                    if (surname > w.start) {
                        parts.push_back({w.start, surname, w.tag});
                        parts.push_back({surname, w.end, w.tag});
                    } else {
                        parts.push_back(w);
                    }
                }
                partOffsets.push_back(static_cast<int32_t>(parts.size()));
            }
            out.partOffsets = partOffsets.data();
            out.parts = parts.data();
        }
        sink(out);
    }
};

} // namespace

void CAnalyzer::Analyze(const char* text)
{
    if (htmlFile == nullptr)
        return;
    pageWriteFailed = false;
    page = &pageBuffer;
    pageBuffer.clear();
    Run(text, PageEmitter{this});
    FlushPage();
}

void CAnalyzer::AnalyzeToPage(const char* text, std::string& out)
{
    page = &out;
    Run(text, PageEmitter{this});
    page = &pageBuffer;
}

void CAnalyzer::Analyze(const char* text, const SentenceSink& sink)
{
    Run(text, SinkEmitter{sink, preStarts, preEnds, nameSplits, ids.unknownPerson, entityRecognizer.get(), partOffsets,
                          parts});
}

void CAnalyzer::FlushPage()
{
    if (htmlFile != nullptr && !pageBuffer.empty() &&
        std::fwrite(pageBuffer.data(), 1, pageBuffer.size(), htmlFile) != pageBuffer.size())
        pageWriteFailed = true;
    pageBuffer.clear();
}

void CAnalyzer::AppendEscaped(std::string& out, const char* text, size_t length)
{
    // Token text is copied byte for byte but for the four characters that would
    // break the page or inject markup.
    size_t run = 0; // bytes copied as they are, not yet appended
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80 && i + 1 < length) {
            // Both bytes of a two-byte character are copied as they are.
            ++i;
            run += 2;
            continue;
        }
        const char* entity = nullptr;
        switch (c) {
        case '<': entity = "&lt;"; break;
        case '>': entity = "&gt;"; break;
        case '&': entity = "&amp;"; break;
        case '"': entity = "&quot;"; break;
        default: break;
        }
        if (entity == nullptr) {
            ++run;
            continue;
        }
        out.append(text + i - run, run);
        run = 0;
        out += entity;
    }
    out.append(text + length - run, run);
}

const std::string& CAnalyzer::TagSuffix(int tag)
{
    const size_t code = static_cast<uint8_t>(tag);
    // Never empty once made: it holds at least the separator.
    if (tagSuffix[code].empty()) {
        // The markup after a token: its tag name (escaped; a tag without a name
        // in the tag set shows as an empty name) and the separator. Made once
        // per tag: the tag set does not change under an analyser.
        std::string suffix = kS1Open;
        const char* name = tagSet != nullptr ? tagSet->GetName(tag) : nullptr;
        if (name != nullptr)
            AppendEscaped(suffix, name, std::strlen(name));
        suffix += kS1Close;
        suffix += kS2;
        tagSuffix[code] = std::move(suffix);
    }
    return tagSuffix[code];
}

void CAnalyzer::WriteTokens(const char* sentence, TokenRecord* items, int count)
{
    if (items == nullptr || (page == &pageBuffer && htmlFile == nullptr))
        return;
    std::string& out = *page;
    int i = 1;
    while (i < count - 1) {
        TokenRecord& token = items[i];
        int step = 1;
        int length = token.end - token.start;
        // "一" followed by a doubled one-character token reads as one numeral (一个个).
        if (token.wordId == ids.one && ids.one >= 0 && i + 2 < count &&
            items[i + 1].end == items[i + 1].start + 2 && items[i + 1].wordId == items[i + 2].wordId) {
            length = items[i + 2].end - token.start;
            token.wordId = ids.unknownNumber;
            token.tag = kTagNumeral;
            step = 3;
        }
        if (length < 0)
            length = 0;

        const TokenFormat* format = &kPlain;
        const int tag = token.tag;
        switch (EntityOf(token, ids)) {
        case Entity::kNumber: format = &kNumeral; break;
        case Entity::kPerson: format = &kPerson; break;
        case Entity::kPlace: format = &kPlace; break;
        case Entity::kOrganization: format = &kOrganization; break;
        case Entity::kTime: format = &kTime; break;
        case Entity::kString: format = &kString; break;
        case Entity::kNone:
            if (token.kind == kKindUserWord)
                format = &kUserWord;
            break;
        }

        Append(out, kT0);
        Append(out, format->open);
        AppendEscaped(out, sentence + token.start, static_cast<size_t>(length));
        Append(out, format->close);

        if (token.kind == kKindLineBreak) {
            const char first = length > 0 ? sentence[token.start] : '\0';
            if (first == '\n' || first == '\r')
                Append(out, kP1);
        } else {
            out += TagSuffix(tag);
        }
        i += step;
    }
    if (page == &pageBuffer && pageBuffer.size() >= kPageBlock)
        FlushPage();
}
