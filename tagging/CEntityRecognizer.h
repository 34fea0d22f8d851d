#ifndef MORV_CENTITYRECOGNIZER_H
#define MORV_CENTITYRECOGNIZER_H

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "segment/CSentence.h"
#include "segment/TokenRecord.h"
#include "tagging/CHmmTagger.h"
#include "tagging/CPosLexicon.h"
#include "tagging/CRoleTagger.h"
#include "tagging/CRunFilter.h"

class CPosStage;
class CSymbolTagger;
class CPDAT;
class CTagTransitions;
class CUnigram;
class CWordRuns;

// Place and organisation names, found after the person names and before the
// part-of-speech pass. The tokens are read as the role models were trained on
// them, every new word character by character; for each kind of name
// (places, organisations) a role HMM tags them and the kind's automaton picks
// the runs of tokens that form names. Where an organisation and a place
// overlap the organisation wins, a place inside it becoming one of its words.
// Each name becomes one token of its kind's class word (未##地, 未##团) with
// the automaton's tag code in `kind`, which the part-of-speech pass makes its
// tag. A name made of several words (a compound: 中国/国际/广播/电台) keeps them
// as its parts, each with a tag of its own.
//
// The automata are those of ns.fsa and nt.fsa: a run merges into one token of
// one word, or of as many words as the run has tokens but for those the
// automaton reads into a state whose output carries kWordGoesOn (a piece of a
// word that goes on in the next token). The default role of each HMM is the
// highest role code its automaton reads.
class CEntityRecognizer {
public:
    static constexpr int32_t kWordGoesOn = 0x100;
    // The roles of ns.fsa and nt.fsa that a cut inside a run rewrites (the
    // trainer's entityrole codes; data/places.md).
    static constexpr uint8_t kRoleFirst = 1;
    static constexpr uint8_t kRoleFirstPiece = 2;
    static constexpr uint8_t kRoleInner = 3;
    static constexpr uint8_t kRoleInnerBegin = 4;
    static constexpr uint8_t kRoleInnerMiddle = 5;
    static constexpr uint8_t kRoleInnerEnd = 6;
    static constexpr uint8_t kRoleLast = 7;
    static constexpr uint8_t kRoleLastPiece = 8;
    static constexpr uint8_t kRoleWhole = 9;
    static constexpr uint8_t kRoleAfter = 11;   // the token just after a name
    static constexpr uint8_t kRoleBetween = 12; // after one name and before the next

    // Roles for the tokens the role lexicons, learnt from one month of text,
    // know too little about. context: any token may follow an organisation,
    // as an unseen word does under the emission's smoothing; the trainer gives
    // that role only to the tokens it saw right after one, so a word never
    // seen there (治安 after 鞍山公安局) kept every organisation before it from
    // ending. (Places, mostly one word and ended by a few suffixes, lose by it.)
    // listed: a supplementary word, which training never saw, is read as a
    // word of its list's tag seen once, by the rule the trainer completes its
    // lexicons with: a tag of opening[kind] may open a name or stand inside
    // one, a tag of inner[kind] may stand inside one (kind 0 places, 1
    // organisations; 鞍山/ns of today's vocabulary opens 鞍山公安局).
    // newWords: the characters of a new word (八方 of 八方/集团, a brand the
    // new-word stage found) may be one word opening an organisation or
    // standing inside one, as the pieces of a word seen once there.
    // places: a place the place model found in the sentence may open an
    // organisation or stand inside one, as a word seen once there: one month
    // of text shows few of the places that name a body (玉溪 of 玉溪卷烟厂,
    // a county's town), while the place roles know many more.
    struct Backoff {
        bool context = false;
        bool listed = false;
        bool newWords = false;
        bool places = false;
        bool untagged = false;
        std::vector<uint8_t> opening[2];
        std::vector<uint8_t> inner[2];
    };

