#include "engine/CAnalyzer.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "engine/CModel.h"
#include "engine/CSymbolTagger.h"
#include "engine/CTagSet.h"
#include "engine/EngineContext.h"
#include "lexicon/CPDAT.h"
#include "lexicon/CUnigram.h"
#include "segment/CNewWordStage.h"
#include "segment/CPreProcess.h"
#include "segment/CSegment.h"
#include "tagging/CEntityRecognizer.h"
#include "tagging/CHmmTagger.h"
#include "tagging/CNameStage.h"
#include "tagging/CPosStage.h"
#include "tagging/CPersonStage.h"
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
// By Entity: the entities' colours.
const TokenFormat* const kEntityFormats[] = {&kPlain, &kNumeral, &kPerson, &kPlace, &kOrganization, &kTime, &kString};
const char* const kS1Open = "<font face=\"Times New Roman\" color=\"#0000FF\">/";
const char* const kS1Close = "</font>";
const char* const kS2 = "  ";
constexpr Piece kP1 = P("</p><p>");
inline void Append(std::string& out, Piece piece) { out.append(piece.text, piece.size); }

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
    if (roleHmm && posTagger && roleTagger != nullptr) {
        personStage.reset(new (std::nothrow) CPersonStage(*roleHmm, *roleTagger, ids.unknownPerson, nullptr));
        posStage.reset(new (std::nothrow) CPosStage(*posTagger, nullptr, nullptr, ids.unknownPerson, nullptr));
    }
}

CAnalyzer::CAnalyzer(const CModel& model)
    : model(&model), tagSet(model.tagSet.get()), roleTagger(model.roleTagger.get())
{
    Build(model.charset.get(), model.coreDict.get(), model.unigram.get(), model.bigram.get(),
          model.userDictFile.get(), model.posLexicon.get(), model.posContext.get(), model.roleLexicon.get(),
          model.roleContext.get(), model.pairScores.get());
    if (roleHmm && posTagger && roleTagger != nullptr)
        BuildNewStages(model);
}

void CAnalyzer::BuildNewStages(const CModel& m)
{
    // A tag a program gave one of its words is the tag the word gets.
    posTagger->SetUseFixedTags(true);
    const bool newWordsOn = m.newWordsOn && m.newWordModel && m.newWordModel->IsLoaded();
    const bool supplementOn = m.newWordsOn && m.supplement && m.supplement->IsLoaded();
    std::unique_ptr<CNameStage> names;
    if (m.newWordsOn && m.nameModel && m.nameModel->IsLoaded()) {
        CNameStage::Settings settings;
        settings.automatonBonus = m.nameAutomatonBonus;
        settings.automatonBonusShort = m.nameAutomatonBonusShort;
        settings.cutPenalty = m.nameCutPenalty;
        settings.veto = m.nameVeto;
        names.reset(new (std::nothrow) CNameStage(*m.nameModel, *m.coreDict, *m.unigram, m.posLexicon.get(), ids,
                                                  settings));
    }
    const CNameStage* veto = names.get();
    personStage.reset(new (std::nothrow) CPersonStage(*roleHmm, *roleTagger, ids.unknownPerson, std::move(names)));
    if (!personStage)
        return;
    if (newWordsOn || supplementOn) {
        CNewWordStage::Settings settings;
        if (newWordsOn) {
            preProcessor->SetJoinNumbers(true);
            settings.margin = m.newWordMargin;
            settings.margin2 = m.newWordMargin2;
            settings.penalty = m.newWordPenalty;
            settings.weight = m.newWordWeight;
        }
        settings.supplementBonus = m.supplementBonus;
        // The class word's count (at least one, so that the share stays finite).
        const double classFrequency = std::max(1, m.unigram->Frequency(ids.unknownProper));
        CPersonStage* persons = personStage.get();
        newWordStage.reset(new (std::nothrow) CNewWordStage(
            newWordsOn ? m.newWordModel.get() : nullptr, supplementOn ? m.supplement.get() : nullptr, settings, ids,
            classFrequency, *preProcessor, *segmenter, [persons](CSentence& s) { persons->GuardNames(s); }));
    }
    if (m.EntitiesOn() && m.unigram) {
        const CEntityRecognizer::Kind places{m.placeRoles.get(), m.placeContext.get(), m.placeAutomaton.get(),
                                             ids.unknownPlace};
        const CEntityRecognizer::Kind organizations{m.orgRoles.get(), m.orgContext.get(), m.orgAutomaton.get(),
                                                    ids.unknownOrganization};
        entityStage.reset(new (std::nothrow) CEntityRecognizer(
            m.coreDict.get(), ids.unknownProper, static_cast<double>(m.unigram->GetEntryCount()), places,
            organizations));
        if (entityStage) {
            entityStage->SetPartTagger(posTagger.get());
            posTagger->SetEntityWordIds(ids.unknownPlace, ids.unknownOrganization);
        }
    }
    const bool newPos = m.newWordsOn && m.newPosOn && m.posModel && m.posModel->IsLoaded();
    posStage.reset(new (std::nothrow) CPosStage(*posTagger, newPos ? m.posModel.get() : nullptr,
                                                newPos ? m.posLexicon.get() : nullptr, ids.unknownPerson, veto));
    if (posStage && newPos && entityStage)
        posStage->SetEntityWordIds(ids.unknownPlace, ids.unknownOrganization);
    if (posStage && newPos) {
        bool closed[256] = {};
        ClosedClassTags(tagSet, closed);
        posStage->SetUserWordClass(ids.unknownProper, closed);
    }
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
    // The stages borrow the pre-processor, the segmenter and the taggers.
    newWordStage.reset();
    personStage.reset();
    entityStage.reset();
    posStage.reset();
    preProcessor.reset();
    segmenter.reset();
    posTagger.reset();
    roleHmm.reset();
}

