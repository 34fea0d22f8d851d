// The native part of the Python package: a Model over the library's C interface,
// with a pool of analysers so that any number of Python threads can analyse with
// one model at once; the GIL is released while the engine works.
#include <pybind11/pybind11.h>
#include <pybind11/eval.h>
#include <pybind11/stl.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "engine/morv.h"

namespace py = pybind11;

namespace {

// Raised for every failure of the library; .status is the morv_status code.
PyObject* morvError = nullptr;
// A value out of range, refused before the library sees it: a ValueError, and
// a morv.Error of status MORV_E_ARGUMENT too, as the library would report it
// (an empty word was a morv.Error before these checks).
PyObject* argumentError = nullptr;

[[noreturn]] void RaiseAs(PyObject* type, const std::string& message, int status)
{
    py::object error = py::reinterpret_borrow<py::object>(type);
    py::object instance = error(message, status);
    PyErr_SetObject(type, instance.ptr());
    throw py::error_already_set();
}

[[noreturn]] void Raise(int status)
{
    RaiseAs(morvError, std::string(morv_last_error()), status);
}

[[noreturn]] void ValueError(const std::string& message)
{
    RaiseAs(argumentError, message, MORV_E_ARGUMENT);
}

[[noreturn]] void TypeError(const char* name, const char* expected, py::handle got)
{
    PyErr_Format(PyExc_TypeError, "%s must be %s, not %.200s", name, expected, Py_TYPE(got.ptr())->tp_name);
    throw py::error_already_set();
}

// The UTF-8 of a str argument (a lone surrogate raises UnicodeEncodeError).
std::string StrArg(py::handle value, const char* name)
{
    if (!PyUnicode_Check(value.ptr()))
        TypeError(name, "str", value);
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(value.ptr(), &size);
    if (utf8 == nullptr)
        throw py::error_already_set();
    return std::string(utf8, static_cast<size_t>(size));
}

// A str argument the C interface takes NUL-terminated: a NUL inside would cut it.
std::string NulFreeArg(py::handle value, const char* name)
{
    std::string s = StrArg(value, name);
    if (s.find('\0') != std::string::npos)
        ValueError(std::string(name) + " must not hold a NUL character");
    return s;
}

// A frequency: None (-1, the models decide), or a whole number from 0 to LONG_MAX,
// as an int (or anything with __index__) or an integral float.
long FrequencyArg(py::handle value)
{
    PyObject* p = value.ptr();
    if (p == Py_None)
        return -1;
    if (PyBool_Check(p))
        TypeError("freq", "an int or None", value);
    if (PyFloat_Check(p)) {
        const double d = PyFloat_AsDouble(p);
        if (!std::isfinite(d) || d != std::floor(d) || d < 0 || d >= 9.2e18)
            ValueError("freq must be a whole number from 0 to " + std::to_string(LONG_MAX) + ", not " +
                       std::string(py::repr(value)));
        return static_cast<long>(d);
    }
    if (!PyIndex_Check(p))
        TypeError("freq", "an int or None", value);
    py::object number = py::reinterpret_steal<py::object>(PyNumber_Index(p));
    if (!number)
        throw py::error_already_set();
    int overflow = 0;
    const long f = PyLong_AsLongAndOverflow(number.ptr(), &overflow);
    if (f == -1 && PyErr_Occurred())
        throw py::error_already_set();
    if (overflow != 0 || f < 0)
        ValueError("freq must be a whole number from 0 to " + std::to_string(LONG_MAX) + ", not " +
                   std::string(py::repr(number)));
    return f;
}

void Check(int status)
{
    if (status != MORV_OK)
        Raise(status);
}

class Token {
public:
    py::str word;
    py::str tag;
    size_t start = 0; // characters of the analysed str
    size_t end = 0;
    unsigned flags = 0;
    size_t nameSplit = 0; // characters; 0 when the token is no split name
    py::list parts;       // a compound's words (Token objects), else empty

