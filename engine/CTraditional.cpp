#include "engine/CTraditional.h"

#include <opencc/opencc.h>

#include "engine/EngineText.h"
#include "engine/TextCodec.h"

namespace {

const opencc_t kNone = reinterpret_cast<opencc_t>(-1);

bool IsGb2312(unsigned char lead, unsigned char trail)
{
    return lead >= 0xA1 && lead <= 0xF7 && trail >= 0xA1 && trail <= 0xFE;
}

// Whether the engine character at text[i] (len bytes) ends a sentence.
bool EndsSentence(const unsigned char* t, size_t len)
{
    if (len == 1)
        return t[0] == '\n' || t[0] == '\r' || t[0] == '!' || t[0] == '?' || t[0] == ';';
    const unsigned code = t[0] << 8 | t[1];
    return code == 0xA1A3 || code == 0xA3A1 || code == 0xA3BF || code == 0xA3BB; // 。！？；
}

std::string Utf8Of(const std::vector<uint32_t>& cps)
{
    std::string out;
    for (uint32_t cp : cps)
        TextCodec::AppendUtf8(out, cp);
    return out;
}

} // namespace

const CTraditional& CTraditional::Instance()
{
    static const CTraditional instance;
    return instance;
}

CTraditional::~CTraditional()
{
    if (toSimplified != nullptr && toSimplified != kNone)
        opencc_close(toSimplified);
    if (toTraditional != nullptr && toTraditional != kNone)
        opencc_close(toTraditional);
}

bool CTraditional::Load(std::string* error) const
{
    std::call_once(once, [this] {
        toSimplified = opencc_open(OPENCC_DEFAULT_CONFIG_TRAD_TO_SIMP);
        if (toSimplified == kNone) {
            loadError = std::string("cannot load OpenCC's ") + OPENCC_DEFAULT_CONFIG_TRAD_TO_SIMP + ": " +
                        opencc_error();
            return;
        }
        toTraditional = opencc_open(OPENCC_DEFAULT_CONFIG_SIMP_TO_TRAD);
        if (toTraditional == kNone)
            loadError = std::string("cannot load OpenCC's ") + OPENCC_DEFAULT_CONFIG_SIMP_TO_TRAD + ": " +
                        opencc_error();
    });
    if (!loadError.empty() && error != nullptr)
        *error = loadError;
    return loadError.empty();
}

std::vector<uint32_t> CTraditional::Run(void* converter, const std::string& utf8) const
{
    std::vector<uint32_t> cps;
    char* converted = opencc_convert_utf8(static_cast<opencc_t>(converter), utf8.data(), utf8.size());
    if (converted == nullptr)
        return cps;
    const std::string out(converted);
    opencc_convert_utf8_free(converted);
    const unsigned char* s = reinterpret_cast<const unsigned char*>(out.data());
    for (size_t i = 0; i < out.size();) {
        uint32_t cp = 0;
        const int n = TextCodec::DecodeUtf8(s + i, out.size() - i, &cp);
        if (n <= 0)
            return {};
        cps.push_back(cp);
        i += static_cast<size_t>(n);
    }
    return cps;
}

std::vector<uint32_t> CTraditional::Sentence(const std::vector<uint32_t>& cps, const std::vector<bool>& gb2312,
                                             Mode mode) const
{
    const std::string utf8 = Utf8Of(cps);
    std::vector<uint32_t> simplified = Run(toSimplified, utf8);
    if (simplified.size() != cps.size()) {
        // A phrase that changed its length: then character by character, so
        // that every character keeps its place.
        simplified = cps;
        for (size_t i = 0; i < cps.size(); ++i) {
            if (cps[i] < 0x80)
                continue;
            const std::vector<uint32_t> one = Run(toSimplified, Utf8Of({cps[i]}));
            if (one.size() == 1)
                simplified[i] = one[0];
        }
    }
    if (mode == Mode::Auto) {
        size_t traditional = 0, simplifiedOnly = 0;
        for (size_t i = 0; i < cps.size(); ++i)
            traditional += !gb2312[i] && simplified[i] != cps[i];
        if (traditional == 0)
            return {};
        const std::vector<uint32_t> back = Run(toTraditional, utf8);
        if (back.size() == cps.size())
            for (size_t i = 0; i < cps.size(); ++i)
                simplifiedOnly += gb2312[i] && back[i] != cps[i];
        if (traditional <= simplifiedOnly)
            return {};
    }
    return simplified;
}

bool CTraditional::Convert(EngineText& text, Mode mode, std::string* error) const
{
    if (mode == Mode::Off)
        return true;
    const unsigned char* t = reinterpret_cast<const unsigned char*>(text.Text());
    const size_t n = text.Length();
    const TextCodec& codec = TextCodec::Instance();
    std::vector<uint32_t> cps;
    std::vector<bool> gb2312;
    std::vector<size_t> at;
    for (size_t s = 0; s < n;) {
        // One sentence: [s, e).
        bool beyond = false; // a two-byte character outside GB2312
        size_t e = s;
        while (e < n) {
            const size_t len = t[e] >= 0x80 && e + 1 < n ? 2 : 1;
            if (len == 2 && !IsGb2312(t[e], t[e + 1]))
                beyond = true;
            const bool end = EndsSentence(t + e, len);
            e += len;
            if (end)
                break;
        }
        if (mode == Mode::On || beyond) {
            // Without OpenCC's tables auto leaves the text as it is (the
            // analysis it had before); only a caller who asked for the
            // conversion is told.
            if (!Load(error))
                return mode == Mode::Auto;
            cps.clear();
            gb2312.clear();
            at.clear();
            for (size_t i = s; i < e;) {
                const size_t len = t[i] >= 0x80 && i + 1 < e ? 2 : 1;
                uint32_t cp = t[i];
                if (len == 2) {
                    cp = codec.GbkToUnicode(t[i] << 8 | t[i + 1]);
                    if (cp == 0)
                        cp = TextCodec::kReplacement; // a placeholder: OpenCC leaves it
                }
                cps.push_back(cp);
                gb2312.push_back(len == 2 && IsGb2312(t[i], t[i + 1]));
                at.push_back(len == 2 ? i : SIZE_MAX);
                i += len;
            }
            const std::vector<uint32_t> simplified = Sentence(cps, gb2312, mode);
            for (size_t k = 0; k < simplified.size(); ++k) {
                if (simplified[k] == cps[k] || at[k] == SIZE_MAX || cps[k] == TextCodec::kReplacement)
                    continue;
                const unsigned code = codec.UnicodeToGbk(simplified[k]);
                // Only a two-byte character for a two-byte character keeps the offsets.
                if (code >= 0x8140 && code != (EngineText::kPlaceholderLead << 8 | EngineText::kPlaceholderTrail))
                    text.Rewrite(at[k], code);
            }
        }
        s = e;
    }
    return true;
}

bool CTraditional::ConvertUtf8(const std::string& utf8, Mode mode, std::string& out, std::string* error) const
{
    EngineText text;
    text.Build(utf8.data(), utf8.size(), Encoding::Utf8, false);
    if (!Convert(text, mode, error))
        return false;
    out.clear();
    TextCodec::Instance().AppendAsUtf8(out, text.Text(), text.Length(), Encoding::Gbk);
    return true;
}
