#include "tagging/CNameStage.h"

#include <algorithm>
#include <cmath>

#include "lexicon/CPDAT.h"
#include "lexicon/CUnigram.h"
#include "segment/CharKeys.h"
#include "tagging/CNameBounds.h"
#include "tagging/CPosLexicon.h"
#include "tagging/CRoleTagger.h"
#include "tagging/CTranslitKindModel.h"
#include "tagging/CTranslitModel.h"
#include "tagging/TagCodes.h"

namespace {

using N = CNameModel;

// A name may not touch a user's word or a line break: this much outweighs any
// labelling the model could prefer.
constexpr float kForbidden = 1e6f;

bool IsPrefix(const char* c) // 老 小 阿 大, which make a surname a form of address
{
    static const char* const kPrefixes[] = {"\xC0\xCF", "\xD0\xA1", "\xB0\xA2", "\xB4\xF3"};
    for (const char* p : kPrefixes)
        if (c[0] == p[0] && c[1] == p[1])
            return true;
    return false;
}

// Role codes of nr.role (data/roles.md) that the end of a name reads.
constexpr uint8_t kRoleGivenFirst = 2;   // first character of a two-character given name
constexpr uint8_t kRoleGivenWord = 5;    // ... 3, 4: second character, one-character given name, 5: both as one word
constexpr uint8_t kRoleAfterName = 8;    // the word just after a name
constexpr uint8_t kRoleBetweenNames = 9; // a word between two names
constexpr uint8_t kRoleForeignInner = 11;
constexpr uint8_t kRoleForeignLast = 12;
constexpr uint8_t kRoleSurnameGiven = 13; // surname and first given character as one word

} // namespace

CNameStage::CNameStage(const CNameModel& m, const CPDAT& d, const CUnigram& u, const CPosLexicon* pos,
                       const SpecialWords& i, const Settings& s)
    : model(m), dictionary(d), unigram(u), posLexicon(pos), ids(i), settings(s)
{
    openers = settings.openers;
    if (openers == nullptr || !openers->BuiltFor(model, settings.translit)) {
        ownOpeners.reset(new CNameOpeners(model, settings.translit));
        openers = ownOpeners.get();
    }
}

bool CNameStage::IsUserWord(const TokenRecord& t) const
{
    if (settings.supplementWords && (t.flags & kFlagSupplementWord) != 0 && (t.flags & kFlagUserWord) == 0 &&
        t.kind != kKindUserWord && t.kind != kKindLineBreak)
        return false;
    return (t.flags & kFlagUserWord) != 0 || t.kind == kKindUserWord || t.fixedTag != 255 ||
           t.kind == kKindLineBreak;
}

void CNameStage::Find(const char* sentence, int length, const TokenRecord* items, int count,
                      const CRoleTagger& roles)
{
    // Without the bonuses the automaton is not asked, and no names of its are
    // passed on (scratch may hold an earlier sentence's).
    int merged = 0;
    if ((settings.automatonBonus != 0 || settings.automatonBonusShort != 0) && items != nullptr && count >= 3) {
        scratch.assign(items, items + count);
        merged = count;
        roles.Recognize(scratch.data(), merged, ids.unknownPerson);
    }
    Find(sentence, length, items, count, scratch.data(), merged);
}