    std::string Repr() const
    {
        return "Token(" + std::string(py::repr(word)) + ", " + std::string(py::repr(tag)) + ", " +
               std::to_string(start) + ", " + std::to_string(end) + ", flags=" + std::to_string(flags) + ")";
    }
};

// What a Model was given after it was opened, so a copy (or an unpickled Model in
// another process) can be given the same.
struct Addition {
    bool isList;
    std::string word; // or the list's content
    long frequency;
    std::string tag;  // or the list's name
};

inline PyObject* Slice(const py::str& text, size_t start, size_t end);

class Model {
public:
    Model(py::object pathArg, const std::vector<std::string>& settings)
    {
        const std::string path = NulFreeArg(pathArg, "path");
        std::vector<const char*> texts;
        for (const std::string& setting : settings) {
            if (setting.find('\0') != std::string::npos)
                ValueError("a setting must not hold a NUL character");
            texts.push_back(setting.c_str());
        }
        morv_model* m = nullptr;
        {
            py::gil_scoped_release release;
            const int status =
                morv_model_open_with(path.empty() ? nullptr : path.c_str(), texts.data(), texts.size(), &m);
            if (status != MORV_OK) {
                py::gil_scoped_acquire acquire;
                // A setting the engine refuses is a wrong argument, as a bad value is.
                if (status == MORV_E_ARGUMENT)
                    RaiseAs(argumentError, std::string(morv_last_error()), status);
                Raise(status);
            }
        }
        model = m;
        dir = morv_model_dir(m);
    }
    ~Model()
    {
        for (morv_analyzer* a : idle)
            morv_analyzer_free(a);
        morv_model_free(model);
    }
    Model(const Model&) = delete;
    Model& operator=(const Model&) = delete;

    const std::string& Dir() const { return dir; }

    void AddWord(py::object wordArg, py::object frequency, py::object tag)
    {
        const std::string word = StrArg(wordArg, "word");
        if (word.empty())
            ValueError("word must not be empty");
        if (word.find('\0') != std::string::npos)
            ValueError("word must not hold a NUL character");
        const long f = FrequencyArg(frequency);
        if (!tag.is_none() && !PyUnicode_Check(tag.ptr()))
            TypeError("tag", "a str or None", tag);
        const std::string t = tag.is_none() ? std::string() : NulFreeArg(tag, "tag");
        Check(morv_model_add_word(model, word.data(), word.size(), f, t.empty() ? nullptr : t.c_str(), MORV_UTF8));
        std::lock_guard<std::mutex> lock(mutex);
        additions.push_back({false, word, f, t});
    }

    // The number of entries taken and the warnings of the load (a lenient
    // list's unknown tags).
    py::tuple LoadUserDictBytes(py::object contentArg, py::object nameArg, bool strict)
    {
        if (!PyBytes_Check(contentArg.ptr()))
            TypeError("content", "bytes", contentArg);
        const std::string content = contentArg.cast<std::string>();
        const std::string name = NulFreeArg(nameArg, "name");
        size_t added = 0;
        std::vector<std::string> warnings;
        const morv_warning_fn collect = [](void* user, const char* message) {
            static_cast<std::vector<std::string>*>(user)->push_back(message);
        };
        Check(morv_model_load_userdict_options(model, content.data(), content.size(), name.c_str(),
                                               strict ? 0u : MORV_LIST_LENIENT, collect, &warnings, &added));
        {
            std::lock_guard<std::mutex> lock(mutex);
            additions.push_back({true, content, strict ? 0 : 1, name}); // a list's frequency: 1 when lenient
        }
        py::list out;
        for (const std::string& w : warnings)
            out.append(py::str(w));
        return py::make_tuple(added, out);
    }

    size_t UserWordCount() const { return morv_model_user_word_count(model); }

    std::vector<Addition> Additions() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return additions;
    }

    // The UTF-8 bytes of a str, held by the str.
    static const char* Utf8Of(const py::str& text, Py_ssize_t* size)
    {
        const char* utf8 = PyUnicode_AsUTF8AndSize(text.ptr(), size);
        if (utf8 == nullptr)
            throw py::error_already_set();
        return utf8;
    }

