#include "engine/ConfigFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>

#include "engine/ConfigReader.h"

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
    if (!ConfigReader(buffer.get(), nullptr).Problem().empty())
        return 0;
    text = std::move(buffer);
    return size;
}

bool GetConfigValue(const char* text, const char* key, char* value)
{
    if (text == nullptr || key == nullptr || value == nullptr)
        return false;
    const ConfigReader reader(text, key);
    if (!reader.Found())
        return false;
    std::memcpy(value, reader.Value().data(), reader.Value().size());
    value[reader.Value().size()] = '\0';
    return true;
}

std::string ConfigTextProblem(const char* text)
{
    return text == nullptr ? std::string() : ConfigReader(text, nullptr).Problem();
}

std::string ConfigFileProblem(const char* path)
{
    struct stat st {};
    if (path == nullptr)
        return std::strerror(EINVAL);
    if (::stat(path, &st) != 0)
        return std::strerror(errno);
    if (S_ISDIR(st.st_mode))
        return std::strerror(EISDIR);
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr)
        return std::strerror(errno);
    std::string text;
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        text.append(chunk, n);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed)
        return std::strerror(EIO);
    if (!S_ISREG(st.st_mode))
        return "not a regular file";
    if (text.empty())
        return "the file is empty";
    const std::string problem = ConfigTextProblem(text.c_str());
    return problem.empty() ? std::string() : "not well-formed XML: " + problem;
}
