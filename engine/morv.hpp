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
// Search mode: each token is followed by the dictionary words inside it, as
// sub-tokens (MORV_FLAG_SUBTOKEN); see morv.h.
enum class Mode : unsigned { Normal = 0, Search = MORV_SEARCH };

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
                               Mode mode = Mode::Normal)
    {
        std::vector<Token> out;
        Analyze(text, out, encoding, lenient, mode);
        return out;
    }
    std::vector<Token> Analyze(std::string_view text, Mode mode) { return Analyze(text, Encoding::Utf8, false, mode); }
    void Analyze(std::string_view text, std::vector<Token>& out, Encoding encoding = Encoding::Utf8,
                 bool lenient = false, Mode mode = Mode::Normal)
    {
        const auto raw = AnalyzeRaw(text, encoding, lenient, mode);
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
                                                    bool lenient = false, Mode mode = Mode::Normal)
    {
        const morv_token* tokens = nullptr;
        size_t count = 0;
        detail::Check(morv_analyze(analyzer_.get(), text.data(), text.size(),
                                   Options(encoding, lenient) | static_cast<unsigned>(mode), &tokens, &count));
        return {tokens, count};
    }
    // Every word the dictionaries know anywhere in text, overlapping, ordered by
    // start and then length (two characters and more; one and more with
    // singleChars): what a full-mode cut lists. They view text.
    std::vector<Token> DictionaryWords(std::string_view text, bool singleChars = false,
                                       Encoding encoding = Encoding::Utf8, bool lenient = false)
    {
        const morv_token* words = nullptr;
        size_t count = 0;
        detail::Check(morv_dictionary_words(analyzer_.get(), text.data(), text.size(),
                                            Options(encoding, lenient) | (singleChars ? MORV_SINGLE_CHARS : 0u),
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
    // The result page's token part for text (GBK HTML); a page is PageHead(),
    // the parts, PageTail(). Valid until the next call.
    std::string_view AnalyzeHtml(std::string_view text, Encoding encoding = Encoding::Utf8, bool lenient = false)
    {
        const char* html = nullptr;
        size_t size = 0;
        detail::Check(morv_analyze_html(analyzer_.get(), text.data(), text.size(), Options(encoding, lenient),
                                        &html, &size));
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