    // Where a name of several words stops, by what its words are: it never
    // takes in a conjunction (和 与 及) nor a numeral with its measure word
    // (第九/届), and an organisation never joins two complete ones, a word
    // that mostly ends organisations followed by one that mostly opens them. The word
    // classes are the most frequent tags the part-of-speech lexicon gives the
    // words (a tag of 255: no such class); the number class word (未##数) is a
    // numeral whatever its tags. Without a lexicon nothing stops a merge.
    struct Stops {
        const CPosLexicon* lexicon = nullptr;
        uint8_t conjunction = 255;
        uint8_t numeral = 255;
        uint8_t measure = 255;
        int32_t numberId = -1;
        // With a place tag (below 255) a place stops between two words of its
        // own that are places themselves (河南/信阳): the corpus keeps
        // adjacent places apart far more often than it brackets them.
        uint8_t place = 255;
    };

    // Which final characters end organisations (nt.suffix: per character's
    // word id, how often a word of two or more characters ending in it was the
    // last word of one, and how often anything else). A word the role lexicon
    // never saw end an organisation (卷烟厂, while 厂 ends many) may end one,
    // as a word seen there once, when its final character did so at least
    // minCount times and at least share of its times, and the word itself is
    // rare (at most maxFrequency times in the unigram table, or a
    // supplementary word): a word training saw often without it ending one
    // seldom does (格局 社会 签署, whatever 局 会 署 end).
    struct Suffixes {
        const CPosLexicon* table = nullptr;
        const CUnigram* unigram = nullptr;
        double share = 0;
        int32_t minCount = 5;
        int32_t maxFrequency = 2;
    };

    // The models of one kind of name; a kind without all three is skipped.
    struct Kind {
        const CPosLexicon* roles = nullptr;
        const CTagTransitions* context = nullptr;
        const CRoleTagger* automaton = nullptr;
        int32_t wordId = -1; // the class word a name becomes
        // Runs of words never merged into one name of the kind (may be null).
        const CWordRuns* apart = nullptr;
    };
    // A word of a merged name: byte offsets in the sentence and its tag code.
    using Part = TokenPart;

    // dict: for the characters of new words; newWordId: the class word of new
    // words (未##专); vocabularySize: as for the engine's other taggers.
    CEntityRecognizer(const CPDAT* dict, int32_t newWordId, double vocabularySize, const Kind& places,
                      const Kind& organizations);
    virtual ~CEntityRecognizer();
    CEntityRecognizer(const CEntityRecognizer&) = delete;
    CEntityRecognizer& operator=(const CEntityRecognizer&) = delete;

