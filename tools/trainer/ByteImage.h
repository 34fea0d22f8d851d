#ifndef MORV_TRAINER_BYTEIMAGE_H
#define MORV_TRAINER_BYTEIMAGE_H

#include <cstring>
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

} // namespace byteimage

#endif
