#ifndef MORV_CPOSMODEL_H
#define MORV_CPOSMODEL_H

#include <cstdint>
#include <memory>
#include <vector>

#include "lexicon/ModelBlock.h"

#include "segment/TokenRecord.h"
#include "tagging/CPosLexicon.h"
#include "tagging/PosFeatures.h"

// The discriminative part-of-speech tagger of the new stages (NewPos.pm,
// written by morv-train; the layout is in data/newpos.md). A linear model
// scores every candidate tag of a token from sparse features of the token and
// its neighbours (word ids two to each side, the word's first and last
// characters and the pairs at its edges, the lexicon's tags, the word's shape,
// and the word with its neighbours' words and tags); a first-order Viterbi
// with learnt tag-pair weights picks the sentence's tags. Candidates come from
// the part-of-speech lexicon; a word it lacks (a new word, say) may take any
// of the model's open-class tags, so such words are tagged by their characters.
// A few tags the lexicon drops as rare for a word (vn beside v, say) come back
// as candidates through the model's expansion pairs.
//
// Read-only after Load: one model may serve many threads at once, each with its
// own Workspace, which holds all per-call state and keeps its buffers.
class CPosModel : public PosFeatures {
public:
    // File layout constants, shared with the trainer's writer.
    static constexpr char kMagic[4] = {'M', 'P', 'O', 'S'};
    static constexpr uint32_t kVersion = 1;
    static constexpr int kHeaderBytes = 128;
    static constexpr int kHashedAt = 40;    // where the header's hashed-template counts begin
    static constexpr int kHashedSlots = 16; // hashed-template counts the header has room for
    static constexpr uint32_t kMaxExpansions = 255;
    static constexpr uint32_t kMaxUnfolded = 64;
    static constexpr int kMaxTags = 255;   // model tags; tag code 255 means "not tagged"
    static constexpr uint32_t kMaxWords = 1u << 26;
    static constexpr int kKeyCount = 65536;       // character keys
    static constexpr uint32_t kMaxChars = 65535;  // characters with rows: a row index and "none" fit 16 bits
    static constexpr uint32_t kMaxHashedKeys = 1u << 24;
    static constexpr uint32_t kMaxEntries = 1u << 28;
    static constexpr uint8_t kNoTag = 255; // a candidate outside the model's tags

    // Per-call state. Results stay valid until the next call with the same workspace.
    class Workspace {
    public:
        Workspace() = default;
        virtual ~Workspace() = default;
        // The ids of the place- and organisation-name words (-1: none). A token
        // carrying one is a name the entity recogniser merged, with its tag code
        // in kind: that code is its only candidate, and its kind becomes
        // kKindPlaceName or kKindOrganizationName.
        void SetEntityWordIds(int32_t placeWordId, int32_t organizationWordId)
        {
            placeId = placeWordId;
            organizationId = organizationWordId;
        }
        // How a word of a user dictionary or added at run time is tagged when
        // it has no tag of its own and the lexicon lacks it: as a new word (the
        // class word newWordId, its features and candidates), but never with a
        // tag that closed[code] marks (function words, affixes, numerals,
        // signs: a word a user adds is none of these). -1: as any word the
        // lexicon lacks.
        void SetUserWordClass(int32_t newWordId, const bool (&closed)[256])
        {
            userWordClass = newWordId;
            for (int code = 0; code < 256; ++code)
                closedTag[code] = closed[code];
        }

        // A supplementary word its list tags `listed` may take `other` as
        // well, the model choosing between them: the list tags many common
        // nouns as places (山岭, 契约). 255: the list's tag alone.
        void SetListedAlternative(uint8_t listed, uint8_t other)
        {
            listedTag = listed;
            listedOther = other;
        }
        // With lists on, such a word that took `other` takes the list's tag
        // where it stands in a list beside a word tagged so (杭州、南昌、肇庆:
        // the items of a list share their class), across 、 和 与 及 或.
        void SetListedInLists(bool on) { listedInLists = on; }

