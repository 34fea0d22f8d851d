#ifndef MORV_TRAINER_SOURCEDIR_H
#define MORV_TRAINER_SOURCEDIR_H

#include <string>

// Where the trainer's readable sources (charclasses.txt, tagset.txt,
// Configure.xml) are when --data is not given. An installed program takes the
// copy installed with it, found at installedRelative from its own directory, so
// that it works after the source tree is gone and after the prefix is moved; a
// program in the build tree takes the source tree's data/ (builtIn).
std::string DefaultSourceDir(const std::string& installedRelative, const std::string& builtIn);

// The choice itself, for a program in programDir.
std::string ChooseSourceDir(const std::string& programDir, const std::string& installedRelative,
                            const std::string& builtIn);

#endif
