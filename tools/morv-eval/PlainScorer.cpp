#include "tools/morv-eval/PlainScorer.h"

#include <cstdio>
#include <fstream>
#include <utility>
#include <vector>

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

// An item as the word it holds: a corpus item "word/tag" (in a compound
// "[word/tag" or "word/tag]tag") gives its word; a plain word stays as it is.
std::string Bare(const std::string& item)
{
    size_t end = item.size();
    const size_t close = item.rfind(']');
    if (close != std::string::npos && close > 0)
        end = close;
    const size_t slash = item.rfind('/', end == 0 ? 0 : end - 1);
    if (slash == std::string::npos || slash == 0 || end - slash < 2 || end - slash > 6)
        return item;
    for (size_t k = slash + 1; k < end; ++k)
        if (!((item[k] >= 'a' && item[k] <= 'z') || (item[k] >= 'A' && item[k] <= 'Z')))
            return item;
    const size_t begin = item[0] == '[' && slash > 1 ? 1 : 0;
    return item.substr(begin, slash - begin);
}

// The words of a line and the text they make.
std::vector<std::string> Words(const std::string& line, std::string& text)
{
    std::vector<std::string> words;
    text.clear();
    for (size_t i = 0; i < line.size();) {
        while (i < line.size() && IsBlank(line[i]))
            ++i;
        size_t j = i;
        while (j < line.size() && !IsBlank(line[j]))
            ++j;
        if (j > i) {
            words.push_back(Bare(line.substr(i, j - i)));
            text += words.back();
        }
        i = j;
    }
    return words;
}

double Ratio(size_t a, size_t b)
{
    return b != 0 ? static_cast<double>(a) / static_cast<double>(b) : 0.0;
}

} // namespace

bool PlainScorer::ScoreLine(const std::string& system, const std::string& gold)
{
    std::string systemText, goldText;
    const std::vector<std::string> s = Words(system, systemText);
    const std::vector<std::string> g = Words(gold, goldText);
    if (systemText != goldText)
        return false;
    std::set<std::pair<size_t, size_t>> spans;
    size_t at = 0;
    for (const std::string& w : s) {
        spans.emplace(at, at + w.size());
        at += w.size();
    }
    counts.system += s.size();
    counts.gold += g.size();
    at = 0;
    for (const std::string& w : g) {
        const bool found = spans.count({at, at + w.size()}) > 0;
        const bool oov = vocabulary != nullptr && vocabulary->count(w) == 0;
        counts.correct += found;
        counts.oovGold += oov;
        counts.oovCorrect += oov && found;
        at += w.size();
    }
    return true;
}

bool PlainScorer::Score(const std::string& systemPath, const std::string& goldPath, std::string* error)
{
    std::ifstream system(systemPath, std::ios::binary), gold(goldPath, std::ios::binary);
    if (!system || !gold) {
        *error = "cannot read " + (system ? goldPath : systemPath);
        return false;
    }
    std::string s, g;
    for (size_t line = 1;; ++line) {
        const bool moreSystem = static_cast<bool>(std::getline(system, s));
        const bool moreGold = static_cast<bool>(std::getline(gold, g));
        if (!moreSystem && !moreGold)
            return true;
        if (moreSystem != moreGold) {
            *error = (moreSystem ? goldPath : systemPath) + " ends at line " + std::to_string(line) +
                     ", the other file goes on";
            return false;
        }
        if (!ScoreLine(s, g)) {
            *error = "line " + std::to_string(line) + ": the two files hold different texts";
            return false;
        }
    }
}

void PlainScorer::Print() const
{
    const double p = Ratio(counts.correct, counts.system), r = Ratio(counts.correct, counts.gold);
    std::printf("| measure | value |\n|---|---|\n");
    std::printf("| words (gold / system / both) | %zu / %zu / %zu |\n", counts.gold, counts.system, counts.correct);
    std::printf("| segmentation precision | %.4f |\n", p);
    std::printf("| segmentation recall | %.4f |\n", r);
    std::printf("| segmentation F1 | %.4f |\n", p + r > 0 ? 2 * p * r / (p + r) : 0.0);
    if (vocabulary != nullptr)
        std::printf("| OOV recall (%zu OOV words) | %.4f |\n", counts.oovGold, Ratio(counts.oovCorrect, counts.oovGold));
}
