#include "lexicon/CUserWordRun.h"

#include <new>

namespace {

// Runs this large get the first-character table: 256 KiB that saves the
// binary search of the first step.
constexpr size_t kKeyTableFrom = 4096;
constexpr uint32_t kKeyCount = 65536;

// Key of the first character of a word in byte order, as the lookups number it.
uint32_t FirstKey(std::string_view w)
{
    const unsigned char c = static_cast<unsigned char>(w[0]);
    if (c < 0x80)
        return c;
    // A word that is a lone lead byte sorts before that lead byte's pairs.
    return w.size() < 2 ? c * 256u : c * 256u + static_cast<unsigned char>(w[1]);
}

// Byte order, unsigned (char_traits compare as memcmp does).
int CompareBytes(std::string_view a, std::string_view b) { return a.compare(b); }

} // namespace

CUserWordRun::CUserWordRun(std::string texts, std::vector<uint32_t> starts, std::vector<UserWord> words)
    : texts(std::move(texts)), starts(std::move(starts)), words(std::move(words))
{
    if (this->starts.size() != this->words.size() + 1) {
        // Not a run: the empty one instead.
        this->texts.clear();
        this->starts.assign(1, 0);
        this->words.clear();
    }
    if (this->words.size() < kKeyTableFrom)
        return;
    keyStart.assign(kKeyCount + 1, 0);
    // Counts per key, then where each key's words begin.
    for (size_t i = 0; i < this->words.size(); ++i) {
        const std::string_view w = Text(i);
        if (!w.empty())
            ++keyStart[FirstKey(w) + 1];
    }
    // The empty text sorts first and belongs to no key.
    uint32_t sum = Size() > 0 && Text(0).empty() ? 1 : 0;
    for (uint32_t k = 0; k <= kKeyCount; ++k) {
        sum += keyStart[k];
        keyStart[k] = sum;
    }
}

void CUserWordRun::Narrow(const unsigned char* text, uint32_t depth, uint32_t bytes, size_t* lo, size_t* hi) const
{
    // Order of word i against the text over bytes depth .. depth + bytes: a word
    // that ends first is smaller.
    const auto order = [&](size_t i) {
        const uint32_t from = starts[i] + depth;
        const uint32_t end = starts[i + 1];
        for (uint32_t k = 0; k < bytes; ++k) {
            if (from + k >= end)
                return -1;
            const unsigned char w = static_cast<unsigned char>(texts[from + k]);
            if (w != text[depth + k])
                return w < text[depth + k] ? -1 : 1;
        }
        return 0;
    };
    size_t a = *lo, b = *hi;
    // First word not below the text's bytes.
    while (a < b) {
        const size_t m = a + (b - a) / 2;
        if (order(m) < 0)
            a = m + 1;
        else
            b = m;
    }
    size_t c = a, d = *hi;
    // First word above them.
    while (c < d) {
        const size_t m = c + (d - c) / 2;
        if (order(m) <= 0)
            c = m + 1;
        else
            d = m;
    }
    *lo = a;
    *hi = c;
}

const UserWord* CUserWordRun::Find(std::string_view text) const
{
    size_t a = 0, b = words.size();
    if (!text.empty() && !keyStart.empty()) {
        const uint32_t key = FirstKey(text);
        a = keyStart[key];
        b = keyStart[key + 1];
    }
    while (a < b) {
        const size_t m = a + (b - a) / 2;
        if (CompareBytes(Text(m), text) < 0)
            a = m + 1;
        else
            b = m;
    }
    return a < words.size() && Text(a) == text ? &words[a] : nullptr;
}

std::shared_ptr<const CUserWordRun> CUserWordRun::Merge(const CUserWordRun& older, const CUserWordRun& newer)
{
    std::string texts;
    std::vector<uint32_t> starts;
    std::vector<UserWord> words;
    const size_t most = older.Size() + newer.Size();
    if (older.texts.size() > UINT32_MAX - newer.texts.size())
        throw std::bad_alloc();
    texts.reserve(older.texts.size() + newer.texts.size());
    starts.reserve(most + 1);
    words.reserve(most);
    starts.push_back(0);
    const auto take = [&](const CUserWordRun& run, size_t i) {
        const std::string_view w = run.Text(i);
        texts.append(w.data(), w.size());
        starts.push_back(static_cast<uint32_t>(texts.size()));
        words.push_back(run.words[i]);
    };
    size_t i = 0, j = 0;
    while (i < older.Size() || j < newer.Size()) {
        if (j == newer.Size()) {
            take(older, i++);
        } else if (i == older.Size()) {
            take(newer, j++);
        } else {
            const int c = CompareBytes(older.Text(i), newer.Text(j));
            if (c < 0) {
                take(older, i++);
            } else {
                take(newer, j++);
                if (c == 0)
                    ++i; // the newer word replaces it
            }
        }
    }
    texts.shrink_to_fit();
    starts.shrink_to_fit();
    words.shrink_to_fit();
    return std::make_shared<CUserWordRun>(std::move(texts), std::move(starts), std::move(words));
}
