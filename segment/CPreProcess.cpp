#include "segment/CPreProcess.h"

CPreProcess::CPreProcess(const CCharset* charset, const CPDAT* coreDict, const CPDAT* userDict)
    : charset(charset), coreDict(coreDict), userDict(userDict)
{
}
const char* CPreProcess::SplitAtoms(const char* text) { return text; }
const char* CPreProcess::BuildLattice(const char* text) { return SplitAtoms(text); }
bool CPreProcess::SetUserDict(const CPDAT* dict)
{
    userDict = dict;
    return true;
}
