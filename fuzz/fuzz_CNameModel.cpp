// libFuzzer target: CNameModel::Load on arbitrary bytes; after a successful
// load, the labelling of a fixed GBK text (plain, with bonuses and token bounds)
// and of the input's own last bytes as a text, with the invariants every
// labelling must keep.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/FuzzInput.h"
#include "tagging/CNameModel.h"

namespace {

using N = CNameModel;

// ASCII, digits, GB2312 characters (王小明说克林顿), a repeated character, a
// lone lead byte at the end.
const char kText[] = "ab 12\xCD\xF5\xD0\xA1\xC3\xF7\xCB\xB5\xBF\xCB\xC1\xD6\xB6\xD9\xB6\xD9\xA1\xA3x\xB0";

void Check(const CNameModel& model, const char* text, int length, int hints)
{
    CNameModel::Workspace ws;
    const int n = model.Prepare(text, length, ws);
    if (n < 0 || n > (length > 0 ? length : 0))
        std::abort();
    // Bonuses anywhere, in range or not, of any size; some places no boundary.
    for (int k = 0; k < hints; ++k) {
        ws.AddLabelBonus(k * 3 - 1, k % 8, k % 2 ? 1e9f : -3.5f * float(k));
        ws.AddEndBonus(k * 2 - 1, k % 3 ? 2.0f : -1e20f);
        ws.MarkNoBoundary(k * 5 % (n + 2));
        ws.SetBoundaryPenalty(float(k));
    }
    const int names = model.Decode(ws);
    if (n == 0) {
        if (names != 0)
            std::abort();
        return;
    }
    const int* starts = ws.GetCharStarts();
    const uint8_t* labels = ws.GetLabels();
    if (starts[0] != 0 || starts[n] != length || !N::kCanStart[labels[0]] || !N::kCanEnd[labels[n - 1]])
        std::abort();
    int begins = 0;
    for (int i = 0; i < n; ++i) {
        if (labels[i] >= N::kLabelCount || starts[i + 1] <= starts[i] || (i > 0 && !N::kAllowed[labels[i - 1]][labels[i]]))
            std::abort();
        begins += labels[i] == N::kSB || labels[i] == N::kWB;
    }
    // One name per name start, in order, within the text, a Chinese name split
    // inside it.
    const auto& found = ws.GetNames();
    if (static_cast<int>(found.size()) != names || names != begins)
        std::abort();
    int previous = 0;
    for (const auto& name : found) {
        if (name.start < previous || name.end <= name.start || name.end > length ||
            (name.split != -1 && (name.split <= name.start || name.split >= name.end)))
            std::abort();
        previous = name.end;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = fuzzinput::TempPath("input.nm");
    fuzzinput::WriteAll(path, data, size);
    CNameModel model;
    if (!model.Load(path.c_str()))
        return 0;
    const int length = static_cast<int>(sizeof kText - 1);
    Check(model, kText, length, 0);
    Check(model, kText, length, 12);
    Check(model, kText + 5, 8, 3);
    const size_t tail = size < 48 ? size : 48;
    Check(model, reinterpret_cast<const char*>(data + size - tail), static_cast<int>(tail), 5);
    return 0;
}