    // The stage's entry: Recognize on the sentence's tokens, then (with a part
    // tagger, the analyser's part-of-speech HMM) the words of the merged names
    // tagged and handed to the sentence as its parts.
    void Run(CSentence& sentence);
    void SetPartTagger(CHmmTagger* tagger) { partTagger = tagger; }
    // With a part stage (the analyser's part-of-speech stage) the words of the
    // merged names are tagged as the sentence's other words are, by its model,
    // in place of the part tagger.
    void SetPartStage(CPosStage* stage) { partStage = stage; }
    // Gives the parts that are punctuation or symbols the tag w (may be null).
    void SetSymbolTagger(const CSymbolTagger* tagger) { symbolTagger = tagger; }
    void SetStops(const Stops& s) { stops = s; }
    void SetBackoff(const Backoff& b);
    void SetOrgSuffixes(const Suffixes& s) { suffixes = s; }
    // Whether a place the role tagger read as whole takes the next word as its
    // suffix when the place roles of that word say it mostly ends a place
    // rather than follows one (东亚/地区): the tagger's emissions
    // favour the place's frequent whole role over its rarer first role.
    void SetPlaceSuffixes(bool on) { placeSuffixes = on; }
    // Whether a place word takes the token after it into one word when the
    // place roles say that token mostly ends a place word rather than follows
    // one (温江/县, 浇底/乡, 阿比让/市): training reads a county as one word of
    // two tokens, while new text often has the place found by another stage
    // (a listed or new word, a transliteration, the lexicon's ns) and the unit
    // as a word of its own, so the role tagger never starts a run there.
    // posLexicon and placeTag: a word whose main tag is placeTag is a place.
    void SetPlaceUnits(const CPosLexicon* posLexicon, uint8_t placeTag);
    // Merges the place and organisation names among the tokens of one sentence
    // (sentence: its text, the tokens' offsets are from its start) in place and
    // lowers count by the number of tokens removed.
    void Recognize(const char* sentence, TokenRecord* items, int& count);
    // Whether the last Recognize merged a name of several words.
    bool HasParts() const { return hasParts; }
    // Tags the words of the merged names with the part-of-speech tagger, in the
    // context of the tokens as they were before Recognize, and fills GetParts.
    void TagParts(CHmmTagger& posTagger);
    // The same with a part-of-speech stage (length: the sentence's).
    void TagParts(CPosStage& posStage, int length);
    // After TagParts: the words of token i of the last result are
    // GetParts()[GetPartOffsets()[i] .. GetPartOffsets()[i + 1]); none for a
    // token that is one word. count + 1 offsets.
    const std::vector<Part>& GetParts() const { return parts; }
    const std::vector<int32_t>& GetPartOffsets() const { return partOffsets; }

private:
    // A word of a merged name: byte offsets, the tokens before recognition it
    // covers, and its tag when it is known already (else 255).
    struct Piece {
        int32_t start;
        int32_t end;
        int32_t first;
        int32_t last;
        uint8_t tag;
    };
    // A name found: token indices, its tag code, the class word it becomes,
    // and where its word goes on across a token boundary (offsets in dropped;
    // a place inside an organisation adds its own, tagged with its tag).
    struct Merge {
        int first;
        int last;
        uint8_t tag;
        int32_t wordId;
        std::vector<std::pair<int32_t, uint8_t>> goesOn; // offset, tag of the word joined there
    };
    struct Model {
        Kind kind;
        std::unique_ptr<CHmmTagger> hmm;
        // Per word id: kStarts when a role the lexicon gives it starts a name,
        // kEnds when one ends a name (leads into an accepting state), and for
        // places kUnit when its roles make it a unit (SetPlaceUnits).
        std::vector<uint8_t> reach;
        // The exact test over the automaton's runs (reach is the fallback for
        // an automaton it cannot take).
        CRunFilter runs;
        // For organisations under the back-offs: the same test over the roles
        // the back-offs add (SetBackoff builds it).
        CRunFilter backoffRuns;
    };
    static constexpr uint8_t kStarts = 1;
    static constexpr uint8_t kEnds = 2;
    static constexpr uint8_t kUnit = 4; // places only: a unit (SetPlaceUnits)

    // Whether some run of tokens may form a name, going by the roles the
    // lexicon gives them: most sentences have none, and need no role tagging.
    bool MayHoldName(const Model& model);
    // The same for organisations with the roles the back-offs add (into extraRoles).
    bool MayHoldBackoffName(const Model& model);

    // Whether work token w is a supplementary word that Backoff::listed reads
    // by its tag for kind k: 1 opening, 2 inner, 0 neither.
    int ListedClass(int k, size_t w) const;
    // Whether work token w is a whole word that the organisation roles never
    // let end a name but whose final character mostly does (SetOrgSuffixes).
    // (Only where SuffixesApply: the set-up SetOrgSuffixes gave is complete.)
    bool EndsBySuffix(size_t w) const;
    bool SuffixesApply() const;
    // For Backoff::places: the organisation roles each work token of the
    // places found takes, into placeWords.
    void MarkPlaceWords();
    // The candidates of the work tokens under the back-off rules, into own;
    // whether any token has candidates of its own (every word between the markers does).
    bool BackoffCandidates(const Model& model);

