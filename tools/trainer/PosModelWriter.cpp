#include "tools/trainer/PosModelWriter.h"
#include "tools/trainer/ByteImage.h"

#include <cstring>

#include "tools/trainer/ModelWriter.h"

namespace {

using byteimage::Put;
using byteimage::PutAll;

} // namespace

std::string PosModelWriter::Serialize(const Image& m)
{
    using M = CPosModel;
    const size_t k = m.tagCodes.size();
    size_t hashed = 0;
    for (const auto& keys : m.hashedKeys)
        hashed += keys.size();
    const size_t rows = M::kWordTemplates * size_t(m.wordCount) + M::kCharTemplates * m.charKeys.size() + hashed;
    if (k < 1 || k > static_cast<size_t>(M::kMaxTags) || m.openTags.empty() || m.openTags.size() > k ||
        m.expansions.size() > M::kMaxExpansions || m.unfoldedWords.size() > M::kMaxUnfolded ||
        m.transitions.size() != k * k ||
        m.charKeys.size() > M::kMaxChars || m.rowStarts.size() != rows + 1 ||
        m.entryTags.size() != m.entryWeights.size() || m.rowStarts.back() != m.entryTags.size())
        return {};
    std::string out(M::kMagic, 4);
    Put<uint32_t>(out, M::kVersion);
    Put<uint32_t>(out, static_cast<uint32_t>(k));
    Put<uint32_t>(out, static_cast<uint32_t>(m.openTags.size()));
    Put<uint32_t>(out, static_cast<uint32_t>(m.expansions.size()));
    Put<uint32_t>(out, m.wordCount);
    Put<uint32_t>(out, static_cast<uint32_t>(m.charKeys.size()));
    Put<uint32_t>(out, static_cast<uint32_t>(m.entryTags.size()));
    Put<float>(out, m.scale);
    Put<uint32_t>(out, static_cast<uint32_t>(m.unfoldedWords.size()));
    for (int t = 0; t < M::kHashedSlots; ++t)
        Put<uint32_t>(out, t < M::kHashedTemplates ? static_cast<uint32_t>(m.hashedKeys[t].size()) : 0);
    out.append(static_cast<size_t>(M::kHeaderBytes) - out.size(), '\0');
    PutAll(out, m.tagCodes);
    PutAll(out, m.openTags);
    for (const auto& e : m.expansions) {
        out.push_back(static_cast<char>(e.first));
        out.push_back(static_cast<char>(e.second));
    }
    PutAll(out, m.unfoldedWords);
    PutAll(out, m.transitions);
    PutAll(out, m.charKeys);
    for (const auto& keys : m.hashedKeys)
        PutAll(out, keys);
    // Rows as their lengths: a row holds a model tag at most once.
    for (size_t r = 0; r < rows; ++r) {
        if (m.rowStarts[r + 1] < m.rowStarts[r] || m.rowStarts[r + 1] - m.rowStarts[r] > k)
            return {};
        out.push_back(static_cast<char>(m.rowStarts[r + 1] - m.rowStarts[r]));
    }
    PutAll(out, m.entryTags);
    PutAll(out, m.entryWeights);
    return out;
}

bool PosModelWriter::Write(const std::string& path, const Image& image)
{
    const std::string bytes = Serialize(image);
    return !bytes.empty() && ModelWriter::WriteBytes(path, bytes);
}
