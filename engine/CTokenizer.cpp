#include "engine/CTokenizer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "engine/CModel.h"
#include "engine/CTraditional.h"
#include "engine/TextCodec.h"
#include "tagging/TagCodes.h"

namespace {

inline bool Is(int32_t wordId, int32_t special) { return special >= 0 && wordId == special; }

std::string Hex(unsigned char b)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", b);
    return text;
}

// The first byte at which data is not valid UTF-8, or size when it all is.
size_t FirstInvalidUtf8(const char* data, size_t size)
{
    const unsigned char* s = reinterpret_cast<const unsigned char*>(data);
    size_t i = 0;
    while (i < size) {
        if (s[i] < 0x80) {
            ++i;
            continue;
        }
        uint32_t cp;
        const int n = TextCodec::DecodeUtf8(s + i, size - i, &cp);
        if (n <= 0)
            return i;
        i += static_cast<size_t>(n);
    }
    return size;
}

// The first byte at which data is not valid GBK, or size when it all is.
size_t FirstInvalidGbk(const char* data, size_t size)
{
    const unsigned char* s = reinterpret_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size;) {
        if (s[i] < 0x80) {
            ++i;
            continue;
        }
        if (s[i] == 0x80 || s[i] == 0xFF || TextCodec::GbkUnitLength(s + i, size - i) != 2)
            return i;
        i += 2;
    }
    return size;
}

} // namespace

CTokenizer::CTokenizer(const CModel& model)
    : model(model), analyzer(model), finder(model), ids(model.ids), entityWords(model.ids)
{
    for (int code = 0; code < 256; ++code) {
        const char* name = model.core.tagSet ? model.core.tagSet->GetName(code) : nullptr;
        tagNames[code] = name != nullptr ? name : "";
        if (symbolTag < 0 && name != nullptr && std::strcmp(name, "w") == 0)
            symbolTag = code;
        if (classifierTag < 0 && name != nullptr && std::strcmp(name, "q") == 0)
            classifierTag = code;
        if (numeralClassifierTag < 0 && name != nullptr && std::strcmp(name, "mq") == 0)
            numeralClassifierTag = code;
    }
}

int CTokenizer::Prepare(const char* text, size_t length, unsigned options, std::string* error)
{
    if (text == nullptr && length != 0) {
        *error = "no text (a null pointer)";
        return MORV_E_ARGUMENT;
    }
    if (text == nullptr)
        text = "";
    if (length == MORV_NUL_TERMINATED)
        length = std::strlen(text);
    if (length >= UINT32_MAX / 2) {
        *error = "the text is too long for one call (" + std::to_string(length) + " bytes); analyse it in pieces";
        return MORV_E_ARGUMENT;
    }
    if (!IsComplete()) {
        *error = "the analyser is incomplete (out of memory)";
        return MORV_E_MEMORY;
    }
    const bool utf8 = (options & MORV_GBK) == 0;
    if ((options & MORV_LENIENT) == 0) {
        const void* nul = std::memchr(text, 0, length);
        if (nul != nullptr) {
            *error = "NUL byte at byte offset " +
                     std::to_string(static_cast<const char*>(nul) - text) + " of the text";
            return MORV_E_NUL;
        }
        const size_t bad = utf8 ? FirstInvalidUtf8(text, length) : FirstInvalidGbk(text, length);
        if (bad < length) {
            *error = std::string(utf8 ? "invalid UTF-8" : "invalid GBK") + " at byte offset " +
                     std::to_string(bad) + " (byte " + Hex(static_cast<unsigned char>(text[bad])) + ")";
            return MORV_E_ENCODING;
        }
    }
    engineText.Build(text, length, utf8 ? Encoding::Utf8 : Encoding::Gbk, true);
    if ((options & MORV_TRADITIONAL_ON) && (options & MORV_TRADITIONAL_OFF)) {
        *error = "MORV_TRADITIONAL_ON and MORV_TRADITIONAL_OFF together";
        return MORV_E_ARGUMENT;
    }
    const CTraditional::Mode mode = (options & MORV_TRADITIONAL_ON)    ? CTraditional::Mode::On
                                    : (options & MORV_TRADITIONAL_OFF) ? CTraditional::Mode::Off
                                    : model.traditionalOn              ? CTraditional::Mode::Auto
                                                                       : CTraditional::Mode::Off;
    if (!CTraditional::Instance().Convert(engineText, mode, error))
        return MORV_E_MODEL;
    return MORV_OK;
}