bool CAnalyzer::IsComplete() const
{
    return preProcessor && segmenter && posTagger && roleHmm && roleTagger != nullptr && personStage && posStage;
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
    for (const char* p = text; p != nullptr && *p != '\0';) {
        const char* next = preProcessor->BuildLattice(p);
        // Only the two markers: nothing to analyse (and the lattice is stale).
        if (preProcessor->GetAtomCount() <= 2 || next == nullptr || next <= p)
            break;
        const int count = segmenter->Segment(preProcessor->GetLattice(), preProcessor->GetSlotCount(),
                                             preProcessor->GetSlotSizes(), preProcessor->GetAtomCount());
        if (count >= 2) {
            sentence.Begin(p, static_cast<int>(next - p), segmenter->GetItems(), count);
            if (newWordStage)
                newWordStage->Run(sentence);
            personStage->Run(sentence);
            if (entityStage)
                entityStage->Run(sentence);
            posStage->Run(sentence);
            if (symbolTagger)
                symbolTagger->Apply(sentence.text, sentence.items, sentence.count);
            emit(sentence);
        }
        p = next;
    }
    preProcessor->SetUserWords(nullptr);
    userWords.reset();
}

void CAnalyzer::Analyze(const char* text)
{
    if (htmlFile == nullptr)
        return;
    pageWriteFailed = false;
    page = &pageBuffer;
    pageBuffer.clear();
    sentence.keepBounds = false;
    Run(text, [this](CSentence& s) { WriteTokens(s.text, s.items, s.count); });
    FlushPage();
}

void CAnalyzer::AnalyzeToPage(const char* text, std::string& out)
{
    page = &out;
    sentence.keepBounds = false;
    Run(text, [this](CSentence& s) { WriteTokens(s.text, s.items, s.count); });
    page = &pageBuffer;
}

void CAnalyzer::Analyze(const char* text, const SentenceSink& sink)
{
    sentence.keepBounds = true;
    Run(text, [&sink](const CSentence& s) { sink(s); });
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

        const int tag = token.tag;
        const Entity entity = EntityOf(token, ids);
        const TokenFormat* format = entity != Entity::kNone    ? kEntityFormats[static_cast<int>(entity)]
                                    : token.kind == kKindUserWord ? &kUserWord
                                                                  : &kPlain;

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