    // Analyses text with an analyser of the pool (options: MORV_* bits; with
    // words, lists the dictionary words instead); calls build(tokens, count,
    // text, analyser) with the GIL held.
    template <class Build>
    py::object Analyze(py::handle textArg, Build build, unsigned options = MORV_UTF8, bool words = false)
    {
        if (!PyUnicode_Check(textArg.ptr()))
            TypeError("text", "str", textArg);
        const py::str text = py::reinterpret_borrow<py::str>(textArg);
        Py_ssize_t size = 0;
        const char* utf8 = Utf8Of(text, &size);
        morv_analyzer* analyzer = Acquire();
        const morv_token* tokens = nullptr;
        size_t count = 0;
        int status;
        {
            py::gil_scoped_release release;
            status = words ? morv_dictionary_words(analyzer, utf8, static_cast<size_t>(size), options, &tokens, &count)
                           : morv_analyze(analyzer, utf8, static_cast<size_t>(size), options, &tokens, &count);
        }
        if (status != MORV_OK) {
            Release(analyzer);
            Raise(status);
        }
        try {
            py::object result = build(tokens, count, text, analyzer);
            Release(analyzer);
            return result;
        } catch (...) {
            Release(analyzer);
            throw;
        }
    }

    // (word, weight, tag) for the keywords of text; tags: a sequence of str or
    // None (any tag).
    py::object Keywords(py::handle textArg, py::handle topArg, bool textRank, py::handle tagsArg, bool byTag,
                        unsigned traditional)
    {
        if (!PyUnicode_Check(textArg.ptr()))
            TypeError("text", "str", textArg);
        if (!PyLong_Check(topArg.ptr()) || PyBool_Check(topArg.ptr()))
            TypeError("topK", "an int", topArg);
        const long long topValue = PyLong_AsLongLong(topArg.ptr());
        if (topValue == -1 && PyErr_Occurred())
            throw py::error_already_set();
        if (topValue < 0)
            ValueError("topK must be 0 or more, not " + std::to_string(topValue));
        std::string tags;
        if (!tagsArg.is_none()) {
            if (PyUnicode_Check(tagsArg.ptr()))
                TypeError("allowPOS", "a sequence of str (a tuple or a list)", tagsArg);
            for (py::handle t : py::iter(tagsArg)) {
                if (!PyUnicode_Check(t.ptr()))
                    TypeError("a tag of allowPOS", "str", t);
                const std::string name = NulFreeArg(t, "tag");
                if (name.find_first_of(" \t\r\n,") != std::string::npos)
                    ValueError("a tag of allowPOS must not hold a blank or a comma: '" + name + "'");
                tags += name + " ";
            }
        }
        const py::str text = py::reinterpret_borrow<py::str>(textArg);
        Py_ssize_t size = 0;
        const char* utf8 = Utf8Of(text, &size);
        morv_analyzer* analyzer = Acquire();
        const morv_keyword* found = nullptr;
        size_t count = 0;
        int status;
        {
            py::gil_scoped_release release;
            status = morv_keywords(analyzer, utf8, static_cast<size_t>(size),
                                   MORV_UTF8 | (textRank ? MORV_TEXTRANK : 0u) | (byTag ? MORV_KEYWORD_TAGS : 0u) |
                                       traditional,
                                   static_cast<size_t>(topValue), tags.c_str(), &found, &count);
        }
        if (status != MORV_OK) {
            Release(analyzer);
            Raise(status);
        }
        try {
            py::list out;
            for (size_t i = 0; i < count; ++i)
                out.append(py::make_tuple(py::reinterpret_steal<py::str>(Slice(text, found[i].char_start, found[i].char_end)),
                                          found[i].weight, py::reinterpret_borrow<py::str>(Tag(found[i].tag))));
            Release(analyzer);
            return py::object(std::move(out));
        } catch (...) {
            Release(analyzer);
            throw;
        }
    }

    // Keyword extraction's tables: a path, or None for the model's own.
    void SetIdf(py::object pathArg)
    {
        const std::string path = pathArg.is_none() ? std::string() : NulFreeArg(pathArg, "path");
        Check(morv_model_set_idf(model, pathArg.is_none() ? nullptr : path.c_str()));
    }
    void SetStopWords(py::object pathArg)
    {
        const std::string path = pathArg.is_none() ? std::string() : NulFreeArg(pathArg, "path");
        Check(morv_model_set_stop_words(model, pathArg.is_none() ? nullptr : path.c_str()));
    }

