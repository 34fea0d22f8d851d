// Build time of the dictionary trie on a word list the size of a core dictionary:
// 150,000 distinct words of 1 to 4 GB2312 characters with Zipf-like character
// frequencies. Prints the figures; usage: bench_pdat_build [words] [seed]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <unistd.h>
#include <unordered_set>
#include <vector>

#include "lexicon/CPDAT.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point from)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

} // namespace

int main(int argc, char** argv)
{
    const int wordTarget = argc > 1 ? std::atoi(argv[1]) : 150000;
    const unsigned seed = argc > 2 ? unsigned(std::atoi(argv[2])) : 2026;
    std::mt19937 rng(seed);

    // All GB2312 hanzi (rows 0xB0..0xF7, cells 0xA1..0xFE, minus the 5 empty
    // cells at the end of row 0xD7), in random frequency rank.
    std::vector<std::string> hanzi;
    for (unsigned lead = 0xB0; lead <= 0xF7; ++lead)
        for (unsigned trail = 0xA1; trail <= 0xFE; ++trail)
            if (!(lead == 0xD7 && trail > 0xF9))
                hanzi.push_back(std::string{char(lead), char(trail)});
    std::shuffle(hanzi.begin(), hanzi.end(), rng);
    std::vector<double> weights;
    for (size_t r = 0; r < hanzi.size(); ++r)
        weights.push_back(1.0 / double(r + 10));
    std::discrete_distribution<size_t> pickChar(weights.begin(), weights.end());
    std::discrete_distribution<int> pickLength({6, 56, 22, 16}); // 1..4 characters

    std::unordered_set<std::string> seen;
    std::string list;
    int words = 0;
    while (words < wordTarget) {
        std::string w;
        for (int n = pickLength(rng) + 1; n > 0; --n)
            w += hanzi[pickChar(rng)];
        if (!seen.insert(w).second)
            continue;
        list += w;
        list += '\n';
        ++words;
    }

    char dir[] = "/tmp/morv-bench-XXXXXX";
    if (mkdtemp(dir) == nullptr)
        return 1;
    const std::string listPath = std::string(dir) + "/words.txt";
    const std::string pdatPath = std::string(dir) + "/words.pdat";
    std::FILE* f = std::fopen(listPath.c_str(), "wb");
    if (f == nullptr)
        return 1;
    std::fwrite(list.data(), 1, list.size(), f);
    std::fclose(f);

    CPDAT dict;
    auto start = std::chrono::steady_clock::now();
    const int built = dict.BuildFromWordList(listPath.c_str());
    const double buildSeconds = Seconds(start);
    dict.Save(pdatPath.c_str());

    // Every word looked up once, to show the lookups on the same trie.
    start = std::chrono::steady_clock::now();
    long found = 0;
    for (const std::string& w : seen)
        found += dict.ExactMatch(w.c_str()) >= 0;
    const double lookupSeconds = Seconds(start);

    std::printf("words %d (distinct %zu), highestIndex %d, file %lld bytes\n", built, seen.size(),
                dict.GetHighestIndex(), 262152LL + 12LL * (dict.GetHighestIndex() + 1));
    std::printf("entries per word %.3f\n", double(dict.GetHighestIndex() + 1) / built);
    std::printf("build %.3f s\n", buildSeconds);
    std::printf("ExactMatch %.1f ns per word (%ld found)\n", lookupSeconds * 1e9 / double(seen.size()), found);

    std::remove(listPath.c_str());
    std::remove(pdatPath.c_str());
    rmdir(dir);
    return built == wordTarget && found == long(seen.size()) ? 0 : 1;
}
