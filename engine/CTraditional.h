#ifndef MORV_CTRADITIONAL_H
#define MORV_CTRADITIONAL_H

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

class EngineText;

// Traditional Chinese through OpenCC: the models know simplified words, so a
// sentence in traditional characters is analysed as its simplified
// conversion (t2s, phrase by phrase), each character rewritten in place in
// the engine's text so that every offset, and the text the caller gets back,
// stay the caller's own.
//
// Auto decides per sentence: a sentence reads as traditional when it has more
// traditional characters (outside GB2312, which OpenCC's t2s changes) than
// simplified ones (which its s2t changes). GB2312 text holds no traditional
// character, so it is never converted, and OpenCC is not even loaded for it.
class CTraditional {
public:
    enum class Mode { Auto, On, Off };

    // The process-wide converter; OpenCC's tables are loaded on first need.
    static const CTraditional& Instance();

    // Rewrites the sentences of text that mode calls for. With mode On, false
    // with the reason when OpenCC's tables cannot be loaded (text is left as
    // it was; auto then converts nothing).
    bool Convert(EngineText& text, Mode mode, std::string* error) const;

    // For tests and the test-set tools: the simplified form of UTF-8 text,
    // character for character, as Convert would give it under mode.
    bool ConvertUtf8(const std::string& utf8, Mode mode, std::string& out, std::string* error) const;

    virtual ~CTraditional();
    CTraditional(const CTraditional&) = delete;
    CTraditional& operator=(const CTraditional&) = delete;

private:
    CTraditional() = default;
    bool Load(std::string* error) const;
    // The code points of OpenCC's conversion of UTF-8 text.
    std::vector<uint32_t> Run(void* converter, const std::string& utf8) const;
    // For code points cps (one sentence): their conversion position by
    // position, or empty when the sentence stays as it is.
    std::vector<uint32_t> Sentence(const std::vector<uint32_t>& cps, const std::vector<bool>& gb2312, Mode mode) const;

    mutable std::once_flag once;
    mutable void* toSimplified = nullptr;
    mutable void* toTraditional = nullptr;
    mutable std::string loadError;
};

#endif
