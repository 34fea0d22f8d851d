#include "tagging/CRoleTagger.h"

#include "lexicon/BinaryFile.h"

bool CRoleTagger::Load(const char* path)
{
    BinaryFile file(path, "rb");
    if (!file.IsOpen())
        return false;
    // A and S are the automaton even when it is empty: a file without them (an
    // empty file) is no automaton.
    int32_t header[2] = {0, 0};
    if (file.Read(header, sizeof header) != sizeof header)
        return false;
    const int32_t a = header[0];
    const int32_t s = header[1];
    // Role codes are one byte, so no automaton reads more than 256 symbols.
    if (a < 0 || s < 0 || a > kMaxSymbols)
        return false;
    // Both factors fit 31 bits, so the product of S and A + 2 fits 64. Far more
    // than the file holds, or bytes after the last row, is damage (or another
    // file), not truncation.
    const int64_t words = int64_t(s) * (int64_t(a) + 2);
    if (!BinaryFile::PlausibleCount(words, 4, file.Remaining()) || file.Remaining() > words * 4)
        return false;

    const size_t states = static_cast<size_t>(s);
    const size_t symbols = static_cast<size_t>(a);
    std::vector<int32_t> newAccepting(states, 0);
    std::vector<int32_t> newOutputs(states, 0);
    std::vector<int32_t> newTransitions(states * symbols, -1);
    file.Read(newAccepting.data(), states * sizeof(int32_t));
    file.Read(newOutputs.data(), states * sizeof(int32_t));
    file.Read(newTransitions.data(), newTransitions.size() * sizeof(int32_t));

    symbolCount = a;
    stateCount = s;
    accepting.swap(newAccepting);
    outputs.swap(newOutputs);
    transitions.swap(newTransitions);
    return true;
}

int CRoleTagger::Next(int state, int role) const
{
    if (state < 0 || state >= stateCount || role < 0 || role >= symbolCount)
        return -1;
    const int32_t next =
        transitions[static_cast<size_t>(state) * static_cast<size_t>(symbolCount) + static_cast<size_t>(role)];
    // A target outside the automaton is as good as no transition.
    if (next < 0 || next >= stateCount)
        return -1;
    return next;
}

int CRoleTagger::Recognize(TokenRecord* items, int& count, int personWordId) const
{
    if (count <= 0 || items == nullptr)
        return 0;
    const int n = count;
    int state = 0;
    int runStart = 0;
    int lastAccept = 0;
    int32_t acceptOutput = 0;
    int removed = 0;
    int i = 0;
    while (i < n) {
        int next = Next(state, items[i].tag);
        // A name is a handful of tokens. A run that reaches kMaxRunTokens ends
        // there as if the automaton had failed, so that, whatever automaton the
        // file holds, no token is scanned more than kMaxRunTokens + 1 times.
        if (next >= 0 && i - runStart >= kMaxRunTokens)
            next = -1;
        if (next >= 0) {
            if (accepting[static_cast<size_t>(next)] == 1) {
                lastAccept = i;
                acceptOutput = outputs[static_cast<size_t>(next)];
            }
            state = next;
            ++i;
        } else if (lastAccept > runStart) {
            // Longest accepted prefix of the run: one token from its first to the
            // last accepting one. The tokens after it are scanned again.
            const int dest = runStart - removed;
            if (removed > 0)
                items[dest] = items[runStart];
            items[dest].end = items[lastAccept].end;
            items[dest].wordId = personWordId;
            items[dest].kind = static_cast<uint8_t>(acceptOutput & 0xFF);
            removed += lastAccept - runStart;
            runStart = lastAccept + 1;
            state = 0;
            i = lastAccept + 1;
        } else {
            // No name here: the run's tokens, the failing one included, close the
            // gap left by earlier merges.
            if (removed > 0)
                for (int k = runStart; k <= i; ++k)
                    items[k - removed] = items[k];
            runStart = i + 1;
            state = 0;
            ++i;
        }
    }
    // A run still open at the end (the automaton had not failed yet) is not a
    // name; its tokens move down so that the array stays gap-free.
    if (removed > 0)
        for (int k = runStart; k < n; ++k)
            items[k - removed] = items[k];
    count = n - removed;
    return 0;
}

void CRoleTagger::FindRuns(const TokenRecord* items, int count, std::vector<Run>& runs, bool retryFailing) const
{
    // The scan of Recognize, reporting instead of merging.
    runs.clear();
    if (count <= 0 || items == nullptr)
        return;
    int state = 0;
    int runStart = 0;
    int lastAccept = 0;
    int32_t acceptOutput = 0;
    int i = 0;
    while (i < count) {
        int next = Next(state, items[i].tag);
        if (next >= 0 && i - runStart >= kMaxRunTokens)
            next = -1;
        if (next >= 0) {
            if (accepting[static_cast<size_t>(next)] == 1) {
                lastAccept = i;
                acceptOutput = outputs[static_cast<size_t>(next)];
            }
            state = next;
            ++i;
        } else if (lastAccept > runStart) {
            runs.push_back({runStart, lastAccept, acceptOutput});
            runStart = lastAccept + 1;
            state = 0;
            i = lastAccept + 1;
        } else if (retryFailing && i > runStart) {
            // Each token is tried once more at most: as the start of a new run.
            runStart = i;
            state = 0;
        } else {
            runStart = i + 1;
            state = 0;
            ++i;
        }
    }
}
