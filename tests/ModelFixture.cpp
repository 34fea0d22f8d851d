#include "tests/ModelFixture.h"

#include "lexicon/CPDAT.h"
#include "segment/SpecialWords.h"
#include "tests/TestUtil.h"

void AppendInt(std::string& out, int32_t v)
{
    out.append(reinterpret_cast<const char*>(&v), 4);
}

ModelFixture::ModelFixture(std::string baseDir) : base(std::move(baseDir))
{
    for (int i = 0; i < SpecialWords::kCount; ++i)
        words.push_back(SpecialWords::kWords[i]);
    const char* extra[] = {
        "\xB8\xF6",         // 个
        "\xCE\xD2",         // 我
        "\xC3\xC7",         // 们
        "\xCE\xD2\xC3\xC7", // 我们
        "\xCB\xB5",         // 说
        "\xA1\xA3",         // 。
        "\xD6\xD0",         // 中
        "\xB9\xFA",         // 国
        "\xD6\xD0\xB9\xFA", // 中国
        "a", "b", "<", ">", "&",
    };
    for (const char* w : extra)
        words.push_back(w);
    classes['\n'] = 28;
    classes['\r'] = 28;
    classes[0xA1A3] = 2; // 。
    for (int c = '0'; c <= '9'; ++c)
        classes[c] = 5;
    for (int c = 'a'; c <= 'z'; ++c)
        classes[c] = 8;
    for (int c = 'A'; c <= 'Z'; ++c)
        classes[c] = 8;
    classes['"'] = 1;
    for (int i = 0; i < 94; ++i)
        tags.push_back("x" + std::to_string(i));
    tags[18] = "m";
    tags[21] = "n";
    tags[24] = "nr";
    tags[29] = "ns";
    tags[31] = "nt";
    tags[52] = "t";
    tags[93] = "nx";
}

int ModelFixture::Id(const std::string& word) const
{
    for (size_t i = 0; i < words.size(); ++i)
        if (words[i] == word)
            return static_cast<int>(i);
    return -1;
}

void ModelFixture::Write(const std::string& skip) const
{
    MakeDir(base);
    const std::string data = base + "/Data";
    MakeDir(data);
    WriteFile(base + "/Configure.xml", configure);
    auto put = [&](const std::string& name, const std::string& content) {
        if (name != skip)
            WriteFile(data + "/" + name, content);
    };

    std::string charset(4 + 65536, '\0');
    for (const auto& kv : classes)
        charset[4 + static_cast<size_t>(kv.first)] = static_cast<char>(kv.second);
    put("charset.type", charset);

    std::string list;
    for (const std::string& w : words)
        list += w + "\n";
    WriteFile(data + "/words.txt", list);
    if (skip != "CoreDict.pdat") {
        CPDAT dict;
        dict.BuildFromWordList((data + "/words.txt").c_str());
        dict.Save((data + "/CoreDict.pdat").c_str());
    }

    std::string unig;
    const int n = static_cast<int>(words.size());
    int32_t total = 0;
    std::vector<int32_t> freq(static_cast<size_t>(n), 10);
    for (const auto& kv : frequencies)
        freq[static_cast<size_t>(kv.first)] = kv.second;
    for (int32_t f : freq)
        total += f;
    AppendInt(unig, n);
    AppendInt(unig, n - 1);
    AppendInt(unig, total);
    for (int32_t f : freq)
        AppendInt(unig, f);
    put("CoreDict.unig", unig);

    std::string big;
    AppendInt(big, static_cast<int32_t>(pairs.size()));
    AppendInt(big, n);
    std::vector<std::pair<int32_t, int32_t>> rows(static_cast<size_t>(n), {-1, -1});
    int index = 0;
    for (const auto& kv : pairs) { // ordered by (first, second)
        AppendInt(big, kv.first.second);
        AppendInt(big, kv.second);
        auto& row = rows[static_cast<size_t>(kv.first.first)];
        if (row.first < 0)
            row.first = index;
        row.second = index++;
    }
    for (const auto& r : rows) {
        AppendInt(big, r.first);
        AppendInt(big, r.second);
    }
    put("BiWord.big", big);

    std::string emptyLexicon;
    AppendInt(emptyLexicon, 0);
    AppendInt(emptyLexicon, 0);
    put("CoreDict.pos", emptyLexicon);
    std::string roleLexicon;
    std::string roleIndex;
    int entries = 0;
    const int roleWords = roles.empty() ? 0 : roles.rbegin()->first + 1;
    for (int id = 0; id < roleWords; ++id) {
        auto it = roles.find(id);
        const int first = it == roles.end() ? -1 : entries;
        const int n = it == roles.end() ? 0 : static_cast<int>(it->second.size());
        AppendInt(roleIndex, first);
        AppendInt(roleIndex, n);
        if (it != roles.end())
            for (const auto& e : it->second) {
                AppendInt(roleLexicon, e.first);
                AppendInt(roleLexicon, e.second);
                ++entries;
            }
    }
    std::string roleFile;
    AppendInt(roleFile, entries);
    AppendInt(roleFile, roleWords);
    put("nr.role", roleFile + roleLexicon + roleIndex);

    std::string emptyContext(1, '\0');
    AppendInt(emptyContext, 0);
    put("Morv.ctx", emptyContext);
    put("nr.ctx", emptyContext);

    std::string automaton = fsa;
    if (automaton.empty()) {
        AppendInt(automaton, 0);
        AppendInt(automaton, 0);
    }
    put("nr.fsa", automaton);

    std::string tagText;
    for (const std::string& t : tags)
        tagText += t + "\n";
    put("tags.txt", tagText);
}
