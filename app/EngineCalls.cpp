#include "EngineCalls.h"

#include "LibraryEngine.h"

namespace {

EngineCalls* installed = nullptr;

} // namespace

EngineCalls::Analyzer::~Analyzer() = default;

EngineCalls::~EngineCalls() = default;

EngineCalls& EngineCalls::Current()
{
    static LibraryEngine library;
    return installed != nullptr ? *installed : library;
}

void EngineCalls::Install(EngineCalls* engine)
{
    installed = engine;
}
