#include "engine/ConfigFile.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>

size_t ReadConfigFile(const char* path, std::unique_ptr<char[]>& text)
{
    text.reset();
    if (path == nullptr)
        return 0;
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr)
        return 0;
    struct stat st {};
    if (fstat(fileno(file), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) {
        std::fclose(file);
        return 0;
    }
    const size_t size = static_cast<size_t>(st.st_size);
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[size + 1]);
    if (!buffer) {
        std::fclose(file);
        return 0;
    }
    // A file that shrank under us still yields a clean, NUL-terminated text.
    size_t got = std::fread(buffer.get(), 1, size, file);
    std::fclose(file);
    std::memset(buffer.get() + got, 0, size + 1 - got);
    text = std::move(buffer);
    return size;
}

bool GetConfigValue(const char* text, const char* key, char* value)
{
    if (text == nullptr || key == nullptr || value == nullptr)
        return false;
    // The marker buffer holds 256 bytes: a key name of at most 254 bytes, ">" and NUL.
    const size_t keyLength = std::strlen(key);
    if (keyLength > 254)
        return false;
    const std::string marker = std::string(key) + ">";
    const char* found = std::strstr(text, marker.c_str());
    if (found == nullptr)
        return false;
    const char* begin = found + marker.size();
    const std::string closing = std::string("</") + key;
    const char* stop = std::strstr(begin, closing.c_str());
    const size_t length = stop != nullptr ? static_cast<size_t>(stop - begin) : std::strlen(begin);
    std::memcpy(value, begin, length);
    value[length] = '\0';
    return true;
}
