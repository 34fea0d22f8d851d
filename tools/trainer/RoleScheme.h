#ifndef MORV_TRAINER_ROLESCHEME_H
#define MORV_TRAINER_ROLESCHEME_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tools/trainer/CorpusReader.h"

// What one role model is about, for RoleModelTrainer: the role inventory, how
// the gold entities of a corpus paragraph are found, which role a token inside
// an entity plays, and the automaton that merges role runs. Person names are one
// scheme (PersonRoleScheme); place and organisation names can be others, each
// with its own inventory, entity finder and automaton.
class RoleScheme {
public:
    // The roles every scheme has; the scheme's own inner roles come beside them.
    struct Inventory {
        int count = 0; // roles are codes 0..count-1
        int sentenceBegin = -1;
        int sentenceEnd = -1;
        int other = -1;   // every other token; the role tagger's default
        int before = -1;  // the token just before an entity
        int after = -1;   // the token just after one
        int between = -1; // a token just after one entity and just before the next
    };
    // A gold entity: byte offsets [start, end) in the paragraph text; split and
    // type mean what the scheme makes them mean (for names: where the surname
    // ends, and the kind of name). wordEnds: for an entity made of several words
    // (a compound), the byte offsets where its words end, the last one left out.
    struct Entity {
        int start;
        int end;
        int split;
        int type;
        std::vector<int> wordEnds{};
    };

    virtual ~RoleScheme() = default;

    virtual const Inventory& GetInventory() const = 0;
    // Names the files: <stem>.role, <stem>.ctx, <stem>.fsa.
    virtual std::string FileStem() const = 0;
    // For messages: "person-name".
    virtual std::string Description() const = 0;
    // The entities of a paragraph; offsets[k] is the byte offset of token k
    // (offsets has one more element, the text length).
    virtual std::vector<Entity> FindEntities(const Paragraph& p, const std::vector<int>& offsets) const = 0;
    // The role of the token [start, end) that lies inside entity e.
    virtual int InsideRole(const Entity& e, int start, int end) const = 0;
    // Adds lexicon entries the counts alone miss (counts[word id]: role -> count),
    // before the lexicon is written. words: the dictionary, by id.
    virtual void CompleteLexicon(std::vector<std::map<int, int32_t>>& counts,
                                 const std::vector<std::string>& words) const = 0;
    virtual bool WriteAutomaton(const std::string& path) const = 0;

    // Whether the words that only one day of the corpus shows are cut into their
    // characters before their roles are counted. Such words stand for the new
    // words of unseen text, which a recogniser that reads new words character by
    // character meets as characters.
    virtual bool SplitsNewWords() const { return false; }
    // Spans of a paragraph that earlier stages of the engine merge into one token
    // of a class word before this model's tagger runs (person names, say): the
    // tokens that cover such a span exactly are counted as one token of that
    // word. Entity::type is the class word's index in SpecialWords::kWords.
    virtual std::vector<Entity> ClassSpans(const Paragraph&, const std::vector<int>&) const { return {}; }
    // The role (the last word of a name) whose final characters the model
    // counts into <stem>.suffix (RoleModelTrainer::Write); -1: no such file.
    virtual int SuffixRole() const { return -1; }
    // Whether the model writes the runs of words training keeps apart into
    // <stem>.apart (ApartRuns).
    virtual bool KeepsRunsApart() const { return false; }
};

#endif
