#ifndef MORV_TRAINER_ROLEMODELTRAINER_H
#define MORV_TRAINER_ROLEMODELTRAINER_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tools/trainer/ApartRuns.h"
#include "tools/trainer/CorpusReader.h"
#include "tools/trainer/RoleScheme.h"
#include "tools/trainer/ModelWriter.h"
#include "tools/trainer/WordStatistics.h"

class CCharset;

// Learns a role model (<stem>.role, <stem>.ctx, <stem>.fsa) for the entities a
// RoleScheme describes: every training paragraph is segmented by the engine
// itself with the freshly written word models, its tokens are lined up with the
// gold entities by byte offsets, and each token counts in the role that its
// place gives it (inside an entity: the scheme decides; next to one: before,
// after, between; else the default role).
class RoleModelTrainer {
public:
    // All references must outlive this object.
    RoleModelTrainer(const RoleScheme& scheme, const WordStatistics& words, const CCharset& charset);
    virtual ~RoleModelTrainer() = default;

    // dataDir holds the word models WordStatistics wrote (the engine's
    // segmentation reads them).
    void Learn(const std::vector<Paragraph>& paragraphs, const std::string& dataDir);
    // Completes the lexicon through the scheme and writes the three files
    // (and <stem>.suffix for a scheme that writes a suffix table, <stem>.apart
    // for one that keeps runs apart).
    bool Write(const std::string& dataDir);

    size_t GetEntityCount() const { return entities; }
    // Entities whose segmentation cuts at both ends, in two or more tokens.
    size_t GetAlignedCount() const { return aligned; }
    // Whether the roles came from the engine's own segmentation (else from the
    // corpus units, when the engine could not segment).
    bool UsedRealSegmentation() const { return realSegmentation; }

private:
    // The words of one fold only (RoleScheme::SplitsNewWords), by word id.
    void FindNewWords(const std::vector<Paragraph>& paragraphs);
    bool IsNewWord(int id) const;
    // Counts the token runs of one segmented sentence, and which of them are
    // exactly a gold name (of those starting in it), for the runs kept apart.
    void NoteRuns(const std::vector<WordStatistics::Token>& sentence,
                  const std::vector<const RoleScheme::Entity*>& inSentence);
    // The suffix table (RoleScheme::SuffixRole) in the lexicon format:
    // per final character's word id, the suffix role and the default role with
    // how often the tokens ending in it took the suffix role and any other.
    std::vector<ModelWriter::LexiconEntries> SuffixTable() const;
    // Cuts the new words of a segmented sentence into characters and merges the
    // tokens of each class span into one token of its class word.
    void Reshape(std::vector<WordStatistics::Token>& sentence, const std::vector<RoleScheme::Entity>& classSpans) const;

    static constexpr int32_t kNoFold = -1;
    static constexpr int32_t kManyFolds = -2;

    const RoleScheme& scheme;
    const WordStatistics& words;
    const CCharset& charset;

    std::vector<std::map<int, int32_t>> roleCounts; // word id -> role -> count
    std::vector<int32_t> roleFrequency;
    std::vector<int32_t> rolePairs; // previous role x role
    size_t entities = 0;
    size_t aligned = 0;
    bool realSegmentation = false;
    std::vector<int32_t> newWordFold; // word id -> its only fold, kNoFold or kManyFolds
    ApartRuns apart;
};

#endif
