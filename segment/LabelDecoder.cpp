#include "segment/LabelDecoder.h"

void LabelDecoder::Best(const Grammar& g, const int64_t* emission, size_t n, const int32_t* transitions,
                        std::vector<int64_t>& forward, std::vector<uint8_t>& back, std::vector<uint8_t>& labels)
{
    const size_t k = static_cast<size_t>(g.labels);
    forward.resize(n * k);
    back.resize(n * k);
    labels.resize(n);
    if (n == 0)
        return;
    for (size_t l = 0; l < k; ++l)
        forward[l] = g.canStart[l] ? emission[l] : kImpossible;
    for (size_t i = 1; i < n; ++i) {
        const int64_t* p = &forward[(i - 1) * k];
        int64_t* c = &forward[i * k];
        for (size_t l = 0; l < k; ++l) {
            int64_t best = kImpossible;
            uint8_t from = 0;
            for (size_t q = 0; q < k; ++q) {
                if (!g.allowed[q * k + l] || p[q] <= kImpossible)
                    continue;
                const int64_t v = p[q] + transitions[q * k + l];
                if (v > best) {
                    best = v;
                    from = static_cast<uint8_t>(q);
                }
            }
            c[l] = best <= kImpossible ? kImpossible : best + emission[i * k + l];
            back[i * k + l] = from;
        }
    }
    const int64_t* last = &forward[(n - 1) * k];
    size_t label = 0;
    int64_t best = kImpossible;
    bool found = false;
    for (size_t l = 0; l < k; ++l)
        if (g.canEnd[l] && last[l] > kImpossible && (!found || last[l] > best)) {
            best = last[l];
            label = l;
            found = true;
        }
    for (size_t i = n; i-- > 0;) {
        labels[i] = static_cast<uint8_t>(label);
        label = back[i * k + label];
    }
}
