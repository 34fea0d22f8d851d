// Placeholder until the taggers land.
#include "tagging/CTagTransitions.h"

bool CTagTransitions::Load(const char*, bool) { return false; }
int CTagTransitions::TagFrequency(int) const { return 0; }
long double CTagTransitions::TransitionProbability(int, int) const { return 0.00001L; }