void CNameStage::Find(const char* sentence, int length, const TokenRecord* items, int count,
                      const TokenRecord* automatonNames, int automatonCount, const TokenRecord* cuts,
                      int cutCount)
{
    if (cuts == nullptr) {
        cuts = items;
        cutCount = count;
    }
    names.clear();
    listed.clear();
    recalled.clear();
    if (sentence == nullptr || items == nullptr || count < 3 || ids.unknownPerson < 0 || length <= 0 ||
        !model.IsLoaded())
        return;
    // The sentence's characters, cut as the model cuts them.
    const auto* text = reinterpret_cast<const unsigned char*>(sentence);
    starts.clear();
    for (int pos = 0; pos < length; pos += charkeys::CharLength(text, pos, length))
        starts.push_back(pos);
    const int total = static_cast<int>(starts.size());
    starts.push_back(length);
    charAt.assign(static_cast<size_t>(length) + 1, -1);
    for (int c = 0; c <= total; ++c)
        charAt[static_cast<size_t>(starts[static_cast<size_t>(c)])] = c;

    // Where a name may be: near a character that may open one (by the model's
    // own weights for it, or its odds in transliterated names), and over the
    // names the automaton found and the new words. The model labels only
    // those stretches, each with the characters beside it as context; most
    // of a sentence lies outside them.
    near.assign(static_cast<size_t>(total), 0);
    const auto mark = [&](int a, int b) {
        if (a < 0 || b <= a)
            return; // not on the sentence's characters
        for (int c = std::max(0, a - kReach); c < std::min(total, b + kReach); ++c)
            near[static_cast<size_t>(c)] = 1;
    };
    keys.resize(static_cast<size_t>(total));
    for (int c = 0; c < total; ++c) {
        keys[static_cast<size_t>(c)] = charkeys::KeyAt(text, starts[static_cast<size_t>(c)], length);
        if (openers->Opens(keys[static_cast<size_t>(c)]))
            for (int d = std::max(0, c - kBefore); d < std::min(total, c + kAfter + 1); ++d)
                near[static_cast<size_t>(d)] = 1;
    }
    const auto indexOf = [&](int offset) { return offset < 0 || offset > length ? -1 : charAt[static_cast<size_t>(offset)]; };
    for (int i = 1; i + 1 < automatonCount; ++i)
        if (automatonNames[i].wordId == ids.unknownPerson)
            mark(indexOf(automatonNames[i].start), indexOf(automatonNames[i].end));
    for (int i = 1; i + 1 < count; ++i)
        if (items[i].flags & kFlagNewWord)
            mark(indexOf(items[i].start), indexOf(items[i].end));
    if (settings.memory && !memory.Empty()) {
        memory.Find(sentence, length, [&](int offset) { return indexOf(offset) >= 0; }, recalled);
        for (const CNameMemory::Occurrence& o : recalled)
            mark(indexOf(o.start), indexOf(o.end));
    }
    tokenCursor = 1;
    automatonCursor = 1;
    cutCursor = 1;
    for (int c = 0; c < total;) {
        if (!near[static_cast<size_t>(c)]) {
            ++c;
            continue;
        }
        // A stretch, joined with the next where their contexts would meet.
        int e = c;
        for (;;) {
            while (e < total && near[static_cast<size_t>(e)])
                ++e;
            int next = e;
            while (next < total && !near[static_cast<size_t>(next)] && next - e < 2 * kContext)
                ++next;
            if (next >= total || !near[static_cast<size_t>(next)])
                break;
            e = next;
        }
        FindIn(sentence, length, std::max(0, c - kContext), std::min(total, e + kContext), items, count,
               automatonNames, automatonCount, cuts, cutCount);
        c = e;
    }
}

