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
#include <mutex>
#include <new>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>

#include "engine/CKeywordExtractor.h"
#include "engine/CKeywordTable.h"
#include "engine/CModel.h"
#include "engine/CTokenizer.h"
#include "engine/ForkGuard.h"
#include "engine/HtmlPage.h"
#include "engine/TextCodec.h"
#include "lexicon/ListTags.h"
#include "lexicon/Status.h"
#include "lexicon/WordList.h"

#ifndef MORV_BUILD_MODEL_DIR
#define MORV_BUILD_MODEL_DIR ""
#endif
#ifndef MORV_RELATIVE_MODEL_DIR
#define MORV_RELATIVE_MODEL_DIR "../share/morv"
#endif

struct morv_model {
    // The keyword lock is held while the tables are read from disk: a child
    // forked meanwhile must not inherit it taken.
    morv_model() { ForkGuard::Register(&keywordMutex, &keywordMutex, nullptr); }
    ~morv_model() { ForkGuard::Unregister(&keywordMutex); }
    morv_model(const morv_model&) = delete;
    morv_model& operator=(const morv_model&) = delete;

    CModel model;
    std::string dir;
    std::string description;
    // Keyword extraction's tables, read on first use (a model that never
    // extracts keywords never reads them) and replaced whole, so that an
    // extraction running on another thread keeps the one it started with.
    mutable std::mutex keywordMutex;
    mutable std::shared_ptr<const CKeywordTable> keywords;
};

