#ifndef MORV_CTOKENIZER_H
#define MORV_CTOKENIZER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "engine/CAnalyzer.h"
#include "engine/CWordFinder.h"
#include "engine/EngineText.h"
#include "engine/morv.h"
#include "tagging/TagCodes.h"

class CModel;

// Analyses a caller's text, UTF-8 or GBK, and lists its tokens with offsets into
// that text: the engine works on GBK, so the text is converted on the way in and
// every token is mapped back to the bytes and characters it came from. One
// tokenizer serves one thread at a time.
class CTokenizer {
public:
    explicit CTokenizer(const CModel& model);
    virtual ~CTokenizer() = default;

    // A morv_status; on failure error says what and where.
    int Analyze(const char* text, size_t length, unsigned options, std::string* error);
    const std::vector<morv_token>& Tokens() const { return tokens; }
    // Token index of the last Analyze as the engine read it, in UTF-8: the
    // caller's characters as the dictionaries spell them.
    std::string EngineWordUtf8(size_t index) const;
    // The words of token index of the last Analyze (a compound), else none.
    std::pair<const morv_part*, size_t> Parts(size_t index) const;
    // Every word the dictionaries know in text, overlapping (morv_dictionary_words).
    int DictionaryWords(const char* text, size_t length, unsigned options, std::string* error);
    const std::vector<morv_token>& Words() const { return dictionaryWords; }
    // The page's token part for text (GBK HTML).
    int AnalyzeHtml(const char* text, size_t length, unsigned options, std::string* error);
    const std::string& Html() const { return html; }
    bool IsComplete() const { return analyzer.IsComplete(); }

    // Where a text may be cut without changing its analysis (see morv_cut_point);
    // without a character table no sentence end is known.
    static size_t CutPoint(const CCharset* charset, const char* data, size_t size, bool utf8);

    // For each token of an analysed sentence, the byte offset where a full
    // Chinese person name's surname ends (the first of its tokens before the
    // name was merged), else -1.
    static void NameSplits(const CSentence& sentence, int32_t personWordId, std::vector<int32_t>& splits);

private:
    // Checks the text and builds the engine's text from it.
    int Prepare(const char* text, size_t length, unsigned options, std::string* error);
    void AddSentence(const CSentence& sentence);
    // The words of the sentence's compound tokens into wordOffsets and words, a
    // person name among them as surname and given name; false when it has none.
    bool CompoundWords(const CSentence& sentence);
    unsigned FlagsOf(const TokenRecord& token) const;
    // In search mode: after token i of the sentence (engine bytes [g0, g1)),
    // the words inside it, as sub-tokens.
    // Tokens first..last of the sentence make one token (a long unit).
    void AddSubTokens(const CAnalyzer::Sentence& sentence, int first, int last, size_t g0, size_t g1);
    // With MORV_LONG_UNITS: the index just past the long unit that begins at
    // token i of the sentence (numerals and their measure word, a run of time
    // words), i + 1 when none begins there.
    int LongUnitEnd(const CSentence& sentence, int i) const;
    // Tokens [first, end) of the sentence as one token, its words as parts.
    void AddLongUnit(const CSentence& sentence, int first, int end, bool compounds);
    // A token of the caller's text for engine bytes [g0, g1).
    morv_token MakeToken(size_t g0, size_t g1, uint8_t tag, unsigned flags) const;

    const CModel& model;
    CAnalyzer analyzer;
    CWordFinder finder;
    bool search = false; // MORV_SEARCH in the options of the running Analyze
    bool longUnits = false; // MORV_LONG_UNITS in the options of the running Analyze
    std::vector<CWordFinder::Word> found;
    std::vector<morv_token> dictionaryWords; // of the last DictionaryWords
    EngineText engineText;
    std::vector<morv_token> tokens;
    std::vector<std::pair<size_t, size_t>> engineSpans; // of tokens, engine bytes
    // The words of compound tokens: those of tokens[i] are parts[partRanges[i].first]
    // and the partRanges[i].second after it (partRanges is empty without compounds).
    std::vector<morv_part> parts;
    std::vector<std::pair<size_t, size_t>> partRanges;
    // Per sentence, reused.
    std::vector<int32_t> splits;
    std::vector<int32_t> wordOffsets;
    std::vector<TokenPart> words;
    std::string html;
    const char* tagNames[256];
    int symbolTag = -1; // code of "w"
    int classifierTag = -1;        // code of "q"
    int numeralClassifierTag = -1; // code of "mq"
    SpecialWords ids;
    EntityWords entityWords;
};

#endif
