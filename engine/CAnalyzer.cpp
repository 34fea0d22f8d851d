#include "engine/CAnalyzer.h"

#include <cstring>
#include <new>

#include "engine/CModel.h"
#include "engine/CTagSet.h"
#include "engine/EngineContext.h"
#include "lexicon/CPDAT.h"
#include "lexicon/CUnigram.h"
#include "segment/CPreProcess.h"
#include "segment/CSegment.h"
#include "tagging/CHmmTagger.h"
#include "tagging/CRoleTagger.h"

namespace {

constexpr uint8_t kTagNumeral = 18;
constexpr uint8_t kTagDefaultPos = 21;
constexpr uint8_t kTagDefaultRole = 22;
constexpr uint8_t kTagPersonName = 24;
// The page goes to its file in blocks of about this size.
constexpr size_t kPageBlock = 64 * 1024;

// Token formats of the result page; each token is T0, then one of these around
// its text, then the tag name (S1) and the separator (S2).
const char* const kT0 = "<font face=\"\xBF\xAC\xCC\xE5_GB2312\""; // 楷体_GB2312
struct TokenFormat {
    const char* open;
    const char* close;
};
const TokenFormat kNumeral = {" color=\"#800000\"><i>", "</i></font></font>"};
const TokenFormat kPerson = {" color=\"#FF0000\"><i>", "</i></font></font>"};
const TokenFormat kPlace = {" color=\"FF99FF\"><i>", "</i></font></font>"};
const TokenFormat kOrganization = {" color=\"FF00FF\"><i>", "</i></font></font>"};
const TokenFormat kTime = {" color=\"C0C0C0\"><i>", "</i></font></font>"};
const TokenFormat kString = {" color=\"00FFFF\"><i>", "</i></font></font>"};
const TokenFormat kUserWord = {" color=\"#0000FF\"><u>", "</u></font></font>"};
const TokenFormat kPlain = {">", "</font>"};
const char* const kS1Open = "<font face=\"Times New Roman\" color=\"#0000FF\">/";
const char* const kS1Close = "</font>";
const char* const kS2 = "  ";
const char* const kP1 = "</p><p>";

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
          model.roleContext.get());
    // A tag a program gave one of its words is the tag the word gets.
    if (posTagger)
        posTagger->SetUseFixedTags(true);
}

void CAnalyzer::Build(const CCharset* charset, const CPDAT* coreDict, const CUnigram* unigram,
                      const CBigram* bigram, const CPDAT* userDict, const CPosLexicon* posLexicon,
                      const CTagTransitions* posContext, const CPosLexicon* roleLexicon,
                      const CTagTransitions* roleContext)
{
    if (coreDict != nullptr)
        ids = SpecialWords::Lookup(*coreDict);
    preProcessor.reset(new (std::nothrow) CPreProcess(charset, coreDict, userDict));
    if (!preProcessor) {
        EngineLog("Cannot build object %s.\n", "CPreProcess");
        return;
    }
    if (unigram == nullptr || bigram == nullptr ||
        !(segmenter.reset(new (std::nothrow) CSegment(coreDict, unigram, bigram)), segmenter)) {
        EngineLog("Cannot build object %s.\n", "CSegment");
        return;
    }
    const double vocabulary = static_cast<double>(unigram->GetEntryCount());
    posTagger.reset(new (std::nothrow)
                        CHmmTagger(posLexicon, posContext, vocabulary, kTagDefaultPos, ids.unknownPerson));
    roleHmm.reset(new (std::nothrow)
                      CHmmTagger(roleLexicon, roleContext, vocabulary, kTagDefaultRole, ids.unknownPerson));
}

CAnalyzer::~CAnalyzer()
{
    pageBuffer.clear();
    preProcessor.reset();
    segmenter.reset();
    posTagger.reset();
    roleHmm.reset();
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
            roleHmm->Tag(items, count);
            emit.BeforeRecognition(items, count);
            roleTagger->Recognize(items, count, ids.unknownPerson);
            posTagger->Tag(items, count);
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
        sink(CAnalyzer::Sentence{sentence, length, items, count, splits.data()});
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
    Run(text, SinkEmitter{sink, preStarts, preEnds, nameSplits, ids.unknownPerson});
}

void CAnalyzer::FlushPage()
{
    if (htmlFile != nullptr && !pageBuffer.empty() &&
        std::fwrite(pageBuffer.data(), 1, pageBuffer.size(), htmlFile) != pageBuffer.size())
        pageWriteFailed = true;
    pageBuffer.clear();
}

void CAnalyzer::AppendEscaped(const char* text, size_t length)
{
    // Token text is copied byte for byte but for the four characters that would
    // break the page or inject markup.
    std::string& out = *page;
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
        if (token.wordId == ids.unknownNumber || tag == kTagNumeral)
            format = &kNumeral;
        else if (token.wordId == ids.unknownPerson || (tag >= 24 && tag <= 28))
            format = &kPerson;
        else if (token.wordId == ids.unknownPlace || tag == 29 || tag == 30)
            format = &kPlace;
        else if (token.wordId == ids.unknownOrganization || tag == 31)
            format = &kOrganization;
        else if (token.wordId == ids.unknownTime || tag == 52)
            format = &kTime;
        else if (token.wordId == ids.unknownString || tag == 93)
            format = &kString;
        else if (token.kind == kKindUserWord)
            format = &kUserWord;

        out += kT0;
        out += format->open;
        AppendEscaped(sentence + token.start, static_cast<size_t>(length));
        out += format->close;

        if (token.kind == kKindLineBreak) {
            const char first = length > 0 ? sentence[token.start] : '\0';
            if (first == '\n' || first == '\r')
                out += kP1;
        } else {
            // A tag without a name in the tag set shows as an empty name.
            const char* name = tagSet != nullptr ? tagSet->GetName(tag) : nullptr;
            out += kS1Open;
            if (name != nullptr)
                AppendEscaped(name, std::strlen(name));
            out += kS1Close;
            out += kS2;
        }
        i += step;
    }
    if (page == &pageBuffer && pageBuffer.size() >= kPageBlock)
        FlushPage();
}
