#ifndef MORV_CNAMESTAGE_H
#define MORV_CNAMESTAGE_H

#include <cstdint>
#include <memory>
#include <vector>

#include "segment/SpecialWords.h"
#include "segment/TokenRecord.h"
#include "tagging/CNameMemory.h"
#include "tagging/CNameModel.h"
#include "tagging/CNameOpeners.h"

class CPDAT;
class CUnigram;
class CPosLexicon;
class CRoleTagger;
class CTranslitKindModel;
class CTranslitModel;

// The person-name stage of the new stages: decides the person names of a
// segmented sentence with the character-based name model, which hears what the
// role tagger and its automaton found and where the segmentation cut, and lays
// the tokens out so that each name is one token, as the rest of the pipeline
// expects (word id of 未##人, tag code in kind, a Chinese name's surname a token
// of its own until the merge, so that its split can be reported).
//
// Per sentence, in this order:
//   Find       the names (the tokens carry the role tagger's roles);
//   Layout     the tokens re-cut at the names' bounds: a Chinese name becomes
//              surname + given name, any other name one token;
//   Merge      after the caller has noted the tokens before recognition: each
//              name becomes one token, as the role automaton would merge it;
//   Veto       after part-of-speech tagging: a word the tagger calls a person
//              name that is none of the stage's names takes its likeliest other
//              tag (n for a word known only as a name).
// One stage per analyser; the models are borrowed and only read.
class CNameStage {
public:
    struct Settings {
        // Added to the labelling of each name the role automaton found, per
        // character and where it ends.
        float automatonBonus = 0;
        // The same for names of two characters, which the automaton finds in
        // many ordinary words that begin with a surname character (刘桥, 金桔).
        float automatonBonusShort = 0;
        // Paid for a name bound inside a token of the segmentation.
        float cutPenalty = 0;
        // Whether a word the tagger calls a person name but that is none of the
        // stage's names loses that tag.
        bool veto = true;
        // The transliteration model (none: not heard) and what a character's
        // in-name score, per unit of natural log, adds to the labels of a
        // one-word name.
        const CTranslitModel* translit = nullptr;
        float translitWeight = 0;
        // What every character's in-name score adds, per unit of natural
        // log, to the reading as one word of a name the model decoded as
        // surname + given name, when the two readings compete (0: they do
        // not).
        float translitRescore = 0;
        // The role lexicon (roles per word id, none: not heard) and what a
        // name pays, per unit of natural log, for running on into a word that
        // follows names more often than it is part of one.
        const CPosLexicon* roles = nullptr;
        float wordPenalty = 0;
        // Whether names may run over and inside supplementary words whatever
        // tag the word list gives them (else such a tag is kept like a
        // user's).
        bool supplementWords = false;
        // What a name pays for each character it takes of a supplementary
        // word the list tags (as something else).
        float listedPenalty = 0;
        // Whether places beside a name (法国阿尔贝维尔, 哈尔滨、齐齐哈尔) make a
        // transliteration a place.
        bool placeContext = false;
        // The kind model of transliterated names (none: the transliteration
        // model's place odds alone decide) and the log odds of a place, in
        // natural log units, a name's must pass to be one by it.
        const CTranslitKindModel* kinds = nullptr;
        float kindMargin = 0;
        // The character table of the models, built once beside them (none, or
        // one built for other models: the stage builds its own).
        const CNameOpeners* openers = nullptr;
        // Whether the names found with confidence in a text are offered to
        // its later sentences: a name whose labelling outscores the same
        // characters outside any name by memoryMargin (score units) is
        // remembered, and each later occurrence of it adds memoryBonus to the
        // labels that spell it, per character and where it ends.
        bool memory = false;
        float memoryBonus = 0;
        float memoryMargin = 0;
    };
    // A decided name: byte offsets in the sentence, the surname's end for a
    // Chinese name (-1 otherwise) and the tag code it gets.
    struct Name {
        int start;
        int end;
        int split;
        uint8_t tag;
    };

    CNameStage(const CNameModel& model, const CPDAT& dictionary, const CUnigram& unigram,
               const CPosLexicon* posLexicon, const SpecialWords& ids, const Settings& settings);
    virtual ~CNameStage() = default;

    void Find(const char* sentence, int length, const TokenRecord* items, int count, const CRoleTagger& roles);
    // The same with the role automaton's merge of the tokens already at hand
    // (automatonNames, automatonCount tokens). cuts, when given (cutCount
    // tokens), are the tokens the automaton read, where a Chinese name's
    // surname ends; else items.
    void Find(const char* sentence, int length, const TokenRecord* items, int count,
              const TokenRecord* automatonNames, int automatonCount, const TokenRecord* cuts = nullptr,
              int cutCount = 0);
    // The re-cut tokens (owned by the stage, valid until the next Find; items
    // itself when the sentence has no name); count becomes their number.
    TokenRecord* Layout(const char* sentence, TokenRecord* items, int& count);
    // items and count as Layout left them.
    void Merge(TokenRecord* items, int& count);
    void Veto(TokenRecord* items, int count) const;

