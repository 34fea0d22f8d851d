// morv.hpp: the Morv library for C++, a thin layer over the C interface of
// morv.h. Failures throw morv::Error (status and message); the C interface
// underneath never throws.
//
//     morv::Model model;                      // the default model directory
//     morv::Analyzer analyzer(model);         // one per thread
//     for (const morv::Token& t : analyzer.Analyze("今天天气很好"))
//         std::cout << t.word << '/' << t.tag << '\n';
//
// A Model may be shared by any number of threads (copies share one model); an
// Analyzer serves one thread at a time.
#ifndef MORV_HPP
#define MORV_HPP

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "morv.h"

namespace morv {

class Error : public std::runtime_error {
public:
    Error(int status, const std::string& message) : std::runtime_error(message), status_(status) {}
    int Status() const { return status_; }

private:
    int status_;
};

namespace detail {
inline void Check(int status)
{
    if (status != MORV_OK)
        throw Error(status, morv_last_error());
}
// A path goes to the C interface as a C string: one holding a NUL would be cut
// there and name another file.
inline void CheckPath(const std::string& path, const char* what)
{
    if (path.find('\0') != std::string::npos)
        throw Error(MORV_E_ARGUMENT, std::string(what) + " holds a NUL byte");
}
} // namespace detail

enum class Encoding : unsigned { Utf8 = MORV_UTF8, Gbk = MORV_GBK };
// Traditional Chinese: Auto converts each sentence that reads as traditional
// to simplified for the analysis, On every sentence, Off none; the tokens keep
// the caller's characters (see morv.h).
enum class Traditional : unsigned { Auto = 0, On = MORV_TRADITIONAL_ON, Off = MORV_TRADITIONAL_OFF };
// Search mode: each token is followed by the dictionary words inside it, as
// sub-tokens (MORV_FLAG_SUBTOKEN); see morv.h. LongUnits: the long-unit standard (numeral + measure word, dates and times as
// one token each; MORV_LONG_UNITS), a standard, not an accuracy gain. Modes
// combine with |: Mode::Search | Mode::LongUnits.
enum class Mode : unsigned { Normal = 0, Search = MORV_SEARCH, LongUnits = MORV_LONG_UNITS };
inline constexpr Mode operator|(Mode a, Mode b)
{
    return static_cast<Mode>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}

// A word of a compound token (a place or organisation name of several words).
struct Part {
    std::string_view word;
    std::string_view tag;
    size_t start = 0; // bytes
    size_t end = 0;
};

// One token; word and tag view the caller's text and the model's tag names.
struct Token {
    std::string_view word;
    std::string_view tag;
    size_t start = 0;     // bytes
    size_t end = 0;
    size_t charStart = 0; // characters
    size_t charEnd = 0;
    unsigned flags = 0;   // MORV_FLAG_*
    size_t nameSplit = 0; // person names: byte offset where the surname ends, else 0
    std::vector<Part> parts; // a compound's words (MORV_FLAG_COMPOUND), else empty

    bool Has(unsigned flag) const { return (flags & flag) != 0; }
};

// A keyword of a text (Analyzer::Keywords): its first occurrence and weight.
struct Keyword {
    std::string_view word; // views the caller's text
    std::string_view tag;
    double weight = 0;
    size_t start = 0;      // bytes
    size_t end = 0;
    size_t charStart = 0;  // characters
    size_t charEnd = 0;
};

// How keywords are weighed; see morv_keywords.
enum class KeywordMethod : unsigned { TfIdf = 0, TextRank = MORV_TEXTRANK };

// What Analyzer::Keywords takes beyond the text.
struct KeywordOptions {
    size_t top = 20;                 // 0: every candidate
    KeywordMethod method = KeywordMethod::TfIdf;
    std::vector<std::string> tags;   // the tags a keyword may have; empty: any
    bool byTag = false;              // with tags: a word under two tags is two keywords
    Traditional traditional = Traditional::Auto;
};

inline const char* Version() { return morv_version(); }

class Model {
public:
    // Opens the model in dir; empty: the default directory (morv_default_model_dir).
    explicit Model(const std::string& dir = std::string())
    {
        detail::CheckPath(dir, "the model directory");
        morv_model* m = nullptr;
        detail::Check(morv_model_open(dir.empty() ? nullptr : dir.c_str(), &m));
        model_.reset(m, morv_model_free);
    }
    // With keys of Configure.xml set for this model only ("NewWords=off").
    Model(const std::string& dir, const std::vector<std::string>& settings)
    {
        detail::CheckPath(dir, "the model directory");
        std::vector<const char*> texts;
        for (const std::string& setting : settings)
            texts.push_back(setting.c_str());
        morv_model* m = nullptr;
        detail::Check(morv_model_open_with(dir.empty() ? nullptr : dir.c_str(), texts.data(), texts.size(), &m));
        model_.reset(m, morv_model_free);
    }