void CNameStage::FindIn(const char* sentence, int length, int first, int last, const TokenRecord* items,
                        int count, const TokenRecord* automatonNames, int automatonCount, const TokenRecord* cuts,
                        int cutCount)
{
    const int offset = starts[static_cast<size_t>(first)];
    const int n =
        model.Prepare(&starts[static_cast<size_t>(first)], &keys[static_cast<size_t>(first)], last - first, ws);
    if (n != last - first)
        return; // not the characters cut above (not expected)
    // Character indices and byte offsets below are the sentence's; the
    // workspace's are those less first.
    auto charIndex = [&](int at) { return at < 0 || at > length ? -1 : charAt[static_cast<size_t>(at)]; };
    const auto begins = [&](int c) { return starts[static_cast<size_t>(c)]; };

    // Where the segmentation cut: a name bound inside a token pays, one inside a
    // user's word or a line break is out of the question, and so is a name over
    // either.
    ws.SetBoundaryPenalty(settings.cutPenalty);
    const int64_t forbidden = ws.Units(-kForbidden);
    // The tokens (and below the automaton's names) are met in order, span by
    // span: each span starts where the one before left off.
    while (tokenCursor + 1 < count && items[tokenCursor].end <= offset)
        ++tokenCursor;
    const int end = starts[static_cast<size_t>(last)];
    for (int i = tokenCursor; i + 1 < count && items[i].start < end; ++i) {
        const TokenRecord& t = items[i];
        const int a = charIndex(t.start), b = charIndex(t.end);
        if (a < 0 || b <= a || b <= first || a >= last)
            continue;
        for (int c = a + 1; c < b; ++c)
            ws.MarkNoBoundary(c - first);
        if (IsUserWord(t))
            for (int c = a; c < b; ++c)
                for (int l = 1; l < N::kLabelCount; ++l)
                    ws.AddLabelUnits(c - first, l, forbidden);
        else if (settings.supplementWords && (t.flags & kFlagSupplementWord) != 0 && t.fixedTag != 255) {
            // The word list's tag says the word is something other than a
            // name: a price for each character a name takes of it, and a
            // place the list names stays one.
            listed.push_back(Piece{t.start, t.end, t.fixedTag});
            const int64_t price = ws.Units(-settings.listedPenalty);
            for (int c = a; c < b; ++c)
                for (int l = 1; l < N::kLabelCount; ++l)
                    ws.AddLabelUnits(c - first, l, price);
        }
    }
    for (int c = first; c < last; ++c) {
        // Outside the stretches a name may reach, none.
        if (!near[static_cast<size_t>(c)])
            for (int l = 1; l < N::kLabelCount; ++l)
                ws.AddLabelUnits(c - first, l, forbidden);
        // The · of a transliterated name joins its parts: a name neither
        // begins nor ends with it, and a Chinese name never holds it (with the
        // transliteration model, whose names these are).
        const int at = begins(c), bytes = begins(c + 1) - at;
        const unsigned char* s = reinterpret_cast<const unsigned char*>(sentence + at);
        if (settings.translit != nullptr && bytes == 2 && s[0] == 0xA1 && s[1] == 0xA4) {
            for (int l = 1; l < N::kLabelCount; ++l)
                if (l != N::kWI)
                    ws.AddLabelUnits(c - first, l, forbidden);
            ws.AddEndUnits(c + 1 - first, forbidden);
        }
        // Nor does a name hold punctuation or a symbol (a bracket, a
        // book-title mark, "+", dots), whatever the segmentation made of it;
        // the marks that join a foreign name's parts stay open to it.
        if (bytes > 0 && BreaksName(sentence + at, bytes))
            for (int l = 1; l < N::kLabelCount; ++l)
                ws.AddLabelUnits(c - first, l, forbidden);
    }

    // The names the role tagger's automaton finds in the same tokens, as the
    // labelling that would spell them.
    if (settings.automatonBonus != 0 || settings.automatonBonusShort != 0) {
        while (automatonCursor + 1 < automatonCount && automatonNames[automatonCursor].end <= offset)
            ++automatonCursor;
        int& original = cutCursor;
        for (int i = automatonCursor; i + 1 < automatonCount && automatonNames[i].start < end; ++i) {
            const TokenRecord& t = automatonNames[i];
            if (t.wordId != ids.unknownPerson)
                continue;
            while (original + 1 < cutCount && cuts[original].start < t.start)
                ++original;
            const int a = charIndex(t.start), b = charIndex(t.end);
            const int split = cuts[original].start == t.start ? charIndex(cuts[original].end) : -1;
            if (a < 0 || b <= a || b <= first || a >= last)
                continue;
            const bool chinese = t.kind == kTagPersonName && split > a && split < b && split - a <= 2 && b - split <= 2;
            const int64_t bonus = ws.Units(b - a == 2 ? settings.automatonBonusShort : settings.automatonBonus);
            Spell(a - first, b - first, chinese ? split - first : -1, bonus);
        }
    }

    // The names the text has shown with confidence, where they occur again,
    // unless they would cut a frequent word of the segmentation in two.
    if (!recalled.empty() && settings.memoryBonus != 0) {
        const int64_t bonus = ws.Units(settings.memoryBonus);
        for (const CNameMemory::Occurrence& o : recalled) {
            const int a = charIndex(o.start), b = charIndex(o.end);
            if (a < first || b > last || b <= a || CutsCommonWord(items, count, o.start) ||
                CutsCommonWord(items, count, o.end))
                continue;
            const int split = o.split < 0 ? -1 : charIndex(o.split);
            const bool chinese = split > a && split < b && split - a <= 2 && b - split <= 2;
            Spell(a - first, b - first, chinese ? split - first : -1, bonus);
        }
    }

    // What the transliteration model says of each character: foreign names are
    // written with a small set of characters, which the name model's own
    // character rows see only through the names of the training text.
    // Only runs of three characters and more that all read as transliteration
    // speak: two such characters side by side are as often a Chinese name or
    // an ordinary word.
    heard.assign(static_cast<size_t>(last - first), 0);
    if (settings.translit != nullptr && settings.translitWeight > 0) {
        constexpr int kMinRun = 3;
        int run = 0;
        for (int c = first; c <= last; ++c) {
            const int key = c < last ? KeyAt(sentence, length, begins(c)) : -1;
            if (key >= 0 && openers->Foreign(key)) {
                ++run;
                continue;
            }
            if (run >= kMinRun)
                for (int r = c - run; r < c; ++r) {
                    const int k = KeyAt(sentence, length, begins(r));
                    const int64_t units = ws.Units(settings.translitWeight * settings.translit->Of(k).inName / 100.0f);
                    ws.AddLabelUnits(r - first, N::kWB, units);
                    ws.AddLabelUnits(r - first, N::kWI, units);
                    heard[static_cast<size_t>(r - first)] = 1;
                }
            run = 0;
        }
    }

    // A word after a name (和, 于, 并 after a one-character given name, 爵士
    // after a foreign one) is no part of it: what the role tagger's counts say
    // of the word, as a price on the labels that would carry a name into it.
    if (settings.roles != nullptr && settings.wordPenalty > 0) {
        for (int i = tokenCursor; i + 1 < count && items[i].start < end; ++i) {
            const TokenRecord& t = items[i];
            const int a = charIndex(t.start);
            if (a < first || a >= last || charIndex(t.end) <= a || t.wordId < 0 || IsUserWord(t))
                continue;
            const int64_t units = WordPenalty(t.wordId);
            if (units == kNoPenalty)
                continue;
            for (int l = 1; l < N::kLabelCount; ++l)
                if (N::Continues(l))
                    ws.AddLabelUnits(a - first, l, units);
        }
    }

    model.Decode(ws);
    for (const CNameModel::Name& local : ws.GetNames()) {
        const bool foreign = local.split >= 0 && ReadsAsTransliteration(sentence, length, first, local);
        const CNameModel::Name found{local.start + offset, local.end + offset,
                                     local.split < 0 || foreign ? -1 : local.split + offset};
        Name name{found.start, found.end, found.split, kTagPersonName};
        const auto word = std::find_if(listed.begin(), listed.end(), [&found](const Piece& p) {
            return p.start == found.start && p.end == found.end;
        });
        if (word != listed.end() && (word->tag == kTagPlaceName || word->tag == kTagTransliteratedPlace)) {
            if (found.split >= 0)
                continue; // a place, not a Chinese name
            name.tag = kTagPlaceName;
            names.push_back(name);
            continue;
        }
        if (found.split < 0) {
            const int chars = charIndex(found.end) - charIndex(found.start);
            bool dot = false;
            for (int p = found.start; p + 1 < found.end; ++p)
                dot = dot || (static_cast<unsigned char>(sentence[p]) == 0xA1 &&
                              static_cast<unsigned char>(sentence[p + 1]) == 0xA4);
            const int beside = settings.placeContext ? PlacesBeside(sentence, items, count, found.start, found.end) : 0;
            if (chars >= 3 && !dot && settings.translit != nullptr &&
                IsForeignPlace(sentence, length, charIndex(found.start) > 0 ? begins(charIndex(found.start) - 1) : -1,
                               found.start, found.end, beside, items, count))
                name.tag = kTagPlaceName;
            else if (chars >= 3 || dot || foreign)
                name.tag = kTagTransliteratedName;
            else if (chars == 2 && found.end - found.start == 4 && IsPrefix(sentence + found.start))
                name.tag = kTagSurname;
        }
        names.push_back(name);
        if (settings.memory)
            Remember(sentence, name, charIndex(found.start) - first, charIndex(found.end) - first);
    }
}