    const std::vector<Name>& GetNames() const { return names; }
    // A new text begins: the names of the one before are forgotten.
    void BeginText() { memory.Clear(); }
    const CNameMemory& GetMemory() const { return memory; }

private:
    struct Piece {
        int start;
        int end;
        uint8_t tag;
    };
    // A user's word, a word with a tag its caller chose or a line break. With
    // supplementWords, the list's tag of a supplementary word is no choice of
    // the caller's.
    bool IsUserWord(const TokenRecord& t) const;
    // The character key at byte offset p of the sentence, -1 for a byte below 0x80.
    static int KeyAt(const char* sentence, int length, int p);
    // Whether a one-word name of the transliteration model's kind is a place:
    // its characters and the characters beside it say place rather than person
    // (or, when the settings give one, the kind model says place).
    // previous: where the character before the name begins, -1 at the start.
    // beside: what the words around the name add (PlacesBeside); items, count:
    // the sentence's tokens (the kind model hears the words beside the name).
    bool IsForeignPlace(const char* sentence, int length, int previous, int start, int end, int beside = 0,
                        const TokenRecord* items = nullptr, int count = 0) const;
    // Whether a token is a place by the tagger's lexicon (or the place class).
    bool IsPlaceWord(const TokenRecord& t) const;
    // What the words beside the name [start, end) say for a place, in
    // hundredths of a natural log: a place word just before it, or one linked
    // to it by a mark of a list on either side.
    int PlacesBeside(const char* sentence, const TokenRecord* items, int count, int start, int end) const;
    // CNameBounds::BreaksName of one character, answered from what earlier
    // sentences asked.
    bool BreaksName(const char* c, int bytes)
    {
        const auto* s = reinterpret_cast<const unsigned char*>(c);
        if ((bytes != 1 && bytes != 2) || breaks.empty())
            return AskBreaksName(c, bytes);
        const uint8_t known = breaks[bytes == 1 ? s[0] : kOneByteKeys + (size_t(s[0]) << 8 | s[1])];
        return known == 0 ? AskBreaksName(c, bytes) : known == 2;
    }
    // The same, asked of CNameBounds and kept.
    bool AskBreaksName(const char* c, int bytes);
    // Whether a name the model decoded as surname + given name (local: in the
    // workspace's offsets; its characters start at sentence character first)
    // reads better as one transliterated word, by the model's scores of both
    // labellings and the transliteration odds of its characters.
    bool ReadsAsTransliteration(const char* sentence, int length, int first, const CNameModel::Name& local);
    // The role tagger's counts of the word: how often it was part of a name
    // after its first character (inName) and how often it stood just after
    // one (after).
    void RoleCounts(int wordId, int64_t& inName, int64_t& after) const;
    // What a name pays per label for running on into the word (wordId >= 0),
    // in weight units; kNoPenalty when the word does not follow names more
    // often than it is part of one. Asked once per word and kept.
    int64_t WordPenalty(int wordId);
    static constexpr int64_t kNoPenalty = INT64_MIN;
    static constexpr int64_t kNotAsked = INT64_MIN + 1;
    std::vector<int64_t> penalties; // per word id
    // How often the training text used the word as something other than a
    // person name (its frequency when no tagger lexicon is at hand).
    int64_t OtherUses(int wordId) const;
    // Whether offset lies strictly inside a token that is a frequent word.
    bool CutsCommonWord(const TokenRecord* items, int count, int offset) const;
    // The labelling that spells a name over characters [a, b) of the
    // workspace (split: where the surname ends, -1 for one word), with bonus
    // on each label and where it ends.
    void Spell(int a, int b, int split, int64_t bonus);
    // After Decode: notes a decoded name of characters [a, b) of the
    // workspace when its labelling clearly beats no name there.
    void Remember(const char* sentence, const Name& name, int a, int b);
    TokenRecord PieceOf(const char* sentence, const TokenRecord& from, int start, int end) const;
    // Labels characters [first, last) of the sentence (indices as in starts),
    // names only where near says one may be, and appends the names found.
    void FindIn(const char* sentence, int length, int first, int last, const TokenRecord* items, int count,
                const TokenRecord* automatonNames, int automatonCount, const TokenRecord* cuts, int cutCount);

    // A name may be from kBefore characters before a character that may open
    // one (CNameOpeners) to kAfter after it, and kReach characters around the
    // automaton's names and the new words; the model reads kContext more on
    // each side as context (the features of characters further away differ
    // little).
    static constexpr int kBefore = 1;
    static constexpr int kAfter = 2;
    static constexpr int kReach = 1;
    static constexpr int kContext = 1;

    const CNameModel& model;
    const CPDAT& dictionary;
    const CUnigram& unigram;
    const CPosLexicon* posLexicon;
    SpecialWords ids;
    Settings settings;

    CNameModel::Workspace ws;
    std::vector<TokenRecord> scratch;
    std::vector<int> starts; // the sentence's characters' byte offsets, and its end
    std::vector<int> charAt; // character index at each byte offset, -1 inside a character
    std::vector<int32_t> keys; // the model's key of each character
    std::vector<uint8_t> near; // per character: a name may be there
    std::vector<uint8_t> heard; // per character of a FindIn: the run bonus gave its odds
    std::vector<uint8_t> oneWord; // the labels of a name read as one word
    std::unique_ptr<CNameOpeners> ownOpeners; // when the models' table does not fit
    const CNameOpeners* openers = nullptr;
    // Where FindIn takes up the tokens, the automaton's names and the cuts.
    int tokenCursor = 1;
    int automatonCursor = 1;
    int cutCursor = 1;
    std::vector<Name> names;
    CNameMemory memory;
    std::vector<CNameMemory::Occurrence> recalled; // the memory's names in this sentence
    std::vector<uint8_t> outside; // all O, for the margin of a name
    std::vector<Piece> listed; // the supplementary words with the list's tag
    std::vector<TokenRecord> laidOut;
    std::vector<int> firstToken; // per name: index of its first token in laidOut
    std::vector<int> cuts;
    static constexpr size_t kOneByteKeys = 256;
    std::vector<uint8_t> breaks; // per character: one-byte ones first, then two-byte keys
};

#endif