    std::string Dir() const { return morv_model_dir(model_.get()); }
    // Adds a word for later analyses (frequency < 0: the models'; tag empty: the tagger's).
    void AddWord(std::string_view word, long frequency = -1, const std::string& tag = std::string(),
                 Encoding encoding = Encoding::Utf8)
    {
        detail::Check(morv_model_add_word(model_.get(), word.data(), word.size(), frequency,
                                          tag.empty() ? nullptr : tag.c_str(), static_cast<unsigned>(encoding)));
    }
    // Loads a "word [frequency] [tag]" list (UTF-8 or GBK); returns the entries taken.
    size_t LoadUserDict(const std::string& path)
    {
        detail::CheckPath(path, "the word list's path");
        size_t added = 0;
        detail::Check(morv_model_load_userdict(model_.get(), path.c_str(), &added));
        return added;
    }
    size_t UserWordCount() const { return morv_model_user_word_count(model_.get()); }
    // Keyword extraction's IDF table ("word idf" lines, jieba's format) and
    // stop words (a word a line); an empty path: the model's own again.
    void SetIdf(const std::string& path)
    {
        detail::Check(morv_model_set_idf(model_.get(), path.empty() ? nullptr : path.c_str()));
    }
    void SetStopWords(const std::string& path)
    {
        detail::Check(morv_model_set_stop_words(model_.get(), path.empty() ? nullptr : path.c_str()));
    }
    std::string Describe() const { return morv_model_describe(model_.get()); }
    // Where data (no line feed in it) may be cut without changing its analysis.
    size_t CutPoint(std::string_view data, Encoding encoding = Encoding::Utf8) const
    {
        return morv_cut_point(model_.get(), data.data(), data.size(), static_cast<unsigned>(encoding));
    }

    const morv_model* Get() const { return model_.get(); }

private:
    std::shared_ptr<morv_model> model_;
};

class Analyzer {
public:
    explicit Analyzer(const Model& model) : model_(model)
    {
        morv_analyzer* a = nullptr;
        detail::Check(morv_analyzer_new(model.Get(), &a));
        analyzer_.reset(a);
    }