    private:
        friend class CPosModel;
        uint8_t listedTag = 255;
        uint8_t listedOther = 255;
        bool listedInLists = false;
        std::vector<TokenInfo> infos;
        std::vector<const CPosLexicon::Entry*> entries; // per token, with their number
        std::vector<int> entryCounts;
        std::vector<int32_t> candidateStart; // per token, and one past the last
        std::vector<uint8_t> candidateTag;   // model tag, or kNoTag
        std::vector<uint8_t> candidateCode;  // tag code written to the token
        size_t candidateCount = 0;           // how many of the two arrays are in use
        // A feature's look-up: a word or character row (table -1, at its row),
        // or a hashed key (table its template's, at its first slot).
        struct Probe {
            uint32_t at;
            uint32_t key;
            int32_t table;
        };
        std::vector<int32_t> keyStart; // per token, and one past the last
        std::vector<Probe> probes;     // the features of the tokens with a choice the model may hold
        std::vector<int32_t> firsts;   // where their rows begin in the weights, -1 for none
        std::vector<int32_t> emission; // per candidate
        std::vector<int64_t> score;
        std::vector<int32_t> back;
        std::vector<int32_t> sums; // one per model tag: the token's feature sums
        uint8_t seen[256] = {};
        uint8_t stamp = 0;
        int32_t placeId = -1;
        int32_t organizationId = -1;
        int32_t userWordClass = -1;
        bool closedTag[256] = {};
        TokenRecord asNewWord; // the user word being described as a new word
        // The candidates and lexicon class of the lexicon's lists of tags met
        // so far, by the tags alone (a list recurs for thousands of words):
        // a slot per hash of the tags, empty when count is kEmpty. Valid for
        // one loaded model (owner, generation).
        static constexpr int kCachedEntries = 8;
        static constexpr int kCachedCandidates = 16;
        static constexpr size_t kCacheSlots = 1024;
        static constexpr uint8_t kEmpty = 255;
        struct Known {
            uint8_t count = kEmpty; // entries of the list
            uint8_t candidates = 0;
            uint8_t entryTags[kCachedEntries] = {};
            uint8_t tags[kCachedCandidates] = {};
            uint8_t codes[kCachedCandidates] = {};
            uint32_t lexClass = 0;
        };
        std::vector<Known> known;
        const CPosModel* knownOwner = nullptr;
        uint64_t knownGeneration = 0;
        bool IsEntity(int32_t wordId) const
        {
            return wordId >= 0 && (wordId == placeId || wordId == organizationId);
        }
    };

    CPosModel();
    virtual ~CPosModel();
    CPosModel(const CPosModel&) = delete;
    CPosModel& operator=(const CPosModel&) = delete;

    // Reads the whole file. False when it cannot be opened or is no sound model
    // (wrong magic or version, counts out of range, a size other than its counts
    // demand, keys out of order, rows longer than the tags or not adding up to
    // the weights, tags outside the model's or repeated); the object then keeps
    // what it held.
    bool Load(const char* path);
    bool IsLoaded() const { return loaded; }

    // Tags items[0, count) of the sentence text[0, length) in place, as the
    // part-of-speech pass does: every token gets a tag code in `tag`. A token
    // whose word id is personWordId (a recognised name) takes the code the
    // recogniser left in `kind` and is marked kKindPersonName; with
    // useFixedTags, a token's fixedTag (when set) is its only candidate.
    void Tag(const char* text, int length, TokenRecord* items, int count, const CPosLexicon* lexicon,
             int32_t personWordId, bool useFixedTags, Workspace& ws) const;

    int GetTagCount() const { return tagCount; }
    int GetWordCount() const { return static_cast<int>(wordCount); }
    int GetCharCount() const { return static_cast<int>(charCount); }
    int GetEntryCount() const { return static_cast<int>(entryCount); }
    uint8_t GetTagCode(int tag) const { return tag >= 0 && tag < tagCount ? tagCodes[tag] : kNoTag; }
    // The model tag of a tag code, kNoTag when the model has none.
    uint8_t ModelTag(uint8_t code) const { return tagOf[code]; }
    // Whether the word row of a word id holds the sum of all its own features:
    // every id of the model's words but the class words, whose text varies.
    bool IsFolded(int32_t word) const;

private:
    // A hashed feature's slot holds where its row's weights begin, so that a
    // look-up reads the slot and then the weights, nothing between.
    struct Slot {
        uint32_t key;
        int32_t first; // the row's first weight; -1 marks a free slot
    };
    // A weight and its model tag, side by side: a row is read in one stream.
    // Rows are padded to whole blocks of kBlock weights (tag tagCount, weight
    // 0); a row's first weight also holds its number of blocks, and an empty
    // row points at the weight past the last, which has none. A row whose
    // blocks would be no smaller than a weight per tag is a dense row instead
    // (see dense).
    static constexpr int kBlock = 4;
    struct Weight {
        uint8_t tag;
        uint8_t length;
        int16_t weight;
    };

