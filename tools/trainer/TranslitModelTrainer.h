#ifndef MORV_TRAINER_TRANSLITMODELTRAINER_H
#define MORV_TRAINER_TRANSLITMODELTRAINER_H

#include <string>
#include <vector>

#include "tools/trainer/CorpusReader.h"

// Learns the transliteration model (Translit.tm, tagging/CTranslitModel.h)
// from the annotated corpus. Transliterated person names are the single-token
// names of three characters or more, or with a ·, as CorpusNames groups them.
// Foreign place names are the place names (ns) of two characters or more that
// read like those names: the mean of their characters' in-name scores reaches
// kForeignPlaceMean and none of them is below kForeignPlaceLow. Both then make the
// characters' in-name scores (against the characters of all words); the place
// and context scores compare the two kinds.
class TranslitModelTrainer {
public:
    struct Report {
        int personNames = 0; // occurrences
        int placeNames = 0;
        int chars = 0;       // characters in the file
    };
    // A place name whose characters score this much on average (natural log)
    // counts as written in transliteration.
    static constexpr double kForeignPlaceMean = 1.5;
    static constexpr double kForeignPlaceLow = -1.0;

    TranslitModelTrainer() = default;
    virtual ~TranslitModelTrainer() = default;

    void Train(const std::vector<Paragraph>& paragraphs);
    // Written through ModelWriter, so that it joins the run's batch.
    bool Write(const std::string& path) const;
    // The file's bytes (Write writes them).
    std::string Bytes() const;
    const Report& GetReport() const { return report; }
    // The names Train took, by token of the paragraphs it read: the
    // transliterated person names and the foreign place names.
    struct Sample {
        size_t paragraph;
        size_t first;
        size_t last;
        bool place;
    };
    const std::vector<Sample>& GetSamples() const { return samples; }
    // The trained in-name score of a character key (hundredths of a natural
    // log), the unseen character's for a key the model lacks.
    int InNameOf(int key) const;

private:
    struct Values {
        int inName = 0, place = 0, before = 0, after = 0;
    };
    std::vector<int> keys;      // strictly increasing, 0 first (the unseen character)
    std::vector<Values> values; // one per key
    Report report;
    std::vector<Sample> samples;
};

#endif
