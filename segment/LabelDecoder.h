#ifndef MORV_LABELDECODER_H
#define MORV_LABELDECODER_H

#include <cstddef>
#include <cstdint>
#include <vector>

// The best labelling of a sequence under a label grammar: a first-order
// Viterbi over integer emission and transition weights, the one decoder of
// the character-based models' trainers, so that each trains against the
// labelling its model's grammar allows.
class LabelDecoder {
public:
    // Which label may follow which (allowed[previous * labels + label]), which
    // may begin a sequence and which may end it.
    struct Grammar {
        int labels;
        const bool* allowed;
        const bool* canStart;
        const bool* canEnd;
    };
    // Far below every real score; sums of a few stay far from overflow.
    static constexpr int64_t kImpossible = INT64_MIN / 4;

    // Labels the n positions (n > 0) of emission (n x labels) with transitions
    // (labels x labels: previous x label) into labels; forward and back are
    // scratch. On equal scores the lower label wins, at every position and at
    // the end.
    static void Best(const Grammar& grammar, const int64_t* emission, size_t n, const int32_t* transitions,
                     std::vector<int64_t>& forward, std::vector<uint8_t>& back, std::vector<uint8_t>& labels);
};

#endif
