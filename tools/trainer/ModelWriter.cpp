#include "tools/trainer/ModelWriter.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

ModelWriter::Batch* ModelWriter::openBatch = nullptr;

namespace {

// Writes all of `bytes` to `path` (created or truncated) and flushes it to disk.
bool WriteSynced(const std::string& path, const std::string& bytes)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    bool ok = true;
    for (size_t done = 0; ok && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        done += ok ? static_cast<size_t>(n) : 0;
    }
    ok = ::fsync(fd) == 0 && ok;
    return ::close(fd) == 0 && ok;
}

// Flushes a file written by someone else (CPDAT::Save, say) to disk.
bool Sync(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    return ::close(fd) == 0 && ok;
}

// Flushes the directory holding `path`, so that a rename in it is on disk.
void SyncDirectoryOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

bool SameFile(const std::string& a, const std::string& b)
{
    struct stat sa {}, sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

} // namespace

ModelWriter::Batch::Batch()
{
    if (openBatch == nullptr)
        openBatch = this;
}

ModelWriter::Batch::~Batch()
{
    if (!committed)
        for (const auto& f : files)
            std::remove(f.second.c_str());
    if (openBatch == this)
        openBatch = nullptr;
}

bool ModelWriter::Batch::Commit()
{
    // Everything reaches the disk before the first target is replaced.
    for (const auto& f : files) {
        if (!Sync(f.second)) {
            std::fprintf(stderr, "morv-train: cannot write %s: %s\n", f.first.c_str(), std::strerror(errno));
            return false;
        }
    }
    committed = true;
    bool ok = true;
    for (const auto& f : files) {
        if (std::rename(f.second.c_str(), f.first.c_str()) != 0) {
            std::fprintf(stderr, "morv-train: cannot replace %s: %s\n", f.first.c_str(), std::strerror(errno));
            std::remove(f.second.c_str());
            ok = false;
            continue;
        }
        SyncDirectoryOf(f.first);
    }
    files.clear();
    if (openBatch == this)
        openBatch = nullptr;
    return ok;
}

std::string ModelWriter::TemporaryName(const std::string& target)
{
    return target + ".tmp-" + std::to_string(static_cast<long>(::getpid()));
}

std::string ModelWriter::Target(const std::string& target)
{
    if (openBatch == nullptr)
        return target;
    for (const auto& f : openBatch->files)
        if (f.first == target)
            return f.second;
    openBatch->files.emplace_back(target, TemporaryName(target));
    return openBatch->files.back().second;
}

std::string ModelWriter::Staged(const std::string& target)
{
    if (openBatch != nullptr)
        for (const auto& f : openBatch->files)
            if (f.first == target)
                return f.second;
    return target;
}

const std::vector<std::string>& ModelWriter::RunFiles()
{
    static const std::vector<std::string> files = {
        "Configure.xml",      "Data/charset.type", "Data/CoreDict.pdat", "Data/CoreDict.unig",
        "Data/BiWord.big",    "Data/CoreDict.pos", "Data/Morv.ctx",      "Data/tagset.txt",
        "Data/nr.role",       "Data/nr.ctx",       "Data/nr.fsa",        "Data/prelim.words",
        "Data/CoreDict.words", "Data/NewWord.cm", "Data/Trained.txt",
        "Data/NewWord.unig", "Data/NewWord.big", "Data/NewWord.pos", "Data/Supplement.pdat",
        "Data/Supplement.tab", "Data/PersonName.nm", "Data/Translit.tm", "Data/TranslitKind.tk",
        "Data/ns.role",       "Data/ns.ctx",       "Data/ns.fsa",        "Data/ns.apart",
        "Data/nt.role",       "Data/nt.ctx",       "Data/nt.fsa",        "Data/nt.suffix",     "Data/nt.apart",
        "Data/NewPos.pm",
        "Data/Keywords.idf",  "Data/stopwords.txt"};
    return files;
}

bool ModelWriter::WouldReplace(const std::string& dir, const std::string& path)
{
    if (SameFile(dir, path))
        return true;
    for (const std::string& name : RunFiles())
        if (SameFile(dir + "/" + name, path))
            return true;
    return false;
}

void ModelWriter::Put(std::string& out, int32_t v)
{
    uint32_t u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((u >> (8 * i)) & 0xFF));
}

