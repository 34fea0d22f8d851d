#include "tools/trainer/ApartRuns.h"

#include <algorithm>
#include <utility>

#include "tools/trainer/ByteImage.h"
#include "tools/trainer/EntityAutomaton.h"

void ApartRuns::AddSentence(const std::vector<int32_t>& sentence, const std::vector<uint8_t>& nameLengths)
{
    ids.insert(ids.end(), sentence.begin(), sentence.end());
    lengths.insert(lengths.end(), nameLengths.begin(), nameLengths.end());
    lengths.resize(ids.size(), 0);
    ids.push_back(-1);
    lengths.push_back(0);
}

std::vector<CWordRuns::Run> ApartRuns::Runs(const std::vector<std::map<int, int32_t>>& roles) const
{
    const auto has = [&roles](int32_t id, int a, int b) {
        if (id < 0 || static_cast<size_t>(id) >= roles.size())
            return false;
        const auto& r = roles[static_cast<size_t>(id)];
        return r.count(a) != 0 || r.count(b) != 0;
    };
    // Run -> (seen, seen as one name).
    std::map<CWordRuns::Run, std::pair<int32_t, int32_t>> counts;
    for (size_t i = 0; i < ids.size(); ++i) {
        if (ids[i] < 0 || !has(ids[i], entityrole::kFirst, entityrole::kFirstPiece))
            continue;
        CWordRuns::Run run;
        run.fill(-1);
        run[0] = ids[i];
        for (int n = 2; n <= CWordRuns::kMaxWords && i + size_t(n) <= ids.size(); ++n) {
            const int32_t last = ids[i + size_t(n) - 1];
            if (last < 0)
                break;
            run[size_t(n) - 1] = last;
            if (!has(last, entityrole::kLast, entityrole::kLastPiece))
                continue;
            auto& c = counts[run];
            ++c.first;
            if (lengths[i] & (1u << n))
                ++c.second;
        }
    }
    std::vector<CWordRuns::Run> apart;
    for (const auto& c : counts)
        if (c.second.first >= kMinSeen && int64_t(c.second.second) * 10 < int64_t(c.second.first) * kMaxShareTenths)
            apart.push_back(c.first); // (the map keeps them in the engine's order)
    return apart;
}

std::string ApartRuns::Bytes(const std::vector<CWordRuns::Run>& runs)
{
    std::string out(CWordRuns::kMagic, 4);
    byteimage::Put<uint32_t>(out, CWordRuns::kVersion);
    byteimage::Put<uint32_t>(out, static_cast<uint32_t>(runs.size()));
    byteimage::Put<uint32_t>(out, 0);
    for (const CWordRuns::Run& r : runs)
        for (int32_t id : r)
            byteimage::Put<int32_t>(out, id);
    return out;
}
