// Fuzz target for the configuration reader: the input is a Configure.xml text.
// Every key the engine reads is looked up with a value buffer of the size the
// reader promises (the text's length plus one), a text is refused exactly when
// a fault is reported, and a value never holds more than the text.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "engine/ConfigFile.h"
#include "fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = fuzzinput::TempPath("ConfigFile");
    fuzzinput::WriteAll(path, data, size);
    std::unique_ptr<char[]> text;
    const size_t read = ReadConfigFile(path.c_str(), text);
    const std::string given(reinterpret_cast<const char*>(data), size);
    const std::string problem = ConfigTextProblem(given.c_str());
    if ((read != 0) != (size > 0 && problem.empty()))
        std::abort();
    if ((read == 0) == ConfigFileProblem(path.c_str()).empty())
        std::abort();
    static const char* const keys[] = {"DataPath", "TagSet",     "POSDelimiter", "WordBoundary", "Merge",
                                       "Log",      "UserDict",   "POS",          "NewWords",     "PlaceNames",
                                       "NewPos",   "WebText",    "Configure",    "a"};
    const size_t length = std::strlen(given.c_str());
    std::unique_ptr<char[]> value(new char[length + 1]);
    for (const char* key : keys) {
        if (GetConfigValue(given.c_str(), key, value.get()) && std::strlen(value.get()) > length)
            std::abort();
    }
    return 0;
}
