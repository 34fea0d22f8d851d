#include "EngineCalls.h"

#include "engine/Engine.h"

namespace {

bool CallExit()
{
    return EngineExit();
}

const EngineCalls kEngine = {EngineInit, CallExit, EngineWriteHtml, EngineImportUserDict};
EngineCalls current = kEngine;

} // namespace

EngineCalls& EngineCalls::Current()
{
    return current;
}

void EngineCalls::Reset()
{
    current = kEngine;
}
