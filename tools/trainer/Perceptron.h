#ifndef MORV_TRAINER_PERCEPTRON_H
#define MORV_TRAINER_PERCEPTRON_H

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

// What the averaged-perceptron trainers (new words, names, part of speech)
// share: their training order, the update of a labelled sequence, the
// average and the quantisation of a weight. One definition, so that the three
// cannot drift apart.
namespace perceptron {

// splitmix64: a fixed seed gives every run the same order.
inline uint64_t NextRandom(uint64_t& state)
{
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// The indices 0 .. count - 1, to be shuffled before every epoch.
inline std::vector<size_t> FirstOrder(size_t count)
{
    std::vector<size_t> order(count);
    for (size_t i = 0; i < count; ++i)
        order[i] = i;
    return order;
}

// Fisher-Yates with the generator above.
inline void Shuffle(std::vector<size_t>& order, uint64_t& state)
{
    for (size_t i = order.size(); i > 1; --i)
        std::swap(order[i - 1], order[NextRandom(state) % i]);
}

// The average over all steps of a weight w whose updates, each weighted by the
// step it was made at, sum to u: w - u / clock, exact until here.
inline double Averaged(int64_t w, int64_t u, int64_t clock)
{
    return static_cast<double>(w) - static_cast<double>(u) / static_cast<double>(clock);
}

// A weight in the files' 16 bits: scaled, rounded and held within +-bound.
inline int16_t Quantise(double v, double scale, double bound = 32767.0)
{
    const double q = std::nearbyint(v / scale);
    return static_cast<int16_t>(std::max(-bound, std::min(bound, q)));
}

// One update of a sequence labelled with `labels` labels: for every position
// the decoder got wrong, the weights of its features (features(i, blocks)
// fills blocks with the first weight of each feature's row of `labels` and
// returns how many) move towards the gold label and away from the predicted
// one, and so do the transitions into and out of it. The sums move by the
// step `clock`. Returns whether any position was wrong.
template <class Features>
bool Update(const uint8_t* gold, const uint8_t* predicted, int length, size_t labels, int64_t clock,
            int32_t* weights, int64_t* weightSums, int32_t* transitions, int64_t* transitionSums, int32_t* blocks,
            Features features)
{
    bool wrong = false;
    for (int i = 0; i < length; ++i) {
        const uint8_t g = gold[i], p = predicted[i];
        if (i > 0) {
            const uint8_t gp = gold[i - 1], pp = predicted[i - 1];
            if (g != p || gp != pp) {
                transitions[size_t(gp) * labels + g] += 1;
                transitionSums[size_t(gp) * labels + g] += clock;
                transitions[size_t(pp) * labels + p] -= 1;
                transitionSums[size_t(pp) * labels + p] -= clock;
            }
        }
        if (g == p)
            continue;
        wrong = true;
        const int m = features(i, blocks);
        for (int b = 0; b < m; ++b) {
            weights[size_t(blocks[b]) + g] += 1;
            weightSums[size_t(blocks[b]) + g] += clock;
            weights[size_t(blocks[b]) + p] -= 1;
            weightSums[size_t(blocks[b]) + p] -= clock;
        }
    }
    return wrong;
}

// The training passes: `epochs` passes over sentences 0 .. count - 1, each in
// an order shuffled anew (the generator starts from seed, so every run trains
// alike). trainOne(index) decodes and updates one sentence and returns how much
// it got wrong; the clock steps once a sentence; epochDone(epoch), when given,
// follows every pass. Returns the last pass's sum of what trainOne returned.
template <class TrainOne>
size_t Epochs(int epochs, size_t count, uint64_t seed, int64_t& clock, TrainOne trainOne,
              const std::function<void(int)>& epochDone)
{
    std::vector<size_t> order = FirstOrder(count);
    uint64_t random = seed;
    size_t wrong = 0;
    for (int epoch = 1; epoch <= epochs; ++epoch) {
        Shuffle(order, random);
        wrong = 0;
        for (size_t index : order) {
            wrong += trainOne(index);
            ++clock;
        }
        if (epochDone)
            epochDone(epoch);
    }
    return wrong;
}

} // namespace perceptron

#endif
