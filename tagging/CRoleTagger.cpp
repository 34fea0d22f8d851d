// Placeholder until the taggers land: recognises nothing.
#include "tagging/CRoleTagger.h"

bool CRoleTagger::Load(const char*) { return false; }
int CRoleTagger::Recognize(TokenRecord*, int&, int) const { return 0; }
int CRoleTagger::Next(int, int) const { return -1; }
