// libFuzzer target: CCharModel::Load on arbitrary bytes; after a successful
// load, labelling of a fixed GBK text (whole and in spans) and of the input's
// own last bytes as a text, with the invariants every labelling must keep.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz/FuzzInput.h"
#include "segment/CCharModel.h"

namespace {

// ASCII, digits, GB2312 characters, a repeated character, a lone lead byte.
const char kText[] = "ab 12\xB0\xA1\xB0\xA2\xB0\xA2\xA3\xAC\xD6\xD0\xB9\xFA\xA1\xA3x\xB0";

void Check(const CCharModel& model, const char* text, int length)
{
    CCharModel::Workspace ws;
    const int words = model.Words(text, length, ws);
    const int n = ws.GetCharCount();
    if (n < 0 || n > (length > 0 ? length : 0) || (n == 0 && words != 0))
        std::abort();
    if (n == 0)
        return;
    const int* starts = ws.GetCharStarts();
    const uint8_t* labels = ws.GetLabels();
    // Labels follow the grammar: a word starts with B or S and ends with E or S.
    for (int i = 0; i < n; ++i) {
        const bool open = i > 0 && (labels[i - 1] == CCharModel::kB || labels[i - 1] == CCharModel::kM);
        const bool continues = labels[i] == CCharModel::kM || labels[i] == CCharModel::kE;
        if (labels[i] > CCharModel::kS || open != continues || starts[i + 1] <= starts[i])
            std::abort();
        for (int l = 0; l < 4; ++l)
            if (!std::isfinite(ws.GetLabelScores()[i * 4 + l]))
                std::abort();
    }
    if (labels[n - 1] == CCharModel::kB || labels[n - 1] == CCharModel::kM)
        std::abort();
    // The words cover the labelled characters without gap or overlap.
    const auto& w = ws.GetWords();
    if (static_cast<int>(w.size()) != words || w.empty() || w.front().start != starts[0] || w.back().end != starts[n])
        std::abort();
    for (size_t k = 0; k < w.size(); ++k)
        if (w[k].end <= w[k].start || (k > 0 && w[k].start != w[k - 1].end) || !(w[k].confidence >= 0))
            std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = fuzzinput::TempPath("input.cm");
    fuzzinput::WriteAll(path, data, size);
    CCharModel model;
    if (!model.Load(path.c_str()))
        return 0;
    const int length = static_cast<int>(sizeof kText - 1);
    Check(model, kText, length);
    Check(model, kText + 3, 8);
    Check(model, kText + 6, length - 7);
    Check(model, kText + length - 1, 1);
    const size_t tail = size < 48 ? size : 48;
    Check(model, reinterpret_cast<const char*>(data + size - tail), static_cast<int>(tail));
    return 0;
}
