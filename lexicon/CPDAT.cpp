// Placeholder until the trie lands: an empty dictionary that loads nothing.
#include "lexicon/CPDAT.h"

CPDAT::CPDAT() = default;
CPDAT::~CPDAT() = default;
bool CPDAT::Load(const char*) { return false; }
bool CPDAT::Save(const char*) const { return false; }
int CPDAT::BuildFromWordList(const char*, const CPDAT*) { return 0; }
int CPDAT::ExactMatch(const char*) const { return -1; }
int CPDAT::ExactMatch(const char*, int) const { return -1; }
int CPDAT::CharacterWord(int) const { return -1; }
int CPDAT::LongestMatch(const char*, int* value) const
{
    if (value)
        *value = -1;
    return 0;
}
int CPDAT::AllPrefixMatches(const char*, std::vector<int>& values, std::vector<int>& lengths, int) const
{
    values.clear();
    lengths.clear();
    return 0;
}
int CPDAT::GetCode(int) const { return -1; }