unsigned CTokenizer::FlagsOf(const TokenRecord& t) const
{
    unsigned flags = 0;
    if (t.flags & kFlagUserWord)
        flags |= MORV_FLAG_USER_WORD;
    if ((t.flags & kFlagNewWord) && Is(t.wordId, ids.unknownProper))
        flags |= MORV_FLAG_NEW_WORD;
    // The same kinds as the colours of the result page.
    switch (EntityOf(t, entityWords)) {
    case Entity::kNumber: flags |= MORV_FLAG_NUMBER; break;
    case Entity::kPerson: flags |= MORV_FLAG_PERSON; break;
    case Entity::kPlace: flags |= MORV_FLAG_PLACE; break;
    case Entity::kOrganization: flags |= MORV_FLAG_ORGANIZATION; break;
    case Entity::kTime: flags |= MORV_FLAG_TIME; break;
    case Entity::kString: flags |= MORV_FLAG_STRING; break;
    case Entity::kNone: break;
    }
    return flags;
}

void CTokenizer::NameSplits(const CSentence& sentence, int32_t personWordId, std::vector<int32_t>& splits)
{
    // A merged name keeps the start of its first token; that token (the
    // surname) ended where the name splits.
    const std::vector<int32_t>& starts = sentence.startsBeforeNames;
    const std::vector<int32_t>& ends = sentence.endsBeforeNames;
    splits.assign(static_cast<size_t>(sentence.count), -1);
    // The markers (index 0 and the last) are empty and never part of a name.
    size_t k = 1;
    for (int i = 1; i + 1 < sentence.count; ++i) {
        const TokenRecord& t = sentence.items[i];
        while (k < starts.size() && starts[k] < t.start)
            ++k;
        if (t.wordId == personWordId && t.tag == kTagPersonName && k < starts.size() && starts[k] == t.start &&
            ends[k] < t.end)
            splits[static_cast<size_t>(i)] = ends[k];
    }
}

bool CTokenizer::CompoundWords(const CSentence& sentence)
{
    if (sentence.partOffsets == nullptr || sentence.parts == nullptr)
        return false;
    const std::vector<int32_t>& starts = sentence.startsBeforeNames;
    const std::vector<int32_t>& ends = sentence.endsBeforeNames;
    // The end of the first token before person recognition that starts at start
    // and ends before end (a name's surname), else -1.
    const auto surnameEnd = [&](int32_t start, int32_t end) -> int32_t {
        const auto k = std::lower_bound(starts.begin() + (starts.empty() ? 0 : 1), starts.end(), start);
        if (k == starts.end() || *k != start)
            return -1;
        const int32_t e = ends[static_cast<size_t>(k - starts.begin())];
        return e < end ? e : -1;
    };
    wordOffsets.assign(1, 0);
    words.clear();
    for (int i = 0; i < sentence.count; ++i) {
        for (int32_t k = sentence.partOffsets[i]; k < sentence.partOffsets[i + 1]; ++k) {
            const TokenPart& w = sentence.parts[k];
            const int32_t surname = w.tag == kTagPersonName ? surnameEnd(w.start, w.end) : -1;
            if (surname > w.start) {
                words.push_back({w.start, surname, w.tag});
                words.push_back({surname, w.end, w.tag});
            } else {
                words.push_back(w);
            }
        }
        wordOffsets.push_back(static_cast<int32_t>(words.size()));
    }
    return true;
}