    // The names one kind's models find in work, appended to found.
    void FindNames(const Model& model, int count, std::vector<Merge>& found);
    // Whether the run's words are a run that training kept apart (Kind::apart).
    bool KeptApart(const Model& model, const CRoleTagger::Run& run) const;
    // Rewrites the roles of work inside the runs so that each run stops at
    // the stops it crosses; whether it changed any.
    bool CutAtStops(const Model& model);
    // 0 for the place model, 1 for the organisation model.
    int KindOf(const Model& model) const { return &model == &models[0] ? 0 : 1; }
    // For places: rewrites a whole place and the word after it into a first
    // and a last where the word's roles say so (SetPlaceSuffixes).
    void JoinPlaceSuffixes(const Model& model);
    // For places: rewrites a place word and the unit after it into the pieces
    // of one word (SetPlaceUnits).
    void JoinPlaceUnits(const Model& model);
    // Whether the place roles read a word as a unit that ends place words.
    bool IsUnit(int32_t wordId) const;
    // Whether work token w, ending its owner, is a place by some stage's word.
    bool IsPlaceWord(const Model& model, size_t w) const;
    bool MayJoinUnit(const Model& model) const;
    // Whether the unit at work token u makes a word with the token after it.
    bool UnitFormsWord(size_t u) const;
    // The most frequent tag a lexicon gives a word, 255 for none.
    static uint8_t MainTag(const CPosLexicon* lexicon, int32_t wordId);

    const CPDAT* dict;
    int32_t newWordId;
    CHmmTagger* partTagger = nullptr;
    CPosStage* partStage = nullptr;
    // Fills parts from pieces, the tokens before recognition being tagged.
    void CollectParts();
    Model models[2];

    // Per sentence, reused.
    std::vector<TokenRecord> before; // the tokens as Recognize found them (where it merged any)
    const TokenRecord* original = nullptr; // the same, during Recognize before it merges
    std::vector<TokenRecord> window; // the words TagParts tags around the merged names
    int beforeCount = 0;
    std::vector<TokenRecord> work;   // the tokens, new words in characters
    std::vector<int32_t> owner;      // token each work token comes from
    std::vector<uint8_t> edges;      // bit 1: begins its owner, bit 2: ends it
    std::vector<CRoleTagger::Run> runs;
    std::vector<Merge> places;
    std::vector<Merge> merges;       // the names kept, in token order
    std::vector<Piece> pieces;       // of every token, by pieceOffsets
    std::vector<int32_t> pieceOffsets;
    std::vector<Piece> joined;
    bool hasParts = false;
    const char* sentenceText = nullptr; // of the last Recognize
    const CSymbolTagger* symbolTagger = nullptr;
    Stops stops;
    Backoff backoff;
    Suffixes suffixes;
    std::vector<CPosLexicon::Entry> ownEntries;
    std::vector<CHmmTagger::Candidates> own;
    std::vector<std::pair<size_t, size_t>> ownSpans;
    std::vector<uint32_t> extraRoles; // per work token: the roles the back-offs add, a bit each
    std::vector<uint8_t> suffixEnds; // per work token: EndsBySuffix, for this sentence
    // Per work token, for this sentence: the role it takes where the place it
    // belongs to opens an organisation, and where it stands inside one (0: none).
    struct PlaceWord {
        uint8_t opening = 0;
        uint8_t inner = 0;
    };
    std::vector<PlaceWord> placeWords;
    bool anyPlaceWord = false;
    bool anySuffixEnd = false;
    bool anyPiece = false; // some work token is a piece of a new word
    bool anyListed[2] = {false, false}; // some work token has a ListedClass, per kind
    bool placeSuffixes = false;
    bool placeUnits = false; // SetPlaceUnits

    const CPosLexicon* unitLexicon = nullptr;
    uint8_t unitPlaceTag = 255;
    std::vector<Part> parts;
    std::vector<int32_t> partOffsets;
};

#endif
