#ifndef MORV_ENGINETEXT_H
#define MORV_ENGINETEXT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/TextCodec.h"

// One piece of input turned into the engine's text: GBK bytes, NUL-terminated, with
// the way back from every engine byte to the input byte and character it came from.
//
// Characters the engine cannot take (a character GBK lacks, a NUL, a byte that is
// not valid in the input's encoding) are replaced by one placeholder character, a
// two-byte code that GBK leaves unassigned, so that they stay single tokens and
// never merge with their neighbours; output goes back to the input bytes, so the
// original character reappears.
class EngineText {
public:
    // The placeholder's two bytes.
    static constexpr unsigned char kPlaceholderLead = 0xA1;
    static constexpr unsigned char kPlaceholderTrail = 0xA0;
    // Hangul, which GBK lacks too, has a placeholder of its own (another code
    // GBK leaves unassigned): a letter, so that a run of it can be one word.
    static constexpr unsigned char kLetterPlaceholderTrail = 0x9F;
    static bool IsHangul(uint32_t codePoint);
    // Substitution code meaning "write the placeholder bytes themselves" (input that
    // held the placeholder code literally).
    static constexpr uint32_t kOwnBytes = 0xFFFFFFFF;

    // Builds the engine text for data (size bytes) in enc (Unknown counts as GBK).
    // With wantChars the character index of every engine byte is kept as well.
    void Build(const char* data, size_t size, Encoding enc, bool wantChars);

    const char* Text() const { return text.c_str(); }
    size_t Length() const { return text.size(); }
    const char* Input() const { return input; }

    // Input byte offset of the engine character that starts at engine byte g (g may
    // be Length()).
    size_t InputOffset(size_t g) const { return identity ? g : inputOffsets[g]; }
    // Characters of the input before engine byte g (needs wantChars).
    size_t CharIndex(size_t g) const { return charIndices[g]; }
    size_t CharCount() const { return charTotal; }

    // Rewrites the two-byte character at engine byte g as the two-byte code:
    // the analysis reads the new character (a traditional one's simplified
    // form) where the offsets and the output keep the input's.
    void Rewrite(size_t g, unsigned code);
    bool IsRewritten() const { return !unrewritten.empty(); }
    // The engine text as Build made it, before any Rewrite.
    const char* Unrewritten() const { return unrewritten.empty() ? text.c_str() : unrewritten.c_str(); }

    // Whether engine bytes [begin, end) are placeholders only.
    bool IsPlaceholdersOnly(size_t begin, size_t end) const;
    // Substituted characters in order: their Unicode code point (U+FFFD for bytes
    // that do not decode), or kOwnBytes.
    const std::vector<uint32_t>& Substitutions() const { return substitutions; }
    // The engine offsets of the placeholders, in the same order.
    const std::vector<uint32_t>& SubstitutedOffsets() const { return substituted; }

private:
    void BuildGbk(bool wantChars);
    void BuildUtf8(bool wantChars);
    void Substitute(size_t inputPos, uint32_t code, bool wantChars, size_t chars);
    void Keep(size_t inputPos, size_t length, bool wantChars, size_t chars);

    const char* input = nullptr;
    size_t inputSize = 0;
    std::string unrewritten; // empty until the first Rewrite
    Encoding encoding = Encoding::Gbk;
    std::string text;
    bool identity = true;
    // Valid up to Length() (both may hold more entries, from a longer text before).
    std::vector<uint32_t> inputOffsets;
    std::vector<uint32_t> charIndices;
    size_t charTotal = 0; // characters of the input (with wantChars; else 0)
    std::vector<uint32_t> substituted; // engine offsets of placeholders, ascending
    std::vector<uint32_t> substitutions;
};

#endif
