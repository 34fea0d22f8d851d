#include "tools/trainer/NameModelWriter.h"

#include "tagging/CNameModel.h"
#include "tools/trainer/ByteImage.h"
#include "tools/trainer/ModelWriter.h"

namespace {

using N = CNameModel;
constexpr int kL = N::kLabelCount;
constexpr int kW = N::kRowWidth;

using byteimage::PutAll;

} // namespace

std::string NameModelWriter::Serialize(const Image& m)
{
    const size_t k = static_cast<size_t>(m.classCount);
    const size_t rows = m.charKeys.size() + N::kReservedRows;
    if (m.classCount < 2 || m.classCount > N::kMaxClasses || m.classes.size() != N::kKeyCount ||
        m.charKeys.size() > static_cast<size_t>(N::kMaxChars) || m.transitions.size() != size_t(kL) * kL ||
        m.unigram.size() != rows * N::kUnigramWeights || m.classTrigram.size() != k * k * k * kW ||
        m.pairWeights.size() != m.pairKeys.size() * N::kPairWeights || m.lexWeights.size() != N::kLexWeights ||
        m.lexClasses.size() != m.lexKeys.size() || m.lexContexts.size() != m.lexKeys.size() ||
        m.contextWeights.size() != N::kContextWeights)
        return {};
    std::string out;
    byteimage::PutCharModelHeader(out, N::kMagic,
                                  {N::kVersion, static_cast<uint32_t>(kL), static_cast<uint32_t>(m.classCount),
                                   static_cast<uint32_t>(m.charKeys.size()), static_cast<uint32_t>(m.pairKeys.size()),
                                   static_cast<uint32_t>(m.lexKeys.size())},
                                  m.scale, m.transitions.data(), m.transitions.size());
    PutAll(out, m.classes);
    PutAll(out, m.charKeys);
    PutAll(out, m.unigram);
    PutAll(out, m.classTrigram);
    PutAll(out, m.pairKeys);
    PutAll(out, m.pairWeights);
    PutAll(out, m.lexWeights);
    PutAll(out, m.contextWeights);
    PutAll(out, m.lexKeys);
    PutAll(out, m.lexClasses);
    PutAll(out, m.lexContexts);
    return out;
}

bool NameModelWriter::Write(const std::string& path, const Image& image)
{
    const std::string bytes = Serialize(image);
    return !bytes.empty() && ModelWriter::WriteBytes(path, bytes);
}