void CTokenizer::AddSentence(const CSentence& sentence)
{
    NameSplits(sentence, ids.unknownPerson, splits);
    const bool compounds = CompoundWords(sentence);
    const char* engine = engineText.Text();
    const size_t base = static_cast<size_t>(sentence.text - engine);
    const char* input = engineText.Input();
    const size_t first = tokens.size();
    size_t last = first;
    for (int i = 1; i < sentence.count - 1; ++i) {
        const TokenRecord& t = sentence.items[i];
        if (t.start < 0 || t.end <= t.start)
            continue;
        const int unitEnd = longUnits ? LongUnitEnd(sentence, i) : i + 1;
        if (unitEnd > i + 1) {
            AddLongUnit(sentence, i, unitEnd, compounds);
            last = tokens.size() - 1;
            while (last > first && (tokens[last].flags & MORV_FLAG_SUBTOKEN))
                --last;
            i = unitEnd - 1;
            continue;
        }
        const size_t g0 = base + static_cast<size_t>(t.start);
        const size_t g1 = base + static_cast<size_t>(t.end);
        if (g1 > engineText.Length())
            continue;
        const size_t b0 = engineText.InputOffset(g0);
        const size_t b1 = engineText.InputOffset(g1);
        if (b1 <= b0)
            continue;
        morv_token token;
        token.word = input + b0;
        token.length = b1 - b0;
        token.start = b0;
        token.end = b1;
        token.char_start = engineText.CharIndex(g0);
        token.char_end = engineText.CharIndex(g1);
        token.flags = FlagsOf(t);
        token.tag = tagNames[t.tag];
        token.name_split = 0;
        if (splits[static_cast<size_t>(i)] > t.start && splits[static_cast<size_t>(i)] < t.end) {
            const size_t split = engineText.InputOffset(base + static_cast<size_t>(splits[static_cast<size_t>(i)]));
            if (split > b0 && split < b1)
                token.name_split = split;
        }
        if (t.kind == kKindLineBreak) {
            bool breaks = true;
            for (size_t g = g0; g < g1 && breaks; ++g)
                breaks = engine[g] == '\n' || engine[g] == '\r';
            if (breaks) {
                token.flags = MORV_FLAG_LINE_BREAK;
                if (symbolTag >= 0)
                    token.tag = tagNames[symbolTag];
            }
        }
        if (compounds && wordOffsets[static_cast<size_t>(i) + 1] > wordOffsets[static_cast<size_t>(i)]) {
            const size_t first = parts.size();
            for (int32_t k = wordOffsets[static_cast<size_t>(i)]; k < wordOffsets[static_cast<size_t>(i) + 1]; ++k) {
                const TokenPart& w = words[static_cast<size_t>(k)];
                morv_part part;
                part.start = engineText.InputOffset(base + static_cast<size_t>(w.start));
                part.end = engineText.InputOffset(base + static_cast<size_t>(w.end));
                part.tag = tagNames[w.tag];
                parts.push_back(part);
            }
            partRanges.resize(tokens.size() + 1, {0, 0});
            partRanges.back() = {first, parts.size() - first};
            token.flags |= MORV_FLAG_COMPOUND;
        }
        if (engineText.IsPlaceholdersOnly(g0, g1)) {
            token.flags = MORV_FLAG_SUBSTITUTED;
            // A run of hangul the web-text rules made one word keeps its tag.
            if (symbolTag >= 0 && t.kind != kKindLetterString)
                token.tag = tagNames[symbolTag];
        }
        last = tokens.size();
        tokens.push_back(token);
        engineSpans.emplace_back(g0, g1);
        if (search && !(token.flags & (MORV_FLAG_LINE_BREAK | MORV_FLAG_SUBSTITUTED)))
            AddSubTokens(sentence, i, i, g0, g1);
    }
    // The sentence's last token, not a sub-token of it.
    if (tokens.size() > first)
        tokens[last].flags |= MORV_FLAG_SENTENCE_END;
}

morv_token CTokenizer::MakeToken(size_t g0, size_t g1, uint8_t tag, unsigned flags) const
{
    morv_token token;
    const size_t b0 = engineText.InputOffset(g0);
    const size_t b1 = engineText.InputOffset(g1);
    token.word = engineText.Input() + b0;
    token.length = b1 - b0;
    token.start = b0;
    token.end = b1;
    token.char_start = engineText.CharIndex(g0);
    token.char_end = engineText.CharIndex(g1);
    token.tag = tagNames[tag];
    token.flags = flags;
    token.name_split = 0;
    return token;
}