    // The tokens of text, in order; they view text, which must outlive them.
    // Mode::Search adds the words inside each token after it (sub-tokens).
    std::vector<Token> Analyze(std::string_view text, Encoding encoding = Encoding::Utf8, bool lenient = false,
                               Mode mode = Mode::Normal, Traditional traditional = Traditional::Auto)
    {
        std::vector<Token> out;
        Analyze(text, out, encoding, lenient, mode, traditional);
        return out;
    }
    std::vector<Token> Analyze(std::string_view text, Mode mode) { return Analyze(text, Encoding::Utf8, false, mode); }
    void Analyze(std::string_view text, std::vector<Token>& out, Encoding encoding = Encoding::Utf8,
                 bool lenient = false, Mode mode = Mode::Normal, Traditional traditional = Traditional::Auto)
    {
        const auto raw = AnalyzeRaw(text, encoding, lenient, mode, traditional);
        out.clear();
        out.reserve(raw.second);
        for (size_t i = 0; i < raw.second; ++i) {
            out.push_back(MakeToken(raw.first[i]));
            if (raw.first[i].flags & MORV_FLAG_COMPOUND) {
                const auto parts = PartsRaw(i);
                for (size_t k = 0; k < parts.second; ++k) {
                    const morv_part& p = parts.first[k];
                    out.back().parts.push_back(
                        Part{std::string_view(text.data() + p.start, p.end - p.start), p.tag, p.start, p.end});
                }
            }
        }
    }
    // The raw tokens of the C interface, valid until the next call (no copies).
    std::pair<const morv_token*, size_t> AnalyzeRaw(std::string_view text, Encoding encoding = Encoding::Utf8,
                                                    bool lenient = false, Mode mode = Mode::Normal,
                                                    Traditional traditional = Traditional::Auto)
    {
        const morv_token* tokens = nullptr;
        size_t count = 0;
        detail::Check(morv_analyze(analyzer_.get(), text.data(), text.size(),
                                   Options(encoding, lenient) | static_cast<unsigned>(mode) |
                                       static_cast<unsigned>(traditional),
                                   &tokens, &count));
        return {tokens, count};
    }
    // Every word the dictionaries know anywhere in text, overlapping, ordered by
    // start and then length (two characters and more; one and more with
    // singleChars): what a full-mode cut lists. They view text.
    std::vector<Token> DictionaryWords(std::string_view text, bool singleChars = false,
                                       Encoding encoding = Encoding::Utf8, bool lenient = false,
                                       Traditional traditional = Traditional::Auto)
    {
        const morv_token* words = nullptr;
        size_t count = 0;
        detail::Check(morv_dictionary_words(analyzer_.get(), text.data(), text.size(),
                                            Options(encoding, lenient) | (singleChars ? MORV_SINGLE_CHARS : 0u) |
                                                static_cast<unsigned>(traditional),
                                            &words, &count));
        std::vector<Token> out;
        out.reserve(count);
        for (size_t i = 0; i < count; ++i)
            out.push_back(MakeToken(words[i]));
        return out;
    }
    // The words of token index of the last AnalyzeRaw or Analyze (a compound),
    // valid as long as its tokens; none for a token of one word.
    std::pair<const morv_part*, size_t> PartsRaw(size_t index) const
    {
        const morv_part* parts = nullptr;
        size_t count = 0;
        detail::Check(morv_token_parts(analyzer_.get(), index, &parts, &count));
        return {parts, count};
    }
    // The keywords of text, heaviest first; they view text.
    std::vector<Keyword> Keywords(std::string_view text, const KeywordOptions& options = KeywordOptions(),
                                  Encoding encoding = Encoding::Utf8, bool lenient = false)
    {
        std::string tags;
        for (const std::string& t : options.tags)
            tags += (tags.empty() ? "" : " ") + t;
        const morv_keyword* found = nullptr;
        size_t count = 0;
        detail::Check(morv_keywords(analyzer_.get(), text.data(), text.size(),
                                    Options(encoding, lenient) | static_cast<unsigned>(options.method) |
                                        (options.byTag ? MORV_KEYWORD_TAGS : 0u) |
                                        static_cast<unsigned>(options.traditional),
                                    options.top, tags.c_str(), &found, &count));
        std::vector<Keyword> out;
        out.reserve(count);
        for (size_t i = 0; i < count; ++i) {
            const morv_keyword& k = found[i];
            out.push_back(Keyword{std::string_view(k.word, k.length), k.tag, k.weight, k.start, k.end,
                                  k.char_start, k.char_end});
        }
        return out;
    }
    std::vector<Keyword> Keywords(std::string_view text, size_t top,
                                  KeywordMethod method = KeywordMethod::TfIdf)
    {
        KeywordOptions options;
        options.top = top;
        options.method = method;
        return Keywords(text, options);
    }
    // The result page's token part for text (GBK HTML); a page is PageHead(),
    // the parts, PageTail(). Valid until the next call.
    std::string_view AnalyzeHtml(std::string_view text, Encoding encoding = Encoding::Utf8, bool lenient = false,
                                 Traditional traditional = Traditional::Auto)
    {
        const char* html = nullptr;
        size_t size = 0;
        detail::Check(morv_analyze_html(analyzer_.get(), text.data(), text.size(),
                                        Options(encoding, lenient) | static_cast<unsigned>(traditional), &html,
                                        &size));
        return std::string_view(html, size);
    }
    static std::string_view PageHead() { return morv_html_head(); }
    static std::string_view PageTail() { return morv_html_tail(); }

    const Model& GetModel() const { return model_; }

private:
    static Token MakeToken(const morv_token& t)
    {
        Token token;
        token.word = std::string_view(t.word, t.length);
        token.tag = t.tag;
        token.start = t.start;
        token.end = t.end;
        token.charStart = t.char_start;
        token.charEnd = t.char_end;
        token.flags = t.flags;
        token.nameSplit = t.name_split;
        return token;
    }
    static unsigned Options(Encoding encoding, bool lenient)
    {
        return static_cast<unsigned>(encoding) | (lenient ? MORV_LENIENT : 0u);
    }
    struct Free {
        void operator()(morv_analyzer* a) const { morv_analyzer_free(a); }
    };
    Model model_; // keeps the model alive as long as the analyser
    std::unique_ptr<morv_analyzer, Free> analyzer_;
};

} // namespace morv

#endif
