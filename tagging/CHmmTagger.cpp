// Placeholder until the taggers land: every token gets the default tag.
#include "tagging/CHmmTagger.h"

CHmmTagger::CHmmTagger(const CPosLexicon* lexicon, const CTagTransitions* transitions,
                       double vocabularySize, uint8_t defaultTag)
    : lexicon(lexicon), transitions(transitions), vocabularySize(vocabularySize),
      defaultEntry{defaultTag, 0}
{
}

int CHmmTagger::Tag(TokenRecord* items, int count)
{
    for (int i = 0; i < count; ++i)
        items[i].tag = defaultEntry.tag;
    return 0;
}
