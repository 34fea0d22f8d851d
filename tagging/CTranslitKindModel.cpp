#include "tagging/CTranslitKindModel.h"

#include <algorithm>
#include <cstring>

#include "lexicon/BinaryFile.h"

namespace {

int16_t I16(const unsigned char* p) { return static_cast<int16_t>(p[0] | p[1] << 8); }

// Byte offsets of the characters of text[from, to), cut as the engine cuts GBK.
void Cut(const char* text, int from, int to, std::vector<int>& at)
{
    for (int p = from; p < to;) {
        at.push_back(p);
        p += static_cast<unsigned char>(text[p]) >= 0x80 && p + 1 < to ? 2 : 1;
    }
}

} // namespace

constexpr char CTranslitKindModel::kMagic[4];

uint32_t CTranslitKindModel::Key(const char* kind, const char* bytes, int count)
{
    // FNV-1a over the kind, a separator and the characters.
    uint32_t h = 2166136261u;
    const auto add = [&h](unsigned char c) {
        h ^= c;
        h *= 16777619u;
    };
    for (const char* k = kind; *k != '\0'; ++k)
        add(static_cast<unsigned char>(*k));
    add(0);
    for (int i = 0; i < count; ++i)
        add(static_cast<unsigned char>(bytes[i]));
    return h;
}

void CTranslitKindModel::Features(const char* text, int length, int start, int end, std::vector<uint32_t>& out,
                                  Word previous, Word next)
{
    if (text == nullptr || start < 0 || end > length || end <= start)
        return;
    std::vector<int> in;
    Cut(text, start, end, in);
    in.push_back(end);
    const int n = static_cast<int>(in.size()) - 1;
    const auto span = [&](const char* kind, int a, int b) { // characters [a, b) of the name
        out.push_back(Key(kind, text + in[static_cast<size_t>(a)], in[static_cast<size_t>(b)] - in[static_cast<size_t>(a)]));
    };
    out.push_back(Key("B", nullptr, 0));
    span("W", 0, n);
    static const char* const kEnds[] = {"E1", "E2", "E3"};
    static const char* const kStarts[] = {"S1", "S2"};
    for (int k = 1; k <= 3 && k <= n; ++k)
        span(kEnds[k - 1], n - k, n);
    for (int k = 1; k <= 2 && k <= n; ++k)
        span(kStarts[k - 1], 0, k);
    for (int c = 0; c + 2 <= n; ++c)
        span("G", c, c + 2);
    const char lengthKey = static_cast<char>('0' + std::min(n, 6));
    out.push_back(Key("L", &lengthKey, 1));

    // Up to two characters on each side. Those before are cut from the
    // text's start: a GBK trail byte may look like a lead byte, so no later
    // point is known to begin a character.
    std::vector<int> before;
    Cut(text, 0, start, before);
    before.push_back(start);
    const int b = static_cast<int>(before.size()) - 1;
    if (b >= 1)
        out.push_back(Key("P1", text + before[static_cast<size_t>(b - 1)], start - before[static_cast<size_t>(b - 1)]));
    if (b >= 2)
        out.push_back(Key("P2", text + before[static_cast<size_t>(b - 2)], start - before[static_cast<size_t>(b - 2)]));
    std::vector<int> after;
    Cut(text, end, std::min(length, end + 4), after);
    after.push_back(std::min(length, end + 4));
    const int a = static_cast<int>(after.size()) - 1;
    if (a >= 1)
        out.push_back(Key("N1", text + end, after[1] - end));
    if (a >= 2)
        out.push_back(Key("N2", text + end, after[2] - end));
    if (previous.start >= 0 && previous.start < previous.end && previous.end <= start)
        out.push_back(Key("PW", text + previous.start, previous.end - previous.start));
    if (next.start >= end && next.start < next.end && next.end <= length)
        out.push_back(Key("NW", text + next.start, next.end - next.start));
}

int CTranslitKindModel::Weight(uint32_t key) const
{
    const auto it = std::lower_bound(keys.begin(), keys.end(), key);
    return it != keys.end() && *it == key ? weights[static_cast<size_t>(it - keys.begin())] : 0;
}

int CTranslitKindModel::Score(const char* text, int length, int start, int end, Word previous, Word next) const
{
    std::vector<uint32_t> features;
    Features(text, length, start, end, features, previous, next);
    int sum = 0;
    for (uint32_t f : features)
        sum += Weight(f);
    return sum;
}

bool CTranslitKindModel::Load(const char* path)
{
    std::vector<unsigned char> bytes;
    uint32_t count = 0;
    if (!BinaryFile::ReadRecords(path, kMagic, kVersion, kMaxCount, kRecordBytes, bytes, count))
        return false;
    std::vector<uint32_t> newKeys(count);
    std::vector<int16_t> newWeights(count);
    for (uint32_t i = 0; i < count; ++i) {
        const unsigned char* r = &bytes[kHeaderBytes + static_cast<size_t>(i) * kRecordBytes];
        const uint32_t key = BinaryFile::U32At(r);
        const int16_t w = I16(r + 4);
        if ((i > 0 && key <= newKeys[i - 1]) || I16(r + 6) != 0 || w < -kMaxWeight || w > kMaxWeight)
            return false;
        newKeys[i] = key;
        newWeights[i] = w;
    }
    keys.swap(newKeys);
    weights.swap(newWeights);
    loaded = true;
    return true;
}
