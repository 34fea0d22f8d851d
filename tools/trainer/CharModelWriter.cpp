#include "tools/trainer/CharModelWriter.h"
#include "tools/trainer/ByteImage.h"

#include "tools/trainer/ModelWriter.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "segment/CCharModel.h"

namespace {

using byteimage::PutAll;

} // namespace

std::string CharModelWriter::Serialize(const Image& m)
{
    using M = CCharModel;
    const size_t k = static_cast<size_t>(m.classCount);
    const size_t rows = m.charKeys.size() + M::kReservedRows;
    if (m.classCount < 2 || m.classCount > M::kMaxClasses || m.classes.size() != M::kKeyCount ||
        m.unigram.size() != rows * M::kUnigramWeights || m.classTrigram.size() != k * k * k * M::kLabelCount ||
        m.repeat.size() != static_cast<size_t>(M::kRepeatWeights) ||
        m.pairWeights.size() != m.pairKeys.size() * M::kPairWeights ||
        m.skipWeights.size() != m.skipKeys.size() * M::kSkipWeights)
        return {};
    std::string out;
    byteimage::PutCharModelHeader(out, M::kMagic,
                                  {M::kVersion, static_cast<uint32_t>(m.classCount),
                                   static_cast<uint32_t>(m.charKeys.size()), static_cast<uint32_t>(m.pairKeys.size()),
                                   static_cast<uint32_t>(m.skipKeys.size())},
                                  m.scale, m.transitions, 16);
    PutAll(out, m.classes);
    PutAll(out, m.charKeys);
    PutAll(out, m.unigram);
    PutAll(out, m.classTrigram);
    PutAll(out, m.repeat);
    PutAll(out, m.pairKeys);
    PutAll(out, m.pairWeights);
    PutAll(out, m.skipKeys);
    PutAll(out, m.skipWeights);
    return out;
}

bool CharModelWriter::Write(const std::string& path, const Image& image)
{
    const std::string bytes = Serialize(image);
    return !bytes.empty() && WriteAtomically(path, bytes);
}

bool CharModelWriter::WriteAtomically(const std::string& path, const std::string& bytes)
{
    // Through the model writer, so the file joins the run's other models: replaced
    // together with them, or not at all.
    return ModelWriter::WriteBytes(path, bytes);
}
