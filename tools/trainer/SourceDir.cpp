#include "tools/trainer/SourceDir.h"

#include <climits>
#include <sys/stat.h>
#include <unistd.h>

std::string ChooseSourceDir(const std::string& programDir, const std::string& installedRelative,
                            const std::string& builtIn)
{
    if (programDir.empty() || installedRelative.empty())
        return builtIn;
    const std::string installed = programDir + "/" + installedRelative;
    struct stat st {};
    if (::stat((installed + "/charclasses.txt").c_str(), &st) == 0 && S_ISREG(st.st_mode))
        return installed;
    return builtIn;
}

std::string DefaultSourceDir(const std::string& installedRelative, const std::string& builtIn)
{
    char exe[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    std::string dir;
    if (n > 0) {
        dir.assign(exe, static_cast<size_t>(n));
        const size_t slash = dir.rfind('/');
        dir = slash == std::string::npos ? std::string() : dir.substr(0, slash);
    }
    return ChooseSourceDir(dir, installedRelative, builtIn);
}