    // The Python str of a tag name (one object per name).
    PyObject* Tag(const char* name)
    {
        auto found = tags.find(name);
        if (found != tags.end())
            return found->second.ptr();
        py::str s(name);
        PyObject* p = s.ptr();
        tags.emplace(name, std::move(s));
        return p;
    }

private:
    morv_analyzer* Acquire()
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (!idle.empty()) {
                morv_analyzer* a = idle.back();
                idle.pop_back();
                return a;
            }
        }
        morv_analyzer* a = nullptr;
        Check(morv_analyzer_new(model, &a));
        return a;
    }
    void Release(morv_analyzer* a)
    {
        std::lock_guard<std::mutex> lock(mutex);
        idle.push_back(a);
    }

    morv_model* model = nullptr;
    std::string dir;
    // Held only with the GIL, which a Python fork holds too: no other thread
    // can hold it at a fork.
    mutable std::mutex mutex;
    std::vector<morv_analyzer*> idle;
    std::vector<Addition> additions;
    std::unordered_map<const char*, py::str> tags; // touched with the GIL held only
};

// A slice of the analysed str by character offsets (no decoding).
inline PyObject* Slice(const py::str& text, size_t start, size_t end)
{
    PyObject* s = PyUnicode_Substring(text.ptr(), static_cast<Py_ssize_t>(start), static_cast<Py_ssize_t>(end));
    if (s == nullptr)
        throw py::error_already_set();
    return s;
}

// Characters in the UTF-8 bytes [from, to).
inline size_t CountChars(const char* from, const char* to)
{
    size_t n = 0;
    for (const char* p = from; p < to; ++p)
        n += (static_cast<unsigned char>(*p) & 0xC0) != 0x80;
    return n;
}

// The options of a mode argument, "default" or "search" (sub-tokens), and of a
// standard, "corpus" or "long" (long units).
unsigned ModeOptions(py::handle modeArg, py::handle standardArg)
{
    const std::string mode = StrArg(modeArg, "mode");
    const std::string standard = StrArg(standardArg, "standard");
    unsigned options = MORV_UTF8;
    if (mode == "search")
        options |= MORV_SEARCH;
    else if (mode != "default")
        ValueError("mode must be 'default' or 'search', not '" + mode + "'");
    if (standard == "long")
        options |= MORV_LONG_UNITS;
    else if (standard != "corpus")
        ValueError("standard must be 'corpus' or 'long', not '" + standard + "'");
    return options;
}

// The options of a traditional argument: "auto" (each sentence that reads as
// traditional is converted for the analysis), "on" (every one), "off" (none).
unsigned TraditionalOptions(py::handle arg)
{
    const std::string value = StrArg(arg, "traditional");
    if (value == "auto")
        return 0;
    if (value == "on")
        return MORV_TRADITIONAL_ON;
    if (value == "off")
        return MORV_TRADITIONAL_OFF;
    ValueError("traditional must be 'auto', 'on' or 'off', not '" + value + "'");
}

py::object Cut(Model& model, py::handle text, py::handle mode, py::handle traditional, py::handle standard)
{
    return model.Analyze(text, [](const morv_token* tokens, size_t count, const py::str& s, morv_analyzer*) {
        PyObject* list = PyList_New(static_cast<Py_ssize_t>(count));
        if (list == nullptr)
            throw py::error_already_set();
        py::object result = py::reinterpret_steal<py::object>(list);
        for (size_t i = 0; i < count; ++i)
            PyList_SET_ITEM(list, static_cast<Py_ssize_t>(i), Slice(s, tokens[i].char_start, tokens[i].char_end));
        return result;
    }, ModeOptions(mode, standard) | TraditionalOptions(traditional));
}

py::object TagText(Model& model, py::handle text, py::handle mode, py::handle traditional, py::handle standard)
{
    return model.Analyze(text, [&model](const morv_token* tokens, size_t count, const py::str& s, morv_analyzer*) {
        PyObject* list = PyList_New(static_cast<Py_ssize_t>(count));
        if (list == nullptr)
            throw py::error_already_set();
        py::object result = py::reinterpret_steal<py::object>(list);
        for (size_t i = 0; i < count; ++i) {
            PyObject* word = Slice(s, tokens[i].char_start, tokens[i].char_end);
            PyObject* tag = model.Tag(tokens[i].tag);
            Py_INCREF(tag);
            PyObject* pair = PyTuple_Pack(2, word, tag);
            Py_DECREF(word);
            Py_DECREF(tag);
            if (pair == nullptr)
                throw py::error_already_set();
            PyList_SET_ITEM(list, static_cast<Py_ssize_t>(i), pair);
        }
        return result;
    }, ModeOptions(mode, standard) | TraditionalOptions(traditional));
}

