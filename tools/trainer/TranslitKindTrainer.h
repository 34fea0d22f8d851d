#ifndef MORV_TRAINER_TRANSLITKINDTRAINER_H
#define MORV_TRAINER_TRANSLITKINDTRAINER_H

#include <cstdint>
#include <string>
#include <vector>

#include "tools/trainer/CorpusReader.h"
#include "tools/trainer/TranslitModelTrainer.h"

// Learns the place-or-person model of transliterated names (TranslitKind.tk,
// tagging/CTranslitKindModel.h): logistic regression over the features of
// CTranslitKindModel::Features, on the transliterated person names the
// transliteration model's trainer took against the place names whose
// characters read, on the whole, like a transliteration's (kPlaceMean: looser
// than that trainer's test, as the engine asks of every name the name model
// reads as one word: 乌干达, whose 干 is a common character, too). Only names
// the engine asks about are examples: three characters and more, without a ·.
class TranslitKindTrainer {
public:
    struct Report {
        int places = 0;  // examples
        int persons = 0;
        int features = 0; // in the file
    };
    // Steps of the optimiser, its step size and the precision of the
    // Gaussian prior on each weight (per unit of natural log).
    // The mean in-name score (natural log) of the characters of a place name
    // that counts.
    static constexpr double kPlaceMean = 0.5;
    static constexpr int kSteps = 300;
    static constexpr double kRate = 0.3;
    static constexpr double kL2 = 1.0;

    TranslitKindTrainer() = default;
    virtual ~TranslitKindTrainer() = default;

    // translit: trained on the same paragraphs.
    void Train(const std::vector<Paragraph>& paragraphs, const TranslitModelTrainer& translit);
    bool Write(const std::string& path) const;
    std::string Bytes() const;
    const Report& GetReport() const { return report; }

private:
    std::vector<uint32_t> keys; // strictly increasing
    std::vector<int> weights;   // hundredths
    Report report;
};

#endif