struct morv_analyzer {
    explicit morv_analyzer(const morv_model& owner) : owner(owner), tokenizer(owner.model) {}
    const morv_model& owner;
    CTokenizer tokenizer;
    std::vector<morv_keyword> keywords; // of the last morv_keywords
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

// The bits every analysing call takes: encoding, leniency, the traditional
// conversion, the segmentation standard.
constexpr unsigned kTextOptions = MORV_GBK | MORV_LENIENT | MORV_TRADITIONAL_ON | MORV_TRADITIONAL_OFF | MORV_LONG_UNITS;

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

// The C status of an internal one.
int StatusCode(const Status& status)
{
    switch (status.code) {
    case Status::kOk: return MORV_OK;
    case Status::kArgument: return MORV_E_ARGUMENT;
    case Status::kEncoding: return MORV_E_ENCODING;
    case Status::kNul: return MORV_E_NUL;
    case Status::kTag: return MORV_E_TAG;
    case Status::kList: return MORV_E_LIST;
    }
    return MORV_E_ARGUMENT;
}

int Fail(const Status& status, const std::string& prefix = "")
{
    return Fail(StatusCode(status), prefix + status.message);
}

// Converts a word to the engine's GBK; a NUL or an encoding failure with the
// reason when it cannot be.
Status ToGbk(const char* data, size_t size, bool utf8, std::string& out)
{
    out.clear();
    if (std::memchr(data, 0, size) != nullptr)
        return Status(Status::kNul, "it holds a NUL byte");
    const unsigned char* s = reinterpret_cast<const unsigned char*>(data);
    const TextCodec& codec = TextCodec::Instance();
    for (size_t i = 0; i < size;) {
        if (s[i] < 0x80) {
            out += static_cast<char>(s[i++]);
            continue;
        }
        if (!utf8) {
            if (s[i] == 0x80 || s[i] == 0xFF || TextCodec::GbkUnitLength(s + i, size - i) != 2)
                return Status(Status::kEncoding, "invalid GBK at byte offset " + std::to_string(i));
            out.append(data + i, 2);
            i += 2;
            continue;
        }
        uint32_t cp = 0;
        const int n = TextCodec::DecodeUtf8(s + i, size - i, &cp);
        if (n <= 0)
            return Status(Status::kEncoding, "invalid UTF-8 at byte offset " + std::to_string(i));
        const unsigned code = codec.UnicodeToGbk(cp);
        if (code == 0) {
            char hex[16];
            std::snprintf(hex, sizeof hex, "U+%04X", static_cast<unsigned>(cp));
            return Status(Status::kEncoding,
                          std::string("it holds the character ") + hex + ", which the analyser cannot read");
        }
        out += static_cast<char>(code >> 8);
        out += static_cast<char>(code & 0xFF);
        i += static_cast<size_t>(n);
    }
    return Status();
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

// The model's own keyword files.
std::string OwnIdfPath(const morv_model& m)
{
    return m.model.DataPath("Keywords.idf");
}
std::string OwnStopWordsPath(const morv_model& m)
{
    return m.model.DataPath("stopwords.txt");
}

// The keyword tables in use, read from the model's files the first time; null
// with the reason when there is no IDF table. Called with keywordMutex held.
std::shared_ptr<const CKeywordTable> KeywordTables(const morv_model& m, std::string* error)
{
    if (!m.keywords) {
        auto table = std::make_shared<CKeywordTable>();
        std::string why;
        if (!table->LoadIdf(OwnIdfPath(m), &why)) {
            *error = "the model has no usable IDF table (" + why +
                     "): train it anew with morv-train, or name one with morv_model_set_idf";
            return nullptr;
        }
        // A model trained before there was a stop-word list still has keywords.
        table->LoadStopWords(OwnStopWordsPath(m), nullptr);
        m.keywords = std::move(table);
    }
    return m.keywords;
}

// Replaces one half of the keyword tables: load(table) reads the new half into
// a copy of the tables in use, which replaces them when it succeeds.
template <class Load>
int ReplaceKeywordTables(morv_model* model, const char* what, Load load)
{
    if (model == nullptr)
        return Fail(MORV_E_ARGUMENT, std::string("morv_model_set_") + what + ": a null model");
    try {
        std::lock_guard<std::mutex> lock(model->keywordMutex);
        std::shared_ptr<CKeywordTable> table;
        if (model->keywords) {
            table = std::make_shared<CKeywordTable>(*model->keywords);
        } else {
            table = std::make_shared<CKeywordTable>();
            std::string ignored;
            table->LoadIdf(OwnIdfPath(*model), &ignored);
            table->LoadStopWords(OwnStopWordsPath(*model), nullptr);
        }
        std::string error;
        const int status = load(*table, &error);
        if (status != MORV_OK)
            return Fail(status, error);
        if (table->IdfSize() == 0)
            return Fail(MORV_E_MODEL, "the model has no IDF table: name one with morv_model_set_idf");
        model->keywords = std::move(table);
        return MORV_OK;
    } catch (const std::bad_alloc&) {
        return Fail(MORV_E_MEMORY, "out of memory reading a keyword list");
    } catch (...) {
        return Fail(MORV_E_IO, "cannot read the keyword list");
    }
}

// A file a caller names: MORV_E_IO when it cannot be read (not a regular file).
bool ReadableFile(const char* path, std::string* error)
{
    struct stat st {};
    if (::stat(path, &st) != 0) {
        *error = std::string("cannot read ") + path + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        *error = std::string("cannot read ") + path + ": " + (S_ISDIR(st.st_mode) ? std::strerror(EISDIR) : "not a regular file");
        return false;
    }
    return true;
}

std::vector<std::string> TagList(const char* tags)
{
    std::vector<std::string> out;
    if (tags == nullptr)
        return out;
    std::string current;
    for (const char* p = tags;; ++p) {
        if (*p == '\0' || *p == ',' || WordList::IsBlank(*p) || *p == '\n') {
            if (!current.empty())
                out.push_back(current);
            current.clear();
            if (*p == '\0')
                break;
        } else {
            current += *p;
        }
    }
    return out;
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
    return morv_model_open_with(dir, nullptr, 0, out);
}

int morv_model_open_with(const char* dir, const char* const* settings, size_t count, morv_model** out)
{
    if (out == nullptr)
        return Fail(MORV_E_ARGUMENT, "morv_model_open: no place for the model (a null pointer)");
    *out = nullptr;
    if (settings == nullptr && count > 0)
        return Fail(MORV_E_ARGUMENT, "morv_model_open_with: no settings (a null pointer)");
    try {
        // The settings are the caller's mistakes, not the model's: checked
        // before anything is read.
        std::vector<CModel::Setting> chosen;
        for (size_t i = 0; i < count; ++i) {
            const char* text = settings[i];
            const char* equals = text != nullptr ? std::strchr(text, '=') : nullptr;
            if (equals == nullptr || equals == text)
                return Fail(MORV_E_ARGUMENT, std::string("setting \"") + (text != nullptr ? text : "(null)") +
                                                 "\": not KEY=VALUE");
            chosen.emplace_back(std::string(text, equals), std::string(equals + 1));
            std::string why;
            if (!CModel::CheckSetting(chosen.back().first, chosen.back().second, &why))
                return Fail(MORV_E_ARGUMENT, "setting " + why);
        }
        std::unique_ptr<morv_model> m(new morv_model());
        m->dir = dir != nullptr ? dir : morv_default_model_dir();
        if (m->dir.empty())
            return Fail(MORV_E_MODEL, "no model directory: set MORV_HOME or pass a directory");
        std::string error;
        if (!m->model.Open(m->dir, &error, chosen))
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
        std::string gbk;
        const Status converted = ToGbk(word, length, (options & MORV_GBK) == 0, gbk);
        if (!converted.Ok())
            return Fail(converted, "cannot add the word: ");
        std::string tagName = tag != nullptr ? tag : "";
        if (!tagName.empty() && model->model.TagCode(tagName) < 0 && ListTagCode(model->model, tagName) >= 0)
            tagName = ListTags::Ours(tagName);
        const Status added = model->model.AddWord(gbk, frequency, tagName);
        return added.Ok() ? MORV_OK : Fail(added, "cannot add the word: ");
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
        std::string content;
        content.reserve(static_cast<size_t>(st.st_size)); // no doubling copies for a large list
        content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
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
        // Read in place: a list of a million words is not copied whole.
        const char* text = data != nullptr ? data : "";
        const size_t from = WordList::BodyStart(text, size);
        const bool utf8 = TextCodec::Detect(text + from, size - from, true) != Encoding::Gbk;
        // Room for the entries and their texts (GBK is never longer than UTF-8),
        // reserved once; room reserved but not written takes no memory.
        CUserWordList words;
        words.Reserve(WordList::EntryBound(text, size), size - from);
        const Status read = WordList::Parse(text, size, listName, [&](const WordList::Entry& line) {
            CUserWords::Entry entry;
            const Status converted = ToGbk(line.word.data(), line.word.size(), utf8, entry.text);
            if (!converted.Ok())
                return Status(Status::kList, "the word cannot be used: " + converted.message);
            if (!line.tag.empty()) {
                const int code = ListTagCode(model->model, line.tag);
                if (code >= 0)
                    entry.tag = static_cast<uint8_t>(code);
                else if (!(options & MORV_LIST_LENIENT))
                    return Status(Status::kTag, "unknown tag '" + line.tag + "'");
                else if (warn != nullptr)
                    warn(user, (line.where + "unknown tag '" + line.tag + "': the word is kept, the tagger gives its tag")
                                   .c_str());
            }
            const long long frequency = line.frequency;
            entry.frequency = frequency < 0 ? CUserWords::kNoFrequency
                                            : static_cast<int32_t>(frequency > INT_MAX / 2 ? INT_MAX / 2 : frequency);
            words.Add(entry.text, entry.frequency, entry.tag);
            return Status();
        });
        if (!read.Ok())
            return Fail(read);
        const size_t count = words.Count();
        model->model.AddWords(std::move(words));
        if (added != nullptr)
            *added = count;
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
        std::unique_ptr<morv_analyzer> a(new morv_analyzer(*model));
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
    if (UnknownOptions(options, kTextOptions | MORV_SEARCH, "morv_analyze", &refused)) {
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
    if (UnknownOptions(options, kTextOptions | MORV_SEARCH | MORV_SINGLE_CHARS, "morv_dictionary_words",
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
    if (UnknownOptions(options, kTextOptions | MORV_SEARCH, "morv_analyze_html", &refused))
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

int morv_keywords(morv_analyzer* analyzer, const char* text, size_t length, unsigned options, size_t top,
                  const char* tags, const morv_keyword** keywords, size_t* count)
{
    if (keywords != nullptr)
        *keywords = nullptr;
    if (count != nullptr)
        *count = 0;
    if (analyzer == nullptr || keywords == nullptr || count == nullptr)
        return Fail(MORV_E_ARGUMENT, "morv_keywords: a null analyser or result pointer");
    int refused = MORV_OK;
    if (UnknownOptions(options,
                       MORV_GBK | MORV_LENIENT | MORV_TRADITIONAL_ON | MORV_TRADITIONAL_OFF | MORV_TEXTRANK |
                           MORV_KEYWORD_TAGS,
                       "morv_keywords", &refused))
        return refused;
    try {
        std::shared_ptr<const CKeywordTable> table;
        {
            std::lock_guard<std::mutex> lock(analyzer->owner.keywordMutex);
            std::string error;
            table = KeywordTables(analyzer->owner, &error);
            if (!table)
                return Fail(MORV_E_MODEL, error);
        }
        CKeywordExtractor::Options settings;
        settings.textRank = (options & MORV_TEXTRANK) != 0;
        settings.byTag = (options & MORV_KEYWORD_TAGS) != 0;
        settings.allowTags = TagList(tags);
        settings.top = top;
        CTokenizer& tokenizer = analyzer->tokenizer;
        std::string error;
        const int status = tokenizer.Analyze(text, length,
                                             options & (MORV_GBK | MORV_LENIENT | MORV_TRADITIONAL_ON |
                                                        MORV_TRADITIONAL_OFF),
                                             &error);
        if (status != MORV_OK)
            return Fail(status, error);
        const std::vector<morv_token>& tokens = tokenizer.Tokens();
        std::vector<CKeywordExtractor::Term> terms(tokens.size());
        for (size_t i = 0; i < tokens.size(); ++i) {
            const morv_token& t = tokens[i];
            CKeywordExtractor::Term& term = terms[i];
            term.key = tokenizer.EngineWordUtf8(i);
            term.tag = t.tag;
            term.chars = t.char_end - t.char_start;
            term.plain = (t.flags & (MORV_FLAG_NUMBER | MORV_FLAG_TIME | MORV_FLAG_LINE_BREAK |
                                     MORV_FLAG_SUBSTITUTED)) == 0 && term.tag != "w";
        }
        const std::vector<CKeywordExtractor::Keyword> found = CKeywordExtractor(*table).Extract(terms, settings);
        std::vector<morv_keyword>& out = analyzer->keywords;
        out.clear();
        out.reserve(found.size());
        for (const CKeywordExtractor::Keyword& k : found) {
            const morv_token& t = tokens[k.first];
            out.push_back(morv_keyword{t.word, t.length, t.tag, k.weight, t.start, t.end, t.char_start, t.char_end});
        }
        *keywords = out.empty() ? nullptr : out.data();
        *count = out.size();
        return MORV_OK;
    } catch (const std::bad_alloc&) {
        return Fail(MORV_E_MEMORY, "out of memory finding keywords");
    } catch (...) {
        return Fail(MORV_E_MEMORY, "cannot find the keywords of the text");
    }
}

int morv_model_set_idf(morv_model* model, const char* path)
{
    return ReplaceKeywordTables(model, "idf", [&](CKeywordTable& table, std::string* error) {
        const std::string file = path != nullptr ? std::string(path) : OwnIdfPath(*model);
        if (!ReadableFile(file.c_str(), error))
            return static_cast<int>(path != nullptr ? MORV_E_IO : MORV_E_MODEL);
        return static_cast<int>(table.LoadIdf(file, error) ? MORV_OK : MORV_E_LIST);
    });
}

int morv_model_set_stop_words(morv_model* model, const char* path)
{
    return ReplaceKeywordTables(model, "stop_words", [&](CKeywordTable& table, std::string* error) {
        if (path == nullptr) {
            // The model's own list; a model without one has none.
            if (!table.LoadStopWords(OwnStopWordsPath(*model), nullptr))
                table.ParseStopWords("");
            return static_cast<int>(MORV_OK);
        }
        if (!ReadableFile(path, error))
            return static_cast<int>(MORV_E_IO);
        return static_cast<int>(table.LoadStopWords(path, error) ? MORV_OK : MORV_E_IO);
    });
}

size_t morv_cut_point(const morv_model* model, const char* data, size_t length, unsigned options)
{
    if (data == nullptr || length == 0)
        return 0;
    return CTokenizer::CutPoint(model != nullptr ? model->model.core.charset.get() : nullptr, data, length,
                                (options & MORV_GBK) == 0);
}

} // extern "C"