void CNameStage::Spell(int a, int b, int split, int64_t bonus)
{
    for (int c = a; c < b; ++c) {
        int label;
        if (split > a && split < b)
            label = c == a ? N::kSB : c < split ? N::kS2 : c == split ? N::kG1 : N::kG2;
        else
            label = c == a ? N::kWB : N::kWI;
        ws.AddLabelUnits(c, label, bonus);
    }
    ws.AddEndUnits(b, bonus);
}

int64_t CNameStage::OtherUses(int wordId) const
{
    if (wordId < 0 || wordId == ids.unknownPerson)
        return 0;
    if (posLexicon == nullptr)
        return static_cast<int64_t>(unigram.Frequency(wordId));
    int candidates = 0;
    const CPosLexicon::Entry* entries = posLexicon->Lookup(wordId, &candidates);
    int64_t other = 0;
    for (int c = 0; c < candidates; ++c)
        if (!IsPersonTag(entries[c].tag) && entries[c].frequency > 0)
            other += entries[c].frequency;
    return other;
}

namespace {

// A word the training text used this often as something else is a common
// word: as a name it takes more evidence, and a remembered name does not cut
// it in two.
constexpr int64_t kCommonUses = 10;

} // namespace

bool CNameStage::CutsCommonWord(const TokenRecord* items, int count, int offset) const
{
    for (int i = 1; i + 1 < count; ++i) {
        const TokenRecord& t = items[i];
        if (t.start < offset && offset < t.end)
            return OtherUses(t.wordId) >= kCommonUses;
        if (t.start >= offset)
            break;
    }
    return false;
}