bool ModelWriter::WriteBytes(const std::string& path, const std::string& bytes)
{
    if (openBatch != nullptr) {
        // Renamed into place by the batch's Commit.
        const std::string temporary = Target(path);
        if (WriteSynced(temporary, bytes))
            return true;
        std::remove(temporary.c_str());
        return false;
    }
    const std::string temporary = TemporaryName(path);
    if (!WriteSynced(temporary, bytes) || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    SyncDirectoryOf(path);
    return true;
}

bool ModelWriter::WriteUnigram(const std::string& path, const std::vector<int32_t>& frequencies)
{
    std::string out;
    int64_t total = 0;
    for (int32_t f : frequencies)
        total += f;
    Put(out, static_cast<int32_t>(frequencies.size()));
    Put(out, static_cast<int32_t>(frequencies.size()) - 1);
    Put(out, static_cast<int32_t>(total));
    for (int32_t f : frequencies)
        Put(out, f);
    return WriteBytes(path, out);
}

bool ModelWriter::WriteBigram(const std::string& path, int rowCount,
                              const std::map<std::pair<int32_t, int32_t>, int32_t>& pairs)
{
    std::string out;
    Put(out, static_cast<int32_t>(pairs.size()));
    Put(out, rowCount);
    std::vector<std::pair<int32_t, int32_t>> rows(static_cast<size_t>(rowCount), {-1, -1});
    int32_t index = 0;
    for (const auto& p : pairs) { // std::map order: by first, then by second id
        Put(out, p.first.second);
        Put(out, p.second);
        auto& row = rows.at(static_cast<size_t>(p.first.first));
        if (row.first < 0)
            row.first = index;
        row.second = index;
        ++index;
    }
    for (const auto& r : rows) {
        Put(out, r.first);
        Put(out, r.second);
    }
    return WriteBytes(path, out);
}

bool ModelWriter::WriteLexicon(const std::string& path, const std::vector<LexiconEntries>& words)
{
    std::string entries, index;
    int32_t m = 0;
    for (const LexiconEntries& w : words) {
        if (w.empty()) {
            Put(index, -1);
            Put(index, 0);
            continue;
        }
        Put(index, m);
        Put(index, static_cast<int32_t>(w.size()));
        for (const auto& e : w) {
            entries.push_back(static_cast<char>(e.first));
            entries.append(3, '\0');
            Put(entries, e.second);
            ++m;
        }
    }
    std::string out;
    Put(out, m);
    Put(out, static_cast<int32_t>(words.size()));
    return WriteBytes(path, out + entries + index);
}

bool ModelWriter::WriteContext(const std::string& path, int tagCount, const std::vector<int32_t>& frequencies,
                               const std::vector<int32_t>& counts)
{
    if (tagCount < 0 || tagCount > 255 || frequencies.size() != static_cast<size_t>(tagCount) ||
        counts.size() != static_cast<size_t>(tagCount) * static_cast<size_t>(tagCount))
        return false;
    std::string out(1, static_cast<char>(tagCount));
    int64_t total = 0;
    for (int32_t f : frequencies)
        total += f;
    Put(out, static_cast<int32_t>(total));
    for (int32_t f : frequencies)
        Put(out, f);
    for (int32_t c : counts)
        Put(out, c);
    return WriteBytes(path, out);
}

bool ModelWriter::WriteAutomaton(const std::string& path, int symbolCount, const std::vector<int32_t>& accepting,
                                 const std::vector<int32_t>& outputs, const std::vector<int32_t>& transitions)
{
    size_t states = accepting.size();
    if (outputs.size() != states || transitions.size() != states * static_cast<size_t>(symbolCount))
        return false;
    std::string out;
    Put(out, symbolCount);
    Put(out, static_cast<int32_t>(states));
    for (int32_t a : accepting)
        Put(out, a);
    for (int32_t o : outputs)
        Put(out, o);
    for (int32_t t : transitions)
        Put(out, t);
    return WriteBytes(path, out);
}

ModelWriter::LexiconEntries ModelWriter::SortedEntries(const std::map<int, int32_t>& counts)
{
    LexiconEntries e;
    for (const auto& c : counts)
        e.emplace_back(static_cast<uint8_t>(c.first), c.second);
    std::stable_sort(e.begin(), e.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    return e;
}
