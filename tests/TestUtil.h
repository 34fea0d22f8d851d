#ifndef MORV_TESTS_TESTUTIL_H
#define MORV_TESTS_TESTUTIL_H

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

// A fresh directory below the system's temporary directory, removed afterwards.
struct TempDir {
    std::string path;
    TempDir()
    {
        char pattern[] = "/tmp/morv-test-XXXXXX";
        const char* made = mkdtemp(pattern);
        path = made != nullptr ? made : "/tmp";
    }
    ~TempDir()
    {
        if (path != "/tmp")
            std::system(("rm -rf '" + path + "'").c_str());
    }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
};

inline void WriteFile(const std::string& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary);
    out << content;
}

inline std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool FileExists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

inline void MakeDir(const std::string& path) { ::mkdir(path.c_str(), 0755); }

#endif
