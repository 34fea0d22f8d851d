#include "engine/CAnalyzer.h"

#include <algorithm>
#include <initializer_list>
#include <new>
#include <vector>

#include "engine/CModel.h"
#include "engine/CSymbolTagger.h"
#include "engine/CTagSet.h"
#include "engine/EngineContext.h"
#include "lexicon/CPDAT.h"
#include "lexicon/CUnigram.h"
#include "segment/CNewWordStage.h"
#include "segment/CPreProcess.h"
#include "segment/CSegment.h"
#include "segment/CWebText.h"
#include "tagging/CEntityRecognizer.h"
#include "tagging/CHmmTagger.h"
#include "tagging/CNameStage.h"
#include "tagging/CPosStage.h"
#include "tagging/CPersonStage.h"
#include "tagging/CRoleTagger.h"
#include "tagging/TagCodes.h"

CAnalyzer::CAnalyzer(const CCharset* charset, const CPDAT* coreDict, const CUnigram* unigram,
                     const CBigram* bigram, const CPDAT* userDict, const CPosLexicon* posLexicon,
                     const CTagSet* tagSet, const CTagTransitions* posContext,
                     const CPosLexicon* roleLexicon, const CTagTransitions* roleContext,
                     const CRoleTagger* roleTagger)
    : tagSet(tagSet), roleTagger(roleTagger)
{
    Build(charset, coreDict, unigram, bigram, userDict, posLexicon, posContext, roleLexicon, roleContext);
    pageWriter.SetModels(tagSet, ids);
    if (roleHmm && posTagger && roleTagger != nullptr) {
        personStage.reset(new (std::nothrow) CPersonStage(*roleHmm, *roleTagger, ids.unknownPerson, nullptr));
        posStage.reset(new (std::nothrow) CPosStage(*posTagger, nullptr, nullptr, ids.unknownPerson, nullptr));
    }
}

CAnalyzer::CAnalyzer(const CModel& model)
    : model(&model), tagSet(model.core.tagSet.get()), roleTagger(model.core.roleTagger.get())
{
    const CModel::CorePart& c = model.core;
    Build(c.charset.get(), c.coreDict.get(), c.unigram.get(), c.bigram.get(), model.userDictFile.get(),
          c.posLexicon.get(), c.posContext.get(), c.roleLexicon.get(), c.roleContext.get(), c.pairScores.get());
    pageWriter.SetModels(tagSet, ids);
    if (roleHmm && posTagger && roleTagger != nullptr)
        BuildNewStages(model);
}

