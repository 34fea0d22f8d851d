// The library's C interface (morv.h) over CModel and CTokenizer. No exception
// leaves these functions: every failure becomes a status and a message.
#include "engine/morv.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fstream>
#include <iterator>
#include <memory>
#include <new>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "engine/CModel.h"
#include "engine/CTokenizer.h"
#include "engine/HtmlPage.h"
#include "engine/TextCodec.h"
#include "lexicon/ListTags.h"

#ifndef MORV_BUILD_MODEL_DIR
#define MORV_BUILD_MODEL_DIR ""
#endif
#ifndef MORV_RELATIVE_MODEL_DIR
#define MORV_RELATIVE_MODEL_DIR "../share/morv"
#endif

struct morv_model {
    CModel model;
    std::string dir;
    std::string description;
};

struct morv_analyzer {
    explicit morv_analyzer(const CModel& model) : tokenizer(model) {}
    CTokenizer tokenizer;
};

namespace {

thread_local std::string lastError;

int Fail(int status, const std::string& message)
{
    lastError = message;
    return status;
}

// Option bits a function does not know are refused rather than ignored: a
// caller built for a later version, or passing the wrong constant, would
// otherwise get an analysis it did not ask for without a word.
bool UnknownOptions(unsigned options, unsigned known, const char* function, int* status)
{
    if ((options & ~known) == 0)
        return false;
    char bits[16];
    std::snprintf(bits, sizeof bits, "0x%X", options & ~known);
    *status = Fail(MORV_E_ARGUMENT, std::string(function) + ": unknown option bits " + bits);
    return true;
}

bool HasConfig(const std::string& dir)
{
    struct stat st {};
    return !dir.empty() && ::stat((dir + "/Configure.xml").c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string FindDefaultModelDir()
{
    const char* home = std::getenv("MORV_HOME");
    if (home != nullptr && *home != '\0')
        return home;
    // Installed: PREFIX/lib/libmorv.so finds PREFIX/share/morv, wherever PREFIX was moved.
    Dl_info info {};
    std::string installed;
    if (::dladdr(reinterpret_cast<void*>(&morv_version), &info) != 0 && info.dli_fname != nullptr) {
        std::string lib = info.dli_fname;
        const size_t slash = lib.rfind('/');
        if (slash != std::string::npos) {
            installed = lib.substr(0, slash) + "/" + MORV_RELATIVE_MODEL_DIR;
            if (HasConfig(installed))
                return installed;
        }
    }
    const std::string built = MORV_BUILD_MODEL_DIR;
    if (HasConfig(built))
        return built;
    return installed.empty() ? built : installed;
}

// Converts a word to the engine's GBK; false with a reason when it cannot be.
bool ToGbk(const char* data, size_t size, bool utf8, std::string& out, std::string& why)
{
    out.clear();
    if (std::memchr(data, 0, size) != nullptr) {
        why = "it holds a NUL byte";
        return false;
    }
    const unsigned char* s = reinterpret_cast<const unsigned char*>(data);
    const TextCodec& codec = TextCodec::Instance();
    for (size_t i = 0; i < size;) {
        if (s[i] < 0x80) {
            out += static_cast<char>(s[i++]);
            continue;
        }
        if (!utf8) {
            if (s[i] == 0x80 || s[i] == 0xFF || TextCodec::GbkUnitLength(s + i, size - i) != 2) {
                why = "invalid GBK at byte offset " + std::to_string(i);
                return false;
            }
            out.append(data + i, 2);
            i += 2;
            continue;
        }
        uint32_t cp = 0;
        const int n = TextCodec::DecodeUtf8(s + i, size - i, &cp);
        if (n <= 0) {
            why = "invalid UTF-8 at byte offset " + std::to_string(i);
            return false;
        }
        const unsigned code = codec.UnicodeToGbk(cp);
        if (code == 0) {
            char hex[16];
            std::snprintf(hex, sizeof hex, "U+%04X", static_cast<unsigned>(cp));
            why = std::string("it holds the character ") + hex + ", which the analyser cannot read";
            return false;
        }
        out += static_cast<char>(code >> 8);
        out += static_cast<char>(code & 0xFF);
        i += static_cast<size_t>(n);
    }
    return true;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::vector<std::string> Fields(const std::string& line)
{
    std::vector<std::string> fields;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && IsBlank(line[i]))
            ++i;
        size_t j = i;
        while (j < line.size() && !IsBlank(line[j]))
            ++j;
        if (j > i)
            fields.push_back(line.substr(i, j - i));
        i = j;
    }
    return fields;
}

bool ParseFrequency(const std::string& field, long long* value)
{
    if (field.empty() || field.size() > 12)
        return false;
    long long v = 0;
    for (char c : field) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    *value = v;
    return true;
}

// What a listing of tokens says of itself: its name, and its messages for
// memory running out and for any other failure.
struct ListingMessages {
    const char* name;
    const char* outOfMemory;
    const char* failed;
};

// Runs one of the analyser's listings (the analysis, the dictionary words) and
// hands out its tokens, every failure turned into a status.
int List(morv_analyzer* analyzer, const char* text, size_t length, unsigned options, const morv_token** tokens,
         size_t* count, int (CTokenizer::*run)(const char*, size_t, unsigned, std::string*),
         const std::vector<morv_token>& (CTokenizer::*result)() const, const ListingMessages& messages)
{
    if (tokens != nullptr)
        *tokens = nullptr;
    if (count != nullptr)
        *count = 0;
    if (analyzer == nullptr || tokens == nullptr || count == nullptr)
        return Fail(MORV_E_ARGUMENT, std::string(messages.name) + ": a null analyser or result pointer");
    try {
        std::string error;
        const int status = (analyzer->tokenizer.*run)(text, length, options, &error);
        if (status != MORV_OK)
            return Fail(status, error);
        const std::vector<morv_token>& list = (analyzer->tokenizer.*result)();
        *tokens = list.empty() ? nullptr : list.data();
        *count = list.size();
        return MORV_OK;
    } catch (const std::bad_alloc&) {
        return Fail(MORV_E_MEMORY, messages.outOfMemory);
    } catch (...) {
        return Fail(MORV_E_MEMORY, messages.failed);
    }
}

// The code of a tag given with a word: one of ours, or another analyser's that
// stands for one of ours; -1 when it is neither.
int ListTagCode(const CModel& model, const std::string& tag)
{
    int code = model.TagCode(tag);
    if (code < 0)
        if (const char* ours = ListTags::Ours(tag))
            code = model.TagCode(ours);
    return code >= 0 && code <= 254 ? code : -1;
}

} // namespace

extern "C" {

const char* morv_version(void)
{
    return MORV_VERSION_STRING;
}

const char* morv_strerror(int status)
{
    switch (status) {
    case MORV_OK: return "success";
    case MORV_E_ARGUMENT: return "invalid argument";
    case MORV_E_MODEL: return "the model cannot be loaded";
    case MORV_E_IO: return "a file cannot be read";
    case MORV_E_ENCODING: return "invalid text encoding";
    case MORV_E_NUL: return "NUL byte inside the text";
    case MORV_E_TAG: return "unknown tag";
    case MORV_E_LIST: return "unusable word list";
    case MORV_E_MEMORY: return "out of memory";
    default: return "unknown status";
    }
}

const char* morv_last_error(void)
{
    return lastError.c_str();
}

const char* morv_default_model_dir(void)
{
    static const std::string dir = FindDefaultModelDir();
    return dir.c_str();
}

int morv_model_open(const char* dir, morv_model** out)
{
    if (out == nullptr)
        return Fail(MORV_E_ARGUMENT, "morv_model_open: no place for the model (a null pointer)");
    *out = nullptr;
    try {
        std::unique_ptr<morv_model> m(new morv_model());
        m->dir = dir != nullptr ? dir : morv_default_model_dir();
        if (m->dir.empty())
            return Fail(MORV_E_MODEL, "no model directory: set MORV_HOME or pass a directory");
        std::string error;
        if (!m->model.Open(m->dir, &error))
            return Fail(MORV_E_MODEL, "cannot open the model in " + m->dir + ": " + error);
        *out = m.release();
        return MORV_OK;
    } catch (const std::bad_alloc&) {
        return Fail(MORV_E_MEMORY, "out of memory opening the model");
    } catch (...) {
        return Fail(MORV_E_MODEL, "cannot open the model");
    }
}

void morv_model_free(morv_model* model)
{
    delete model;
}

const char* morv_model_dir(const morv_model* model)
{
    return model != nullptr ? model->dir.c_str() : "";
}

int morv_model_add_word(morv_model* model, const char* word, size_t length, long frequency, const char* tag,
                        unsigned options)
{
    if (model == nullptr || word == nullptr)
        return Fail(MORV_E_ARGUMENT, "morv_model_add_word: a null model or word");
    int refused = MORV_OK;
    if (UnknownOptions(options, MORV_GBK, "morv_model_add_word", &refused))
        return refused;
    try {
        if (length == MORV_NUL_TERMINATED)
            length = std::strlen(word);
        std::string gbk, why;
        if (!ToGbk(word, length, (options & MORV_GBK) == 0, gbk, why))
            return Fail(why.find("NUL") != std::string::npos ? MORV_E_NUL : MORV_E_ENCODING,
                        "cannot add the word: " + why);
        std::string error;
        std::string tagName = tag != nullptr ? tag : "";
        if (!tagName.empty() && model->model.TagCode(tagName) < 0 && ListTagCode(model->model, tagName) >= 0)
            tagName = ListTags::Ours(tagName);
        if (!model->model.AddWord(gbk, frequency, tagName, &error))
            return Fail(error.compare(0, 7, "unknown") == 0 ? MORV_E_TAG : MORV_E_ARGUMENT,
                        "cannot add the word: " + error);
        return MORV_OK;
    } catch (const std::bad_alloc&) {
        return Fail(MORV_E_MEMORY, "out of memory adding a word");
    } catch (...) {
        return Fail(MORV_E_ARGUMENT, "cannot add the word");
    }
}

int morv_model_load_userdict(morv_model* model, const char* path, size_t* added)
{
    if (added != nullptr)
        *added = 0;
    if (model == nullptr || path == nullptr)
        return Fail(MORV_E_ARGUMENT, "morv_model_load_userdict: a null model or path");
    try {
        struct stat st {};
        if (::stat(path, &st) != 0)
            return Fail(MORV_E_IO, std::string("cannot read the word list ") + path + ": " + std::strerror(errno));
        if (!S_ISREG(st.st_mode))
            return Fail(MORV_E_IO, std::string("cannot read the word list ") + path + ": " +
                                       (S_ISDIR(st.st_mode) ? std::strerror(EISDIR) : "not a regular file"));
        std::ifstream in(path, std::ios::binary);
        if (!in)
            return Fail(MORV_E_IO, std::string("cannot read the word list ") + path + ": " + std::strerror(errno));
        std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (in.bad())
            return Fail(MORV_E_IO, std::string("cannot read the word list ") + path + ": read error");
        return morv_model_load_userdict_buffer(model, content.data(), content.size(), path, added);
    } catch (const std::bad_alloc&) {
        return Fail(MORV_E_MEMORY, "out of memory loading a word list");
    } catch (...) {
        return Fail(MORV_E_IO, "cannot load the word list");
    }
}

int morv_model_load_userdict_buffer(morv_model* model, const char* data, size_t size, const char* name,
                                    size_t* added)
{
    return morv_model_load_userdict_options(model, data, size, name, 0, nullptr, nullptr, added);
}

int morv_model_load_userdict_options(morv_model* model, const char* data, size_t size, const char* name,
                                     unsigned options, morv_warning_fn warn, void* user, size_t* added)
{
    if (added != nullptr)
        *added = 0;
    if (model == nullptr || (data == nullptr && size != 0))
        return Fail(MORV_E_ARGUMENT, "morv_model_load_userdict_buffer: a null model or data");
    int refused = MORV_OK;
    if (UnknownOptions(options, MORV_LIST_LENIENT, "morv_model_load_userdict_options", &refused))
        return refused;
    try {
        const std::string listName = name != nullptr ? name : "(word list)";
        const std::string content(data != nullptr ? data : "", size);
        size_t from = 0;
        if (content.compare(0, 3, "\xEF\xBB\xBF") == 0)
            from = 3; // a byte-order mark
        const bool utf8 = TextCodec::Detect(content.data() + from, content.size() - from, true) != Encoding::Gbk;
        std::vector<CUserWords::Entry> entries;
        size_t lineNo = 0;
        for (size_t pos = from; pos < content.size();) {
            size_t end = content.find('\n', pos);
            if (end == std::string::npos)
                end = content.size();
            const std::string line = content.substr(pos, end - pos);
            pos = end + 1;
            ++lineNo;
            const std::vector<std::string> fields = Fields(line);
            if (fields.empty())
                continue;
            const std::string where = listName + ":" + std::to_string(lineNo) + ": ";
            if (fields.size() > 3)
                return Fail(MORV_E_LIST, where + "more than three fields (expected: word [frequency] [tag])");
            CUserWords::Entry entry;
            std::string why;
            if (!ToGbk(fields[0].data(), fields[0].size(), utf8, entry.text, why))
                return Fail(MORV_E_LIST, where + "the word cannot be used: " + why);
            std::string tag;
            long long frequency = -1;
            if (fields.size() == 3) {
                // word frequency tag, or word tag frequency.
                if (ParseFrequency(fields[1], &frequency))
                    tag = fields[2];
                else if (ParseFrequency(fields[2], &frequency))
                    tag = fields[1];
                else
                    return Fail(MORV_E_LIST, where + "neither '" + fields[1] + "' nor '" + fields[2] +
                                                 "' is a frequency");
            } else if (fields.size() == 2 && !ParseFrequency(fields[1], &frequency)) {
                tag = fields[1];
            }
            if (!tag.empty()) {
                const int code = ListTagCode(model->model, tag);
                if (code >= 0)
                    entry.tag = static_cast<uint8_t>(code);
                else if (!(options & MORV_LIST_LENIENT))
                    return Fail(MORV_E_TAG, where + "unknown tag '" + tag + "'");
                else if (warn != nullptr)
                    warn(user, (where + "unknown tag '" + tag + "': the word is kept, the tagger gives its tag").c_str());
            }
            entry.frequency = frequency < 0 ? CUserWords::kNoFrequency
                                            : static_cast<int32_t>(frequency > INT_MAX / 2 ? INT_MAX / 2 : frequency);
            entries.push_back(std::move(entry));
        }
        model->model.AddWords(entries);
        if (added != nullptr)
            *added = entries.size();
        return MORV_OK;
    } catch (const std::bad_alloc&) {
        return Fail(MORV_E_MEMORY, "out of memory loading a word list");
    } catch (...) {
        return Fail(MORV_E_LIST, "cannot load the word list");
    }
}

const char* morv_model_describe(morv_model* model)
{
    if (model == nullptr)
        return "";
    try {
        model->description = model->model.Describe();
        return model->description.c_str();
    } catch (...) {
        return "";
    }
}

size_t morv_model_user_word_count(const morv_model* model)
{
    try {
        return model != nullptr ? model->model.UserWordCount() : 0;
    } catch (...) {
        return 0;
    }
}

int morv_analyzer_new(const morv_model* model, morv_analyzer** out)
{
    if (out == nullptr || model == nullptr)
        return Fail(MORV_E_ARGUMENT, "morv_analyzer_new: a null model or result pointer");
    *out = nullptr;
    try {
        std::unique_ptr<morv_analyzer> a(new morv_analyzer(model->model));
        if (!a->tokenizer.IsComplete())
            return Fail(MORV_E_MEMORY, "out of memory creating an analyser");
        *out = a.release();
        return MORV_OK;
    } catch (const std::bad_alloc&) {
        return Fail(MORV_E_MEMORY, "out of memory creating an analyser");
    } catch (...) {
        return Fail(MORV_E_MEMORY, "cannot create an analyser");
    }
}

void morv_analyzer_free(morv_analyzer* analyzer)
{
    delete analyzer;
}

int morv_analyze(morv_analyzer* analyzer, const char* text, size_t length, unsigned options,
                 const morv_token** tokens, size_t* count)
{
    int refused = MORV_OK;
    if (UnknownOptions(options, MORV_GBK | MORV_LENIENT | MORV_SEARCH, "morv_analyze", &refused)) {
        if (tokens != nullptr)
            *tokens = nullptr;
        if (count != nullptr)
            *count = 0;
        return refused;
    }
    return List(analyzer, text, length, options, tokens, count, &CTokenizer::Analyze, &CTokenizer::Tokens,
                {"morv_analyze", "out of memory analysing a text", "cannot analyse the text"});
}

int morv_dictionary_words(morv_analyzer* analyzer, const char* text, size_t length, unsigned options,
                          const morv_token** words, size_t* count)
{
    // Search mode is how the words are found anyway: the bit is taken.
    int refused = MORV_OK;
    if (UnknownOptions(options, MORV_GBK | MORV_LENIENT | MORV_SEARCH | MORV_SINGLE_CHARS, "morv_dictionary_words",
                       &refused)) {
        if (words != nullptr)
            *words = nullptr;
        if (count != nullptr)
            *count = 0;
        return refused;
    }
    return List(analyzer, text, length, options, words, count, &CTokenizer::DictionaryWords, &CTokenizer::Words,
                {"morv_dictionary_words", "out of memory listing the words of a text",
                 "cannot list the words of the text"});
}

int morv_token_parts(const morv_analyzer* analyzer, size_t index, const morv_part** parts, size_t* count)
{
    if (parts != nullptr)
        *parts = nullptr;
    if (count != nullptr)
        *count = 0;
    if (analyzer == nullptr || parts == nullptr || count == nullptr)
        return Fail(MORV_E_ARGUMENT, "morv_token_parts: a null analyser or result pointer");
    const std::vector<morv_token>& tokens = analyzer->tokenizer.Tokens();
    if (index >= tokens.size())
        return Fail(MORV_E_ARGUMENT, "morv_token_parts: token " + std::to_string(index) + " of " +
                                         std::to_string(tokens.size()));
    const std::pair<const morv_part*, size_t> found = analyzer->tokenizer.Parts(index);
    *parts = found.first;
    *count = found.second;
    return MORV_OK;
}

int morv_analyze_html(morv_analyzer* analyzer, const char* text, size_t length, unsigned options,
                      const char** html, size_t* size)
{
    if (html != nullptr)
        *html = "";
    if (size != nullptr)
        *size = 0;
    if (analyzer == nullptr || html == nullptr || size == nullptr)
        return Fail(MORV_E_ARGUMENT, "morv_analyze_html: a null analyser or result pointer");
    int refused = MORV_OK;
    if (UnknownOptions(options, MORV_GBK | MORV_LENIENT | MORV_SEARCH, "morv_analyze_html", &refused))
        return refused;
    try {
        std::string error;
        const int status = analyzer->tokenizer.AnalyzeHtml(text, length, options, &error);
        if (status != MORV_OK)
            return Fail(status, error);
        *html = analyzer->tokenizer.Html().c_str();
        *size = analyzer->tokenizer.Html().size();
        return MORV_OK;
    } catch (const std::bad_alloc&) {
        return Fail(MORV_E_MEMORY, "out of memory analysing a text");
    } catch (...) {
        return Fail(MORV_E_MEMORY, "cannot analyse the text");
    }
}

const char* morv_html_head(void)
{
    static const std::string head = HtmlPageHead();
    return head.c_str();
}

const char* morv_html_tail(void)
{
    static const std::string tail = HtmlPageTail();
    return tail.c_str();
}

size_t morv_cut_point(const morv_model* model, const char* data, size_t length, unsigned options)
{
    if (data == nullptr || length == 0)
        return 0;
    return CTokenizer::CutPoint(model != nullptr ? model->model.core.charset.get() : nullptr, data, length,
                                (options & MORV_GBK) == 0);
}

} // extern "C"