int CTokenizer::LongUnitEnd(const CSentence& sentence, int i) const
{
    // Tokens a unit may take: contiguous, tagged, neither a user's word (the
    // user chose its bounds) nor a line break.
    const auto usable = [&](int k) {
        const TokenRecord& t = sentence.items[k];
        return k + 1 < sentence.count && t.start >= 0 && t.end > t.start && !(t.flags & kFlagUserWord) &&
               t.kind != kKindUserWord && t.kind != kKindLineBreak &&
               (k == i || sentence.items[k - 1].end == t.start);
    };
    const auto numeral = [&](int k) {
        const TokenRecord& t = sentence.items[k];
        return t.tag == kTagNumeral || (entityWords.number >= 0 && t.wordId == entityWords.number);
    };
    if (!usable(i))
        return i + 1;
    if (numeral(i) && classifierTag >= 0 && numeralClassifierTag >= 0) {
        int k = i + 1;
        while (usable(k) && numeral(k))
            ++k;
        if (usable(k) && sentence.items[k].tag == classifierTag)
            return k + 1;
        return i + 1;
    }
    if (sentence.items[i].tag == kTagTime) {
        int k = i + 1;
        while (usable(k) && sentence.items[k].tag == kTagTime)
            ++k;
        return k;
    }
    return i + 1;
}

void CTokenizer::AddLongUnit(const CSentence& sentence, int first, int end, bool compounds)
{
    const char* engine = engineText.Text();
    const size_t base = static_cast<size_t>(sentence.text - engine);
    const TokenRecord& a = sentence.items[first];
    const TokenRecord& z = sentence.items[end - 1];
    const size_t g0 = base + static_cast<size_t>(a.start);
    const size_t g1 = base + static_cast<size_t>(z.end);
    const bool time = a.tag == kTagTime;
    morv_token token = MakeToken(g0, g1, static_cast<uint8_t>(time ? kTagTime : numeralClassifierTag),
                                 time ? MORV_FLAG_TIME : MORV_FLAG_NUMBER);
    // The unit keeps its words as parts, so that the corpus's cut can still be had.
    const size_t firstPart = parts.size();
    for (int k = first; k < end; ++k) {
        const TokenRecord& t = sentence.items[k];
        const size_t kk = static_cast<size_t>(k);
        if (compounds && wordOffsets[kk + 1] > wordOffsets[kk]) {
            for (int32_t w = wordOffsets[kk]; w < wordOffsets[kk + 1]; ++w) {
                const TokenPart& p = words[static_cast<size_t>(w)];
                parts.push_back({engineText.InputOffset(base + static_cast<size_t>(p.start)),
                                 engineText.InputOffset(base + static_cast<size_t>(p.end)), tagNames[p.tag]});
            }
        } else {
            parts.push_back({engineText.InputOffset(base + static_cast<size_t>(t.start)),
                             engineText.InputOffset(base + static_cast<size_t>(t.end)), tagNames[t.tag]});
        }
    }
    partRanges.resize(tokens.size() + 1, {0, 0});
    partRanges.back() = {firstPart, parts.size() - firstPart};
    token.flags |= MORV_FLAG_COMPOUND;
    tokens.push_back(token);
    if (search)
        AddSubTokens(sentence, first, end - 1, g0, g1);
}

void CTokenizer::AddSubTokens(const CAnalyzer::Sentence& sentence, int first, int last, size_t g0, size_t g1)
{
    const char* engine = engineText.Text();
    found.clear();
    // A compound's own words first: of a span the dictionaries know too, the
    // tag given in its place is the better one.
    if (sentence.partOffsets != nullptr) {
        const size_t base = static_cast<size_t>(sentence.text - engine);
        for (int32_t k = sentence.partOffsets[first]; k < sentence.partOffsets[last + 1]; ++k) {
            const CAnalyzer::Part& w = sentence.parts[k];
            const size_t p0 = base + static_cast<size_t>(w.start), p1 = base + static_cast<size_t>(w.end);
            if (p0 >= g0 && p1 <= g1 && engineText.CharIndex(p1) >= engineText.CharIndex(p0) + 2)
                found.push_back(CWordFinder::Word{static_cast<int32_t>(p0), static_cast<int32_t>(p1), w.tag, false});
        }
    }
    finder.Find(engine, static_cast<int>(g0), static_cast<int>(g1), 2, analyzer.CurrentUserWords(), found);
    std::stable_sort(found.begin(), found.end(), [](const CWordFinder::Word& a, const CWordFinder::Word& b) {
        return a.start != b.start ? a.start < b.start : a.end < b.end;
    });
    for (size_t k = 0; k < found.size(); ++k) {
        const CWordFinder::Word& w = found[k];
        if ((static_cast<size_t>(w.start) == g0 && static_cast<size_t>(w.end) == g1) ||
            (k > 0 && w.start == found[k - 1].start && w.end == found[k - 1].end))
            continue;
        tokens.push_back(MakeToken(static_cast<size_t>(w.start), static_cast<size_t>(w.end), w.tag,
                                   MORV_FLAG_SUBTOKEN | (w.user ? MORV_FLAG_USER_WORD : 0u)));
        engineSpans.emplace_back(static_cast<size_t>(w.start), static_cast<size_t>(w.end));
    }
}