void CAnalyzer::BuildNewStages(const CModel& m)
{
    // A tag a program gave one of its words is the tag the word gets.
    posTagger->SetUseFixedTags(true);
    const bool newWordsOn = m.NewWordsOn(), supplementOn = m.SupplementOn();
    std::unique_ptr<CNameStage> names;
    if (m.NameModelOn()) {
        CNameStage::Settings settings;
        settings.automatonBonus = m.names.automatonBonus;
        settings.automatonBonusShort = m.names.automatonBonusShort;
        settings.cutPenalty = m.names.cutPenalty;
        settings.veto = m.names.veto;
        settings.wordPenalty = m.names.wordPenalty;
        settings.roles = m.core.roleLexicon.get();
        settings.supplementWords = m.names.inSupplement;
        settings.listedPenalty = m.names.listedPenalty;
        settings.placeContext = m.names.placeContext;
        settings.memory = m.names.cache;
        settings.memoryBonus = m.names.cacheBonus;
        settings.memoryMargin = m.names.cacheMargin;
        if (m.names.translit && m.names.translitModel) {
            settings.translit = m.names.translitModel.get();
            settings.translitWeight = m.names.translitWeight;
            settings.translitRescore = m.names.translitRescore;
            if (m.names.translitPlaces && m.names.translitKind) {
                settings.kinds = m.names.translitKind.get();
                settings.kindMargin = m.names.translitPlaceMargin;
            }
        }
        settings.openers = m.names.openers.get();
        names.reset(new (std::nothrow) CNameStage(*m.names.model, *m.core.coreDict, *m.core.unigram,
                                                  m.core.posLexicon.get(), ids, settings));
    }
    const CNameStage* veto = names.get();
    const bool nameModel = names != nullptr;
    const bool spell = nameModel && m.names.inNewWords;
    personStage.reset(new (std::nothrow) CPersonStage(*roleHmm, *roleTagger, ids.unknownPerson, std::move(names)));
    if (!personStage)
        return;
    if (spell)
        personStage->ReadNewWordsAsCharacters(m.core.coreDict.get(), ids.unknownProper, m.names.inSupplement);
    if (newWordsOn || supplementOn) {
        CNewWordStage::Settings settings;
        if (newWordsOn) {
            preProcessor->SetJoinNumbers(true);
            settings.margin = m.newWords.margin;
            settings.margin2 = m.newWords.margin2;
            settings.penalty = m.newWords.penalty;
            settings.weight = m.newWords.weight;
            settings.stretches = m.newWords.stretches;
            settings.stretchContext = static_cast<int>(std::min(64.0f, m.newWords.stretchContext));
            settings.confidenceWeight = m.newWords.confidenceWeight;
            settings.confidenceCap = m.newWords.confidenceCap;
            settings.repeatBonus = m.newWords.repeatBonus;
        }
        settings.supplementBonus = m.supplement.bonus;
        // The class word's count (at least one, so that the share stays finite).
        const double classFrequency = std::max(1, m.core.unigram->Frequency(ids.unknownProper));
        CPersonStage* persons = personStage.get();
        newWordStage.reset(new (std::nothrow) CNewWordStage(
            newWordsOn ? m.newWords.model.get() : nullptr, supplementOn ? m.supplement.lexicon.get() : nullptr,
            settings, ids, classFrequency, *preProcessor, *segmenter, [persons](CSentence& s) { persons->GuardNames(s); }));
        // One search leaves the person names to the name model, which reads
        // them across the new words; without it the names are guarded on the
        // plain segmentation first, which takes the two searches (a new word
        // such as 泽民 would otherwise keep 江 from its given name).
        singleSearch = m.newWords.singleSearch && nameModel;
    }
    if (m.EntitiesOn() && m.core.unigram) {
        const CModel::EntityPart& e = m.entities;
        const CEntityRecognizer::Kind places{e.placeRoles.get(), e.placeContext.get(), e.placeAutomaton.get(),
                                             ids.unknownPlace, e.placeApart.get()};
        const CEntityRecognizer::Kind organizations{e.orgRoles.get(), e.orgContext.get(), e.orgAutomaton.get(),
                                                    ids.unknownOrganization, e.orgApart.get()};
        entityStage.reset(new (std::nothrow) CEntityRecognizer(
            m.core.coreDict.get(), ids.unknownProper, static_cast<double>(m.core.unigram->GetEntryCount()), places,
            organizations));
        if (entityStage) {
            entityStage->SetPartTagger(posTagger.get());
            entityStage->SetSymbolTagger(symbolTagger.get());
            entityStage->SetPlaceSuffixes(e.placeSuffixes);
            if (e.placeUnits && tagSet != nullptr) {
                const int ns = tagSet->Code("ns");
                entityStage->SetPlaceUnits(m.core.posLexicon.get(),
                                           ns >= 0 && ns < 255 ? static_cast<uint8_t>(ns) : uint8_t{255});
            }
            if (e.orgSuffixShare > 0 && e.orgSuffixes) {
                CEntityRecognizer::Suffixes suffixes;
                suffixes.table = e.orgSuffixes.get();
                suffixes.share = e.orgSuffixShare;
                suffixes.unigram = m.core.unigram.get();
                entityStage->SetOrgSuffixes(suffixes);
            }
            if ((e.context || e.supplement || e.orgNewWords || e.orgPlaceWords) && tagSet != nullptr) {
                const auto codes = [this](std::initializer_list<const char*> names) {
                    std::vector<uint8_t> c;
                    for (const char* name : names) {
                        const int code = tagSet->Code(name);
                        if (code >= 0 && code < 255)
                            c.push_back(static_cast<uint8_t>(code));
                    }
                    return c;
                };
                // The tags the trainer lets open a name, or stand inside one,
                // of each kind (tools/trainer/PlaceRoleScheme.h, OrgRoleScheme.h);
                // a listed brand (nz) opens organisations too (格力/电器): the
                // list names today's companies by their brands.
                CEntityRecognizer::Backoff backoff;
                backoff.context = e.context;
                backoff.listed = e.supplement;
                backoff.newWords = e.orgNewWords;
                backoff.places = e.orgPlaceWords;
                backoff.untagged = e.orgUntagged;
                backoff.opening[0] = codes({"ns"});
                backoff.opening[1] = codes({"ns", "nt", "nz"});
                backoff.inner[1] = codes({"n", "vn", "nz", "j"});
                entityStage->SetBackoff(backoff);
            }
            if (e.stops && tagSet != nullptr) {
                const auto code = [this](const char* name) {
                    const int c = tagSet->Code(name);
                    return c >= 0 && c < 255 ? static_cast<uint8_t>(c) : uint8_t{255};
                };
                CEntityRecognizer::Stops stops;
                stops.lexicon = m.core.posLexicon.get();
                stops.conjunction = code("c");
                stops.numeral = code("m");
                stops.measure = code("q");
                stops.numberId = ids.unknownNumber;
                if (e.placeChains)
                    stops.place = code("ns");
                entityStage->SetStops(stops);
            }
            posTagger->SetEntityWordIds(ids.unknownPlace, ids.unknownOrganization);
        }
    }
    if (m.WebTextOn() && tagSet != nullptr) {
        const auto code = [this](const char* name) {
            const int c = tagSet->Code(name);
            return c >= 0 && c < 255 ? static_cast<uint8_t>(c) : uint8_t{255};
        };
        webText.reset(new (std::nothrow) CWebText(code("nx"), code("w")));
        preProcessor->SetWebText(webText.get());
    }
    const bool newPos = m.NewPosOn();
    posStage.reset(new (std::nothrow) CPosStage(*posTagger, newPos ? m.pos.model.get() : nullptr,
                                                newPos ? m.core.posLexicon.get() : nullptr, ids.unknownPerson, veto));
    if (posStage && newPos && entityStage) {
        posStage->SetEntityWordIds(ids.unknownPlace, ids.unknownOrganization);
        if (m.entities.partsPos)
            entityStage->SetPartStage(posStage.get());
    }
    if (posStage && newPos) {
        bool closed[256] = {};
        if (tagSet != nullptr)
            tagSet->MarkClosedClasses(closed);
        posStage->SetUserWordClass(ids.unknownProper, closed);
        if (m.pos.listedPlaceNouns && tagSet != nullptr) {
            const int ns = tagSet->Code("ns"), n = tagSet->Code("n");
            if (ns >= 0 && ns < 255 && n >= 0 && n < 255)
                posStage->SetListedAlternative(static_cast<uint8_t>(ns), static_cast<uint8_t>(n));
            posStage->SetListedInLists(m.pos.listedPlaceLists);
        }
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
    // The stages borrow the pre-processor, the segmenter and the taggers.
    newWordStage.reset();
    personStage.reset();
    entityStage.reset();
    posStage.reset();
    preProcessor.reset();
    webText.reset();
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
    // What the person stage remembers of a text stays with that text.
    personStage->BeginText();
    StageLap lap(stageTimes);
    using Step = StageTimes::Step;
    if (newWordStage)
        newWordStage->SetText(text);
    for (const char* p = text; p != nullptr && *p != '\0';) {
        const char* next = preProcessor->BuildLattice(p);
        lap(Step::kPreProcess);
        // Only the two markers: nothing to analyse (and the lattice is stale).
        if (preProcessor->GetAtomCount() <= 2 || next == nullptr || next <= p)
            break;
        int count = 0;
        if (newWordStage && singleSearch) {
            // The new words join the lattice first, and the one search cuts the
            // sentence (its time counts as the new words').
            sentence.Begin(p, static_cast<int>(next - p), nullptr, 0);
            count = newWordStage->SegmentOnce(sentence);
        } else {
            count = segmenter->Segment(preProcessor->GetLattice(), preProcessor->GetSlotCount(),
                                       preProcessor->GetSlotSizes(), preProcessor->GetAtomCount());
            lap(Step::kSegment);
            if (count >= 2) {
                sentence.Begin(p, static_cast<int>(next - p), segmenter->GetItems(), count);
                if (newWordStage)
                    newWordStage->Run(sentence);
            }
        }
        if (count >= 2) {
            lap(Step::kNewWords);
            personStage->Run(sentence);
            lap(Step::kPersons);
            if (entityStage)
                entityStage->Run(sentence);
            lap(Step::kEntities);
            posStage->Run(sentence);
            lap(Step::kPos);
            if (symbolTagger)
                symbolTagger->Apply(sentence.text, sentence.items, sentence.count);
            emit(sentence);
            lap(Step::kOutput);
        }
        p = next;
    }
    preProcessor->SetUserWords(nullptr);
    userWords.reset();
    if (newWordStage)
        newWordStage->SetText(nullptr);
}

void CAnalyzer::Analyze(const char* text)
{
    if (htmlFile == nullptr)
        return;
    pageWriter.ToFile(htmlFile);
    sentence.keepBounds = false;
    Run(text, [this](CSentence& s) { pageWriter.WriteTokens(s.text, s.items, s.count); });
    pageWriter.Flush();
}

void CAnalyzer::AnalyzeToPage(const char* text, std::string& page, const EngineText* originals)
{
    pageWriter.ToString(page, originals);
    sentence.keepBounds = false;
    Run(text, [this](CSentence& s) { pageWriter.WriteTokens(s.text, s.items, s.count); });
    pageWriter.ToFile(nullptr);
}

void CAnalyzer::Analyze(const char* text, const SentenceSink& sink)
{
    sentence.keepBounds = true;
    Run(text, [&sink](const CSentence& s) { sink(s); });
}

void CAnalyzer::WriteTokens(const char* text, TokenRecord* items, int count)
{
    if (htmlFile == nullptr)
        return;
    pageWriter.ToFile(htmlFile);
    pageWriter.WriteTokens(text, items, count);
    pageWriter.Flush();
}