void CNameStage::Remember(const char* sentence, const Name& name, int a, int b)
{
    // A single character is too often a surname in passing, or no name at all.
    constexpr int kMinChars = 2;
    if (!IsPersonTag(name.tag) || a < 0 || b - a < kMinChars || b > ws.GetCharCount())
        return;
    // A name the memory itself suggested is no new evidence for it.
    for (const CNameMemory::Occurrence& o : recalled)
        if (o.start == name.start && o.end == name.end)
            return;
    outside.assign(static_cast<size_t>(b - a), N::kO);
    const int64_t decoded = model.LabellingScore(ws, a, b, ws.GetLabels() + a);
    const int64_t none = model.LabellingScore(ws, a, b, outside.data());
    if (decoded == CNameModel::kNoLabelling ||
        (none != CNameModel::kNoLabelling && decoded - none < ws.Units(settings.memoryMargin)))
        return;
    const int bytes = name.end - name.start;
    const int id = dictionary.ExactMatch(sentence + name.start, bytes);
    memory.Note(sentence + name.start, bytes, name.split < 0 ? -1 : name.split - name.start, name.tag,
                OtherUses(id) >= kCommonUses);
}

bool CNameStage::ReadsAsTransliteration(const char* sentence, int length, int first, const CNameModel::Name& local)
{
    // The transliteration bonus above speaks only for runs of characters that
    // are all likely in foreign names, so a foreign name that opens with a
    // surname character (华莱士, 金斯基) is read as surname + given name. Here
    // the same characters read as one word compete with that reading, with
    // every character's transliteration odds (those the run bonus did not
    // already give): the labelling that scores higher wins.
    if (settings.translit == nullptr || settings.translitRescore <= 0)
        return false;
    const int offset = starts[static_cast<size_t>(first)];
    const int a = charAt[static_cast<size_t>(local.start + offset)] - first;
    const int b = charAt[static_cast<size_t>(local.end + offset)] - first;
    // A surname and a one-character given name is the commonest form of a
    // Chinese name, and the odds of two characters cannot tell it from a
    // foreign name (马利, 戴维): only names of three characters and more compete.
    constexpr int kMinChars = 3;
    if (a < 0 || b - a < kMinChars || b > ws.GetCharCount())
        return false;
    oneWord.assign(static_cast<size_t>(b - a), N::kWI);
    oneWord[0] = N::kWB;
    int odds = 0;
    for (int c = a; c < b; ++c)
        if (!heard[static_cast<size_t>(c)])
            odds += settings.translit->Of(KeyAt(sentence, length, starts[static_cast<size_t>(c + first)])).inName;
    const int64_t chinese = model.LabellingScore(ws, a, b, ws.GetLabels() + a);
    const int64_t word = model.LabellingScore(ws, a, b, oneWord.data());
    if (chinese == CNameModel::kNoLabelling || word == CNameModel::kNoLabelling)
        return false;
    return word + ws.Units(settings.translitRescore * static_cast<float>(odds) / 100.0f) > chinese;
}