    // Appends the look-ups of token i's features (as Keys gives them) to
    // probes, leaving out those the model cannot hold (a word id past its
    // words, a character without a row, a template without keys); returns the
    // new end. Each look-up's first read is asked for ahead of its use.
    Workspace::Probe* Gather(const TokenInfo* infos, int count, int i, Workspace::Probe* probes) const;
    // Where the row of a gathered feature begins in weights; -1 when the
    // model has none.
    int32_t FirstWeight(const Workspace::Probe& probe) const;
    // Appends the candidates of a token to the workspace (at least one); returns how many.
    // With openOnly, tags the workspace marks closed are left out (unless
    // nothing else is left).
    int Candidates(const TokenRecord& token, const CPosLexicon::Entry* entries, int entryCount, bool useFixedTags,
                   Workspace& ws, bool openOnly = false) const;
    // The candidates the lexicon's entries alone give (the last rules of
    // Candidates), appended to the workspace; returns how many.
    int LexiconCandidates(const CPosLexicon::Entry* entries, int entryCount, Workspace& ws) const;
    // After the search: the listed words that took the other tag but stand in
    // a list beside a word tagged with the list's tag take that tag
    // (Workspace::SetListedInLists).
    void TagListsAlike(const char* text, int length, TokenRecord* items, size_t n, const Workspace& ws) const;
    // The cached candidates and class of a list of entries, found or filled
    // (null for a list too long to keep, or one giving too many candidates).
    const Workspace::Known* Known(const CPosLexicon::Entry* entries, int entryCount, Workspace& ws) const;
    const Workspace::Known* Learn(const CPosLexicon::Entry* entries, int entryCount, Workspace& ws,
                                  Workspace::Known& slot) const;

    bool loaded = false;
    uint64_t generation = 0; // distinct for every successful Load of any model
    int tagCount = 0;
    int openCount = 0;
    uint32_t wordCount = 0;
    uint32_t charCount = 0;
    uint32_t entryCount = 0;
    uint32_t hashedCount[kHashedTemplates] = {};
    float scale = 0;
    uint8_t tagCodes[256] = {};
    uint8_t tagOf[256] = {};
    uint8_t openTags[256] = {};
    // Expansion pairs grouped by their first tag: the second tags of model tag t
    // are expandTo[expandStart[t] .. expandStart[t + 1]).
    uint16_t expandStart[257] = {};
    uint8_t expandTo[kMaxExpansions] = {};
    uint32_t unfoldedCount = 0;
    int32_t unfolded[kMaxUnfolded] = {};
    std::vector<uint64_t> unfoldedBits; // a bit per word, set for the unfolded ones
    // Every array below lives in this one block (see Load).
    ModelBlock block;
    const int32_t* transitions = nullptr; // (tagCount + 1)^2: previous x tag; the last row and column (kNoTag) are 0
    const uint16_t* charRow = nullptr;    // character key -> 1 + index of its row, 0 for none
    const Slot* tables[kHashedTemplates] = {};
    int tableBits[kHashedTemplates] = {};
    // Per word and character row: its first weight. The word rows are kept
    // word by word (the kWordTemplates rows of a word side by side, as a
    // sentence reads them for the word and its neighbours), then the
    // character rows template by template.
    const uint32_t* rowFirst = nullptr;
    const Weight* weights = nullptr;    // the sparse rows, padded, and the empty row
    const int16_t* dense = nullptr;     // the dense rows: tagCount + 1 weights each
    int64_t denseFrom = INT64_MAX;      // a row beginning here or later is dense (at dense + first - denseFrom)
};

#endif
