#include "tools/trainer/ModelWriter.h"

#include <algorithm>
#include <cstdio>

void ModelWriter::Put(std::string& out, int32_t v)
{
    uint32_t u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((u >> (8 * i)) & 0xFF));
}

bool ModelWriter::WriteBytes(const std::string& path, const std::string& bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

bool ModelWriter::WriteUnigram(const std::string& path, const std::vector<int32_t>& frequencies)
{
    std::string out;
    int64_t total = 0;
    for (int32_t f : frequencies)
        total += f;
    Put(out, static_cast<int32_t>(frequencies.size()));
    Put(out, static_cast<int32_t>(frequencies.size()) - 1);
    Put(out, static_cast<int32_t>(total));
    for (int32_t f : frequencies)
        Put(out, f);
    return WriteBytes(path, out);
}

bool ModelWriter::WriteBigram(const std::string& path, int rowCount,
                              const std::map<std::pair<int32_t, int32_t>, int32_t>& pairs)
{
    std::string out;
    Put(out, static_cast<int32_t>(pairs.size()));
    Put(out, rowCount);
    std::vector<std::pair<int32_t, int32_t>> rows(static_cast<size_t>(rowCount), {-1, -1});
    int32_t index = 0;
    for (const auto& p : pairs) { // std::map order: by first, then by second id
        Put(out, p.first.second);
        Put(out, p.second);
        auto& row = rows.at(static_cast<size_t>(p.first.first));
        if (row.first < 0)
            row.first = index;
        row.second = index;
        ++index;
    }
    for (const auto& r : rows) {
        Put(out, r.first);
        Put(out, r.second);
    }
    return WriteBytes(path, out);
}

bool ModelWriter::WriteLexicon(const std::string& path, const std::vector<LexiconEntries>& words)
{
    std::string entries, index;
    int32_t m = 0;
    for (const LexiconEntries& w : words) {
        if (w.empty()) {
            Put(index, -1);
            Put(index, 0);
            continue;
        }
        Put(index, m);
        Put(index, static_cast<int32_t>(w.size()));
        for (const auto& e : w) {
            entries.push_back(static_cast<char>(e.first));
            entries.append(3, '\0');
            Put(entries, e.second);
            ++m;
        }
    }
    std::string out;
    Put(out, m);
    Put(out, static_cast<int32_t>(words.size()));
    return WriteBytes(path, out + entries + index);
}

bool ModelWriter::WriteContext(const std::string& path, int tagCount, const std::vector<int32_t>& frequencies,
                               const std::vector<int32_t>& counts)
{
    if (tagCount < 0 || tagCount > 255 || frequencies.size() != static_cast<size_t>(tagCount) ||
        counts.size() != static_cast<size_t>(tagCount) * static_cast<size_t>(tagCount))
        return false;
    std::string out(1, static_cast<char>(tagCount));
    int64_t total = 0;
    for (int32_t f : frequencies)
        total += f;
    Put(out, static_cast<int32_t>(total));
    for (int32_t f : frequencies)
        Put(out, f);
    for (int32_t c : counts)
        Put(out, c);
    return WriteBytes(path, out);
}

bool ModelWriter::WriteAutomaton(const std::string& path, int symbolCount, const std::vector<int32_t>& accepting,
                                 const std::vector<int32_t>& outputs, const std::vector<int32_t>& transitions)
{
    size_t states = accepting.size();
    if (outputs.size() != states || transitions.size() != states * static_cast<size_t>(symbolCount))
        return false;
    std::string out;
    Put(out, symbolCount);
    Put(out, static_cast<int32_t>(states));
    for (int32_t a : accepting)
        Put(out, a);
    for (int32_t o : outputs)
        Put(out, o);
    for (int32_t t : transitions)
        Put(out, t);
    return WriteBytes(path, out);
}

ModelWriter::LexiconEntries ModelWriter::SortedEntries(const std::map<int, int32_t>& counts)
{
    LexiconEntries e;
    for (const auto& c : counts)
        e.emplace_back(static_cast<uint8_t>(c.first), c.second);
    std::stable_sort(e.begin(), e.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    return e;
}