int64_t CNameStage::WordPenalty(int wordId)
{
    // The same few thousand words come back in every sentence, and each
    // answer takes a lexicon walk and a logarithm: each is kept.
    const size_t at = static_cast<size_t>(wordId);
    if (at >= penalties.size())
        penalties.resize(at + 1, kNotAsked);
    int64_t& known = penalties[at];
    if (known == kNotAsked) {
        int64_t inName = 0, after = 0;
        RoleCounts(wordId, inName, after);
        if (after <= inName) {
            known = kNoPenalty;
        } else {
            const float odds = std::log((static_cast<float>(after) + 1) / (static_cast<float>(inName) + 1));
            known = ws.Units(-settings.wordPenalty * odds);
        }
    }
    return known;
}

void CNameStage::RoleCounts(int wordId, int64_t& inName, int64_t& after) const
{
    inName = after = 0;
    int candidates = 0;
    const CPosLexicon::Entry* entries = settings.roles->Lookup(wordId, &candidates);
    for (int c = 0; c < candidates; ++c) {
        const uint8_t role = entries[c].tag;
        const int64_t f = entries[c].frequency > 0 ? entries[c].frequency : 0;
        if ((role >= kRoleGivenFirst && role <= kRoleGivenWord) || role == kRoleForeignInner ||
            role == kRoleForeignLast || role == kRoleSurnameGiven)
            inName += f;
        else if (role == kRoleAfterName || role == kRoleBetweenNames)
            after += f;
    }
}

bool CNameStage::AskBreaksName(const char* c, int bytes)
{
    // The test compares the character with the joining marks and reads the
    // symbol table, a call and some tens of instructions; it is asked for
    // every character of every sentence, of a few thousand distinct
    // characters, so each answer is kept for the inline read (0: not asked
    // yet, 1: no, 2: yes).
    if (bytes != 1 && bytes != 2)
        return CNameBounds::BreaksName(c, bytes);
    const auto* s = reinterpret_cast<const unsigned char*>(c);
    const size_t key = bytes == 1 ? s[0] : kOneByteKeys + (size_t(s[0]) << 8 | s[1]);
    if (breaks.empty())
        breaks.assign(kOneByteKeys + 65536, 0);
    uint8_t& known = breaks[key];
    if (known == 0)
        known = CNameBounds::BreaksName(c, bytes) ? 2 : 1;
    return known == 2;
}

