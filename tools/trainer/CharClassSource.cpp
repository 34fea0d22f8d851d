#include "tools/trainer/CharClassSource.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include "segment/CCharset.h"
#include "tools/trainer/GbkConverter.h"

constexpr uint8_t CharClassSource::kHeader[4];

CharClassSource::CharClassSource() : table(65536, 0) {}

bool CharClassSource::Load(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        errors.assign(1, "cannot open " + path);
        return false;
    }
    std::stringstream ss;
    ss << in.rdbuf();
    return Parse(ss.str());
}

namespace {

// Key of the one GBK character in s, -1 if s is not exactly one character.
int SingleKey(const std::string& gbk)
{
    if (gbk.size() == 1 && static_cast<unsigned char>(gbk[0]) < 0x80)
        return static_cast<unsigned char>(gbk[0]);
    if (gbk.size() == 2 && static_cast<unsigned char>(gbk[0]) >= 0x80)
        return static_cast<unsigned char>(gbk[0]) * 256 + static_cast<unsigned char>(gbk[1]);
    return -1;
}

} // namespace

bool CharClassSource::ParseItem(const std::string& item, std::vector<int>& keys, std::string& message)
{
    if (item.size() > 2 && item[0] == '0' && (item[1] == 'x' || item[1] == 'X')) {
        char* end = nullptr;
        long v = std::strtol(item.c_str() + 2, &end, 16);
        if (*end || v <= 0 || v > 0xFFFF || (v >= 0x80 && v < 0x8000)) {
            message = "bad key " + item;
            return false;
        }
        keys.push_back(static_cast<int>(v));
        return true;
    }
    GbkConverter conv;
    size_t dots = item.find("..");
    if (dots != std::string::npos && dots > 0 && dots + 2 < item.size()) {
        std::string a, b;
        if (!conv.ToGbk(item.substr(0, dots), a) || !conv.ToGbk(item.substr(dots + 2), b)) {
            message = "no GBK form: " + item;
            return false;
        }
        int ka = SingleKey(a), kb = SingleKey(b);
        if (ka < 0 || kb < 0 || kb < ka || (ka < 0x80) != (kb < 0x80) || kb - ka > 200) {
            message = "bad range " + item;
            return false;
        }
        for (int k = ka; k <= kb; ++k)
            keys.push_back(k);
        return true;
    }
    std::string g;
    if (!conv.ToGbk(item, g)) {
        message = "no GBK form: " + item;
        return false;
    }
    int k = SingleKey(g);
    if (k < 0) {
        message = "not one character: " + item;
        return false;
    }
    keys.push_back(k);
    return true;
}

bool CharClassSource::Parse(const std::string& text)
{
    errors.clear();
    table.assign(65536, 0);
    std::vector<int> owner(65536, 0); // line that set the key, for duplicate reports
    std::istringstream in(text);
    std::string line;
    int lineNo = 0;
    int current = -1;
    while (std::getline(in, line)) {
        ++lineNo;
        size_t hash = line.find('#');
        if (hash != std::string::npos)
            line.erase(hash);
        std::istringstream words(line);
        std::string item;
        if (!(words >> item))
            continue;
        if (item == "class") {
            int cls = -1;
            if (!(words >> cls) || cls < 1 || cls > 255) {
                errors.push_back("line " + std::to_string(lineNo) + ": bad class number");
                current = -1;
            } else {
                current = cls;
            }
            continue; // the rest of the line describes the class
        }
        do {
            if (current < 0) {
                errors.push_back("line " + std::to_string(lineNo) + ": characters before any class");
                break;
            }
            std::vector<int> keys;
            std::string message;
            if (!ParseItem(item, keys, message)) {
                errors.push_back("line " + std::to_string(lineNo) + ": " + message);
                continue;
            }
            for (int k : keys) {
                if (owner[k]) {
                    errors.push_back("line " + std::to_string(lineNo) + ": " + item +
                                     " already listed on line " + std::to_string(owner[k]));
                    continue;
                }
                owner[k] = lineNo;
                table[k] = static_cast<uint8_t>(current);
            }
        } while (words >> item);
    }
    return errors.empty();
}

void CharClassSource::FillCharset(CCharset& charset) const
{
    for (int k = 0; k < 65536; ++k)
        charset.SetClass(k, table[k]);
}

bool CharClassSource::WriteCharsetFile(const std::string& path) const
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(kHeader, 1, 4, f) == 4 && std::fwrite(table.data(), 1, table.size(), f) == table.size();
    return std::fclose(f) == 0 && ok;
}
