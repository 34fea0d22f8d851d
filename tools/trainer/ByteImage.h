#ifndef MORV_TRAINER_BYTEIMAGE_H
#define MORV_TRAINER_BYTEIMAGE_H

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

// Appending the fields of a binary model image, as the engine's loaders read
// them: host byte order (little-endian hosts only, as the engine).
namespace byteimage {

template <class T> void Put(std::string& out, T v)
{
    char bytes[sizeof(T)];
    std::memcpy(bytes, &v, sizeof(T));
    out.append(bytes, sizeof(T));
}

template <class T> void PutAll(std::string& out, const std::vector<T>& v)
{
    if (!v.empty())
        out.append(reinterpret_cast<const char*>(v.data()), v.size() * sizeof(T));
}

// The header of the character-based models (charmodelfile::ReadHeader): the
// magic, the counts (the version first), the scale, a reserved zero and the
// transition weights.
inline void PutCharModelHeader(std::string& out, const char (&magic)[4], std::initializer_list<uint32_t> fields,
                               float scale, const int32_t* transitions, size_t transitionCount)
{
    out.append(magic, 4);
    for (uint32_t f : fields)
        Put<uint32_t>(out, f);
    Put<float>(out, scale);
    Put<uint32_t>(out, 0);
    for (size_t i = 0; i < transitionCount; ++i)
        Put<int32_t>(out, transitions[i]);
}

} // namespace byteimage

#endif