int CNameStage::KeyAt(const char* sentence, int length, int p)
{
    const unsigned char* s = reinterpret_cast<const unsigned char*>(sentence);
    if (p < 0 || p + 1 >= length || s[p] < 0x80)
        return -1;
    return s[p] << 8 | s[p + 1];
}

bool CNameStage::IsForeignPlace(const char* sentence, int length, int previous, int start, int end, int beside,
                                const TokenRecord* items, int count) const
{
    if (settings.kinds != nullptr) {
        // The words of the segmentation beside the name, where its bounds are
        // theirs.
        CTranslitKindModel::Word before{-1, -1}, after{-1, -1};
        for (int i = 1; i + 1 < count; ++i) {
            if (items[i].end == start && items[i].start < start)
                before = {items[i].start, items[i].end};
            if (items[i].start == end && items[i].end > end)
                after = {items[i].start, items[i].end};
        }
        // The characters' own place odds below still speak: their clamped
        // after-character odds (阿尔伯克基市) are evidence the kind model's
        // many features spread thin.
        if (settings.kinds->Score(sentence, length, start, end, before, after) + beside >
            static_cast<int>(std::lround(settings.kindMargin * 100)))
            return true;
    }
    int score = beside;
    for (int p = start; p < end;) {
        const int key = KeyAt(sentence, length, p);
        if (key >= 0)
            score += settings.translit->Of(key).place;
        p += key >= 0 ? 2 : 1;
    }
    // The characters beside the name: 在, 到 before a place, 市, 州 after one;
    // 说 after a person.
    const int before = KeyAt(sentence, length, previous);
    if (before >= 0)
        score += settings.translit->Of(before).before;
    const int after = KeyAt(sentence, length, end);
    if (after >= 0)
        score += settings.translit->Of(after).after;
    // A clear margin (e^4): the name model found a person's name, and the
    // place statistics rest on far fewer names.
    constexpr int kMargin = 400;
    return score > kMargin;
}

bool CNameStage::IsPlaceWord(const TokenRecord& t) const
{
    if (t.wordId < 0 || t.wordId == ids.unknownPerson)
        return false;
    if (t.wordId == ids.unknownPlace)
        return true;
    if (posLexicon == nullptr)
        return false;
    int candidates = 0;
    const CPosLexicon::Entry* entries = posLexicon->Lookup(t.wordId, &candidates);
    int64_t place = 0, all = 0;
    for (int c = 0; c < candidates; ++c) {
        const int64_t f = entries[c].frequency > 0 ? entries[c].frequency : 0;
        all += f;
        if (entries[c].tag == kTagPlaceName || entries[c].tag == kTagTransliteratedPlace)
            place += f;
    }
    return all > 0 && 2 * place > all;
}

int CNameStage::PlacesBeside(const char* sentence, const TokenRecord* items, int count, int start, int end) const
{
    // A name written beside a place, or linked to one by a single character
    // (、), is a place itself far more often than a person: 法国阿尔贝维尔,
    // 哈尔滨、齐齐哈尔. A title comes between a place and a person (美国总统).
    constexpr int kBeside = 500; // hundredths of a natural log, as IsForeignPlace counts
    int before = -1, after = -1;
    for (int i = 1; i + 1 < count; ++i) {
        if (items[i].end == start)
            before = i;
        if (items[i].start == end)
            after = i;
    }
    // The link is a mark of a list (、 ，), not a word: 与, 在, 的 stand as often
    // between a person and a place.
    const auto link = [&](int i) {
        const TokenRecord& t = items[i];
        return t.end - t.start <= 2 && t.end > t.start && CNameBounds::BreaksName(sentence + t.start, t.end - t.start);
    };
    int score = 0;
    if (before > 0 && (IsPlaceWord(items[before]) || (before > 1 && link(before) && IsPlaceWord(items[before - 1]))))
        score += kBeside;
    if (after > 0 && after + 2 < count && link(after) && IsPlaceWord(items[after + 1]))
        score += kBeside;
    return score;
}

