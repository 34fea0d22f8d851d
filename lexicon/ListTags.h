#ifndef MORV_LISTTAGS_H
#define MORV_LISTTAGS_H

#include <string>

// Word lists written for other analysers carry tags of their own beside ours;
// jieba's dictionary, the list most users have, uses 15 the corpus tag set
// lacks. Each stands for the tag of ours below (a list's tag that our set has
// stands as it is; only the others are looked up here):
//
//   nrt nrfg -> nr    person names (transliterated, given in full)
//   eng      -> nx    a word of Latin letters
//   zg       -> g     morphemes: zg is a lone character's tag
//   mg bg yg -> Mg Bg Yg   morpheme tags, which the corpus capitalises
//   vi vq    -> v     intransitive verb, verb with a classifier
//   rr rz    -> r     personal and demonstrative pronouns
//   df       -> d     the adverb 不要
//   uj ul uv uz ud ug -> u   的 了 地 着 得 过
class ListTags {
public:
    // The tag of ours that a list's tag stands for; nullptr when there is none.
    static const char* Ours(const std::string& listTag);
};

#endif