int CTokenizer::DictionaryWords(const char* text, size_t length, unsigned options, std::string* error)
{
    dictionaryWords.clear();
    const int status = Prepare(text, length, options, error);
    if (status != MORV_OK)
        return status;
    found.clear();
    const std::shared_ptr<const CUserWords> userWords = model.UserWords();
    finder.Find(engineText.Text(), 0, static_cast<int>(engineText.Length()), (options & MORV_SINGLE_CHARS) ? 1 : 2,
                userWords.get(), found);
    dictionaryWords.reserve(found.size());
    for (const CWordFinder::Word& w : found)
        dictionaryWords.push_back(MakeToken(static_cast<size_t>(w.start), static_cast<size_t>(w.end), w.tag,
                                  w.user ? MORV_FLAG_USER_WORD : 0u));
    return MORV_OK;
}

std::string CTokenizer::EngineWordUtf8(size_t index) const
{
    std::string out;
    if (index < engineSpans.size()) {
        const std::pair<size_t, size_t>& span = engineSpans[index];
        TextCodec::Instance().AppendAsUtf8(out, engineText.Text() + span.first, span.second - span.first,
                                           Encoding::Gbk);
    }
    return out;
}

std::pair<const morv_part*, size_t> CTokenizer::Parts(size_t index) const
{
    if (index >= partRanges.size() || partRanges[index].second == 0)
        return {nullptr, 0};
    return {parts.data() + partRanges[index].first, partRanges[index].second};
}

int CTokenizer::Analyze(const char* text, size_t length, unsigned options, std::string* error)
{
    tokens.clear();
    engineSpans.clear();
    parts.clear();
    partRanges.clear();
    search = (options & MORV_SEARCH) != 0;
    longUnits = (options & MORV_LONG_UNITS) != 0;
    const int status = Prepare(text, length, options, error);
    if (status != MORV_OK)
        return status;
    analyzer.Analyze(engineText.Text(), [this](const CSentence& s) { AddSentence(s); });
    return MORV_OK;
}

int CTokenizer::AnalyzeHtml(const char* text, size_t length, unsigned options, std::string* error)
{
    html.clear();
    const int status = Prepare(text, length, options, error);
    if (status != MORV_OK)
        return status;
    const bool substituted = !engineText.Substitutions().empty() || engineText.IsRewritten();
    analyzer.AnalyzeToPage(engineText.Text(), html, substituted ? &engineText : nullptr);
    return MORV_OK;
}

size_t CTokenizer::CutPoint(const CCharset* charset, const char* data, size_t size, bool utf8)
{
    const TextCodec& codec = TextCodec::Instance();
    const unsigned char* s = reinterpret_cast<const unsigned char*>(data);
    size_t lastBoundary = 0, lastBlank = 0, lastSentence = 0;
    size_t i = 0;
    while (i < size) {
        size_t n;
        int key;
        if (s[i] < 0x80) {
            n = 1;
            key = s[i];
        } else if (utf8) {
            uint32_t cp = 0;
            const int length = TextCodec::DecodeUtf8(s + i, size - i, &cp);
            if (length < 0)
                break; // the character goes on beyond the piece
            n = length == 0 ? 1 : static_cast<size_t>(length);
            key = length == 0 ? -1 : static_cast<int>(codec.UnicodeToGbk(cp));
        } else {
            n = TextCodec::GbkUnitLength(s + i, size - i);
            if (n == 1 && i + 1 == size)
                break; // a lead byte whose trail is in the next piece
            key = n == 2 ? (s[i] << 8 | s[i + 1]) : -1;
        }
        i += n;
        lastBoundary = i;
        if (key == ' ' || key == '\t' || key == 0xA1A1)
            lastBlank = i;
        if (charset != nullptr && key > 0 && charset->GetClass(key) == kClassSentenceEnd)
            lastSentence = i;
    }
    if (lastSentence > 0)
        return lastSentence;
    if (lastBlank > 0)
        return lastBlank;
    return lastBoundary > 0 ? lastBoundary : size;
}
