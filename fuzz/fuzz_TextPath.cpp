// libFuzzer target: arbitrary text through the whole analysis with the real
// trained models, by the library's token interface and by the result page
// (EngineWriteHtml), with and without user words, in search mode and not, and
// the dictionary words. The oracle: tokens tile the text (bytes and
// characters), sub-tokens lie inside the token before them, every sentence
// ends with a flagged token, name splits lie inside their token, dictionary
// words lie in the text in order, and the page is complete.
//
// The models: $MORV_FUZZ_MODEL, else build/bin/Morv of the source tree. The
// target copies them to its temporary directory, since the page's engine writes
// its log and user dictionary there.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "engine/morv.h"
#include "fuzz/FuzzInput.h"

#ifndef MORV_FUZZ_SOURCE_DIR
#define MORV_FUZZ_SOURCE_DIR "."
#endif

namespace {

struct Models {
    morv_model* plain = nullptr;
    morv_model* withWords = nullptr;
    morv_analyzer* plainAnalyzer = nullptr;
    morv_analyzer* wordsAnalyzer = nullptr;
    std::string pagePath;
    std::string head;
    std::string tail;
};

Models* models = nullptr;

void Fail(const char* what)
{
    std::fprintf(stderr, "fuzz_TextPath: %s\n", what);
    std::abort();
}

void CheckTokens(const char* text, size_t size, const morv_token* tokens, size_t count)
{
    if (size == 0) {
        if (count != 0)
            Fail("tokens for an empty text");
        return;
    }
    if (count == 0)
        Fail("no tokens for a text");
    size_t at = 0, chars = 0;
    const morv_token* holder = nullptr;
    for (size_t i = 0; i < count; ++i) {
        const morv_token& t = tokens[i];
        if (t.flags & MORV_FLAG_SUBTOKEN) {
            // Search mode: a word inside the token before it.
            if (holder == nullptr || t.start < holder->start || t.end > holder->end || t.end <= t.start ||
                t.end - t.start >= holder->end - holder->start || t.word != text + t.start ||
                t.char_end < t.char_start + 2 || t.tag == nullptr || (t.flags & MORV_FLAG_SENTENCE_END))
                Fail("a sub-token outside its token");
            continue;
        }
        holder = &t;
        if (t.start != at || t.end <= t.start || t.end > size)
            Fail("tokens do not tile the text");
        if (t.word != text + t.start || t.length != t.end - t.start)
            Fail("a token's word is not its bytes of the text");
        if (t.char_start != chars || t.char_end <= t.char_start)
            Fail("tokens do not tile the characters");
        if (t.name_split != 0 && (t.name_split <= t.start || t.name_split >= t.end))
            Fail("a name split outside its token");
        if (t.tag == nullptr)
            Fail("a token without a tag");
        at = t.end;
        chars = t.char_end;
    }
    if (at != size)
        Fail("the tokens stop before the end of the text");
    if ((holder->flags & MORV_FLAG_SENTENCE_END) == 0)
        Fail("the last sentence has no end");
}

// The dictionary words: inside the text, ordered by start and then end.
void CheckWords(const char* text, size_t size, const morv_token* words, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const morv_token& w = words[i];
        if (w.end <= w.start || w.end > size || w.word != text + w.start || w.length != w.end - w.start ||
            w.tag == nullptr)
            Fail("a dictionary word outside the text");
        if (i > 0 && (words[i - 1].start > w.start || (words[i - 1].start == w.start && words[i - 1].end >= w.end)))
            Fail("dictionary words out of order");
    }
}

std::string ReadAll(const std::string& path)
{
    std::string out;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        return out;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        out.append(buf, n);
    std::fclose(f);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    const char* env = std::getenv("MORV_FUZZ_MODEL");
    const std::string source = env != nullptr && *env != 0 ? env : std::string(MORV_FUZZ_SOURCE_DIR) + "/build/bin/Morv";
    const std::string base = fuzzinput::TempPath("models");
    if (std::system(("rm -rf '" + base + "' && cp -r '" + source + "' '" + base + "'").c_str()) != 0)
        Fail("cannot copy the models (set MORV_FUZZ_MODEL)");
    models = new Models();
    if (morv_model_open(base.c_str(), &models->plain) != MORV_OK ||
        morv_model_open(base.c_str(), &models->withWords) != MORV_OK) {
        std::fprintf(stderr, "%s\n", morv_last_error());
        Fail("cannot open the models");
    }
    // User words of every kind: new words, a core word with a tag, a word that
    // spans a sentence end, one-byte words.
    const char* words[] = {"\xE9\x97\xA8\xE6\x8A\x8A\xE6\x89\x8B", "\xE5\x8C\x97\xE4\xBA\xAC", "\xE3\x80\x82\xE4\xBB\x96",
                           "ab", "a", "\xE6\xB1\x9F"};
    const char* tags[] = {"n", "nz", nullptr, "nx", nullptr, "nr"};
    for (size_t i = 0; i < sizeof words / sizeof words[0]; ++i)
        morv_model_add_word(models->withWords, words[i], MORV_NUL_TERMINATED, i % 2 == 0 ? 5 : -1, tags[i], MORV_UTF8);
    morv_analyzer_new(models->plain, &models->plainAnalyzer);
    morv_analyzer_new(models->withWords, &models->wordsAnalyzer);
    if (!EngineInit(base.c_str()))
        Fail("EngineInit fails on the models");
    const std::string list = fuzzinput::TempPath("list.txt");
    fuzzinput::WriteAll(list, "\xC3\xC5\xB0\xD1\xCA\xD6\nab\n\xA1\xA3\xCB\xFB\n", 16);
    EngineImportUserDict(list.c_str());
    models->pagePath = fuzzinput::TempPath("page.htm");
    models->head = morv_html_head();
    models->tail = morv_html_tail();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const unsigned mode = data[0];
    const char* text = reinterpret_cast<const char*>(data + 1);
    const size_t length = size - 1;
    morv_analyzer* analyzer = (mode & 4) ? models->wordsAnalyzer : models->plainAnalyzer;
    const unsigned options = ((mode & 1) ? MORV_GBK : MORV_UTF8) | ((mode & 2) ? MORV_LENIENT : 0u) |
                             ((mode & 16) ? MORV_SEARCH : 0u);
    const morv_token* tokens = nullptr;
    size_t count = 0;
    const int status = morv_analyze(analyzer, text, length, options, &tokens, &count);
    if (status == MORV_OK)
        CheckTokens(text, length, tokens, count);
    else if ((mode & 2) != 0)
        Fail("a lenient analysis failed");
    else if (status != MORV_E_ENCODING && status != MORV_E_NUL)
        Fail("an unexpected error");

    if (mode & 32) {
        const int listed = morv_dictionary_words(analyzer, text, length, options | MORV_SINGLE_CHARS, &tokens, &count);
        if (listed == MORV_OK)
            CheckWords(text, length, tokens, count);
        else if (listed != status)
            Fail("the dictionary words fail where the analysis does not");
    }

    if (mode & 8) {
        // The page of the text up to its first NUL, as the classic entry reads it.
        const std::string nulTerminated(text, strnlen(text, length));
        if (!EngineWriteHtml(nulTerminated.c_str(), models->pagePath.c_str()))
            Fail("EngineWriteHtml failed");
        const std::string page = ReadAll(models->pagePath);
        if (page.size() < models->head.size() + models->tail.size() ||
            page.compare(0, models->head.size(), models->head) != 0 ||
            page.compare(page.size() - models->tail.size(), models->tail.size(), models->tail) != 0)
            Fail("an incomplete page");
    }
    return 0;
}