// Token objects of the library's tokens (or dictionary words).
py::object MakeTokens(Model& model, const morv_token* tokens, size_t count, const py::str& s, morv_analyzer* a)
{
    py::list result(count);
    for (size_t i = 0; i < count; ++i) {
        const morv_token& t = tokens[i];
        Token token;
        const morv_part* parts = nullptr;
        size_t partCount = 0;
        if ((t.flags & MORV_FLAG_COMPOUND) && morv_token_parts(a, i, &parts, &partCount) == MORV_OK) {
            for (size_t k = 0; k < partCount; ++k) {
                Token part;
                part.start = t.char_start + CountChars(t.word, t.word + (parts[k].start - t.start));
                part.end = part.start + CountChars(t.word + (parts[k].start - t.start), t.word + (parts[k].end - t.start));
                part.word = py::reinterpret_steal<py::str>(Slice(s, part.start, part.end));
                part.tag = py::reinterpret_borrow<py::str>(model.Tag(parts[k].tag));
                token.parts.append(py::cast(std::move(part)));
            }
        }
        token.word = py::reinterpret_steal<py::str>(Slice(s, t.char_start, t.char_end));
        token.tag = py::reinterpret_borrow<py::str>(model.Tag(t.tag));
        token.start = t.char_start;
        token.end = t.char_end;
        token.flags = t.flags;
        token.nameSplit = t.name_split > t.start ? t.char_start + CountChars(t.word, t.word + (t.name_split - t.start)) : 0;
        result[i] = py::cast(std::move(token));
    }
    return py::object(std::move(result));
}

py::object Tokenize(Model& model, py::handle text, py::handle mode, py::handle traditional, py::handle standard)
{
    return model.Analyze(
        text,
        [&model](const morv_token* tokens, size_t count, const py::str& s, morv_analyzer* a) {
            return MakeTokens(model, tokens, count, s, a);
        },
        ModeOptions(mode, standard) | TraditionalOptions(traditional));
}

py::object DictionaryWords(Model& model, py::handle text, py::handle singleCharsArg, py::handle traditional)
{
    if (!PyBool_Check(singleCharsArg.ptr()))
        TypeError("single_chars", "bool", singleCharsArg);
    const bool singleChars = singleCharsArg.ptr() == Py_True;
    return model.Analyze(
        text,
        [&model](const morv_token* tokens, size_t count, const py::str& s, morv_analyzer* a) {
            return MakeTokens(model, tokens, count, s, a);
        },
        MORV_UTF8 | (singleChars ? MORV_SINGLE_CHARS : 0u) | TraditionalOptions(traditional), true);
}

} // namespace