TokenRecord CNameStage::PieceOf(const char* sentence, const TokenRecord& from, int start, int end) const
{
    if (start == from.start && end == from.end)
        return from;
    TokenRecord piece = from;
    piece.start = start;
    piece.end = end;
    piece.wordId = dictionary.ExactMatch(sentence + start, end - start);
    piece.frequency = piece.wordId >= 0 ? unigram.Frequency(piece.wordId) : 0.0;
    piece.flags = static_cast<uint8_t>(from.flags & ~(kFlagPresetFrequency | kFlagNewWord));
    piece.fixedTag = 255;
    return piece;
}

TokenRecord* CNameStage::Layout(const char* sentence, TokenRecord* items, int& count)
{
    laidOut.clear();
    firstToken.clear();
    if (items == nullptr || count <= 0 || names.empty())
        return items; // nothing to re-cut
    std::vector<Name> kept;
    size_t k = 0;
    int pos = -1; // bytes before pos are laid out
    for (int i = 0; i < count; ++i) {
        const TokenRecord& t = items[i];
        if (i == 0 || i + 1 == count || t.start < 0 || t.end <= t.start) {
            laidOut.push_back(t);
            continue;
        }
        int p = std::max(pos, t.start);
        while (p < t.end) {
            while (k < names.size() && names[k].start < p)
                ++k; // a name the tokens do not reach as laid out (not expected)
            if (k < names.size() && names[k].start == p) {
                const Name& name = names[k];
                firstToken.push_back(static_cast<int>(laidOut.size()));
                if (name.split > name.start && name.split < name.end) {
                    laidOut.push_back(PieceOf(sentence, t, name.start, name.split));
                    laidOut.push_back(PieceOf(sentence, t, name.split, name.end));
                } else {
                    laidOut.push_back(PieceOf(sentence, t, name.start, name.end));
                }
                kept.push_back(name);
                p = name.end;
                ++k;
                continue;
            }
            const int q = k < names.size() ? std::min(t.end, names[k].start) : t.end;
            laidOut.push_back(PieceOf(sentence, t, p, q));
            p = q;
        }
        pos = std::max(pos, p);
    }
    names.swap(kept);
    count = static_cast<int>(laidOut.size());
    return laidOut.data();
}

void CNameStage::Merge(TokenRecord* items, int& count)
{
    if (items == nullptr || count <= 0 || names.empty())
        return;
    int w = 0;
    size_t k = 0;
    for (int r = 0; r < count; ++r) {
        if (k < names.size() && r == firstToken[k]) {
            TokenRecord token = items[r];
            const Name& name = names[k];
            const int pieces = name.split > name.start && name.split < name.end ? 2 : 1;
            token.end = name.end;
            // The tag code rides in kind until the tagger takes it.
            token.wordId = name.tag == kTagPlaceName && ids.unknownPlace >= 0 ? ids.unknownPlace : ids.unknownPerson;
            token.kind = name.tag;
            items[w++] = token;
            r += pieces - 1;
            ++k;
            continue;
        }
        items[w++] = items[r];
    }
    count = w;
}

void CNameStage::Veto(TokenRecord* items, int count) const
{
    if (!settings.veto || items == nullptr || posLexicon == nullptr)
        return;
    for (int i = 1; i + 1 < count; ++i) {
        TokenRecord& t = items[i];
        if (t.wordId == ids.unknownPerson || !IsPersonTag(t.tag) || IsUserWord(t))
            continue;
        int candidates = 0;
        const CPosLexicon::Entry* entries = posLexicon->Lookup(t.wordId, &candidates);
        bool done = false;
        for (int c = 0; c < candidates && !done; ++c)
            if (!IsPersonTag(entries[c].tag)) {
                t.tag = entries[c].tag;
                done = true;
            }
        // A word known only as a name (a surname) is a common noun when it is none.
        if (!done)
            t.tag = kTagNoun;
    }
}