PYBIND11_MODULE(_morv, m)
{
    m.doc() = "Native part of the morv package (see morv.__init__ for the documented interface).";
    py::object base = py::reinterpret_borrow<py::object>(PyExc_Exception);
    py::dict ns;
    ns["Exception"] = base;
    py::exec(R"(
class Error(Exception):
    """A failure of the analyser: a model that cannot be loaded, a bad word list,
    an unknown tag, text that cannot be analysed. .status is the library's code."""
    def __init__(self, message, status=0):
        super().__init__(message)
        self.status = status
)",
             ns);
    py::object error = ns["Error"];
    error.attr("__module__") = "morv";
    morvError = error.ptr();
    Py_INCREF(morvError);
    m.attr("Error") = error;
    ns["Error"] = error;
    ns["ValueError"] = py::reinterpret_borrow<py::object>(PyExc_ValueError);
    py::exec(R"(
class ArgumentError(Error, ValueError):
    """A value out of range (an empty word, a negative frequency, a NUL where
    none may be): a ValueError, and a morv.Error with status 1 (MORV_E_ARGUMENT)."""
)",
             ns);
    py::object argument = ns["ArgumentError"];
    argument.attr("__module__") = "morv";
    argumentError = argument.ptr();
    Py_INCREF(argumentError);
    m.attr("ArgumentError") = argument;
    // Nothing of the binding's own conversions may reach a caller as pybind11's
    // RuntimeError: a value that cannot be converted is of the wrong type.
    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p)
                std::rethrow_exception(p);
        } catch (const py::cast_error& e) {
            PyErr_SetString(PyExc_TypeError, e.what());
        }
    });

    m.attr("VERSION") = morv_version();
    m.def("default_model_dir", [] { return std::string(morv_default_model_dir()); });
    m.attr("USER_WORD") = MORV_FLAG_USER_WORD;
    m.attr("PERSON") = MORV_FLAG_PERSON;
    m.attr("PLACE") = MORV_FLAG_PLACE;
    m.attr("ORGANIZATION") = MORV_FLAG_ORGANIZATION;
    m.attr("NUMBER") = MORV_FLAG_NUMBER;
    m.attr("TIME") = MORV_FLAG_TIME;
    m.attr("STRING") = MORV_FLAG_STRING;
    m.attr("SENTENCE_END") = MORV_FLAG_SENTENCE_END;
    m.attr("NEW_WORD") = MORV_FLAG_NEW_WORD;
    m.attr("LINE_BREAK") = MORV_FLAG_LINE_BREAK;
    m.attr("SUBSTITUTED") = MORV_FLAG_SUBSTITUTED;
    m.attr("COMPOUND") = MORV_FLAG_COMPOUND;
    m.attr("SUBTOKEN") = MORV_FLAG_SUBTOKEN;

    py::class_<Token>(m, "Token")
        .def_readonly("word", &Token::word)
        .def_readonly("tag", &Token::tag)
        .def_readonly("start", &Token::start)
        .def_readonly("end", &Token::end)
        .def_readonly("flags", &Token::flags)
        .def_readonly("name_split", &Token::nameSplit)
        .def_readonly("parts", &Token::parts)
        .def("__repr__", &Token::Repr);

    py::class_<Model>(m, "NativeModel")
        .def(py::init<py::object, const std::vector<std::string>&>(), py::arg("path"),
             py::arg("settings") = std::vector<std::string>())
        .def_property_readonly("path", &Model::Dir)
        .def("cut", &Cut, py::arg("text"), py::arg("mode") = py::str("default"),
             py::arg("traditional") = py::str("auto"), py::arg("standard") = py::str("corpus"))
        .def("tag", &TagText, py::arg("text"), py::arg("mode") = py::str("default"),
             py::arg("traditional") = py::str("auto"), py::arg("standard") = py::str("corpus"))
        .def("tokenize", &Tokenize, py::arg("text"), py::arg("mode") = py::str("default"),
             py::arg("traditional") = py::str("auto"), py::arg("standard") = py::str("corpus"))
        .def("dictionary_words", &DictionaryWords, py::arg("text"), py::arg("single_chars") = py::bool_(false),
             py::arg("traditional") = py::str("auto"))
        .def("add_word", &Model::AddWord, py::arg("word"), py::arg("freq") = py::none(), py::arg("tag") = py::none())
        .def("load_userdict_bytes", &Model::LoadUserDictBytes, py::arg("content"), py::arg("name"),
             py::arg("strict") = true)
        .def("user_word_count", &Model::UserWordCount)
        .def("keywords",
             [](Model& model, py::handle text, py::handle top, bool textRank, py::handle tags, bool byTag,
                py::handle traditional) {
                 return model.Keywords(text, top, textRank, tags, byTag, TraditionalOptions(traditional));
             },
             py::arg("text"), py::arg("top"), py::arg("textrank"), py::arg("tags"), py::arg("by_tag"),
             py::arg("traditional") = py::str("auto"))
        .def("set_idf", &Model::SetIdf, py::arg("path"))
        .def("set_stop_words", &Model::SetStopWords, py::arg("path"))
        .def("additions", [](const Model& model) {
            py::list out;
            for (const Addition& a : model.Additions())
                out.append(py::make_tuple(a.isList, py::bytes(a.word), a.frequency, a.tag));
            return out;
        });
}
