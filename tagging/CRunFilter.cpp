#include "tagging/CRunFilter.h"

#include <algorithm>
#include <unordered_map>

#include "tagging/CPosLexicon.h"
#include "tagging/CRoleTagger.h"

bool CRunFilter::Build(const CRoleTagger& automaton, const CPosLexicon* lexicon, uint8_t defaultRole,
                       uint32_t everyToken)
{
    built = false;
    setOf.clear();
    reachable.clear();
    setRoles.clear();
    roleTargets.clear();
    acceptingStates = 0;
    const int states = automaton.GetStateCount();
    if (lexicon == nullptr || states <= 0 || states > kMaxStates || automaton.GetSymbolCount() > kMaxRoles ||
        defaultRole >= kMaxRoles)
        return false;
    stride = states;
    for (int state = 0; state < states; ++state)
        if (automaton.IsAccepting(state))
            acceptingStates |= uint32_t(1) << state;
    // The sets of roles in the order first met; each gets its row of targets.
    std::unordered_map<uint32_t, uint16_t> sets;
    uint32_t lastRoles = ~0u; // neighbouring ids often share their roles
    int lastIndex = -1;
    const auto indexOf = [&](uint32_t roles) -> int {
        const auto found = sets.find(roles);
        if (found != sets.end())
            return found->second;
        if (sets.size() >= 65535)
            return -1;
        const auto index = static_cast<uint16_t>(sets.size());
        sets.emplace(roles, index);
        setRoles.push_back(roles);
        for (int state = 0; state < states; ++state) {
            uint32_t targets = 0;
            for (int role = 0; role < kMaxRoles; ++role) {
                const int to = roles >> role & 1 ? automaton.Next(state, role) : -1;
                if (to >= 0 && to < states)
                    targets |= uint32_t(1) << to;
            }
            reachable.push_back(targets);
        }
        return index;
    };
    roleTargets.assign(static_cast<size_t>(kMaxRoles) * static_cast<size_t>(states), -1);
    for (int role = 0; role < kMaxRoles; ++role)
        for (int state = 0; state < states; ++state) {
            const int to = automaton.Next(state, role);
            if (to >= 0 && to < states)
                roleTargets[static_cast<size_t>(role * states + state)] = static_cast<int8_t>(to);
        }
    const int defaultIndex = indexOf(uint32_t(1) << defaultRole | everyToken);
    defaultSet = static_cast<uint16_t>(defaultIndex);
    const int words = std::max(lexicon->GetIndexSize(), 0);
    setOf.assign(static_cast<size_t>(words), defaultSet);
    for (int id = 0; id < words; ++id) {
        int n = 0;
        const CPosLexicon::Entry* e = lexicon->Lookup(id, &n);
        if (e == nullptr || n <= 0)
            continue; // the tagger gives it the default entry
        uint32_t roles = everyToken;
        for (int i = 0; i < n; ++i)
            if (e[i].tag < kMaxRoles)
                roles |= uint32_t(1) << e[i].tag;
            // else: a code beyond the automaton's, which no transition reads
        if (roles != lastRoles) {
            lastRoles = roles;
            lastIndex = indexOf(roles);
        }
        const int index = lastIndex;
        if (index < 0)
            return false;
        setOf[static_cast<size_t>(id)] = static_cast<uint16_t>(index);
    }
    built = true;
    return true;
}

bool CRunFilter::MayAccept(const TokenRecord* items, int count, int32_t passWordId) const
{
    if (!built)
        return true;
    // The states some run may be in after each token; every token may also
    // begin one (state 0).
    const uint32_t* rows = reachable.data();
    const size_t words = setOf.size();
    uint32_t states = 0;
    for (int i = 0; i < count; ++i) {
        const int32_t id = items[i].wordId;
        if (passWordId >= 0 && id == passWordId)
            return true;
        const size_t set = id >= 0 && static_cast<size_t>(id) < words ? setOf[static_cast<size_t>(id)] : defaultSet;
        const uint32_t* row = rows + set * static_cast<size_t>(stride);
        uint32_t reached = row[0];
        for (uint32_t from = states & ~1u; from != 0; from &= from - 1)
            reached |= row[__builtin_ctz(from)];
        if (reached & acceptingStates)
            return true;
        states = reached;
    }
    return false;
}

bool CRunFilter::MayAccept(const TokenRecord* items, int count, const uint32_t* extra) const
{
    if (!built)
        return true;
    if (extra == nullptr)
        return MayAccept(items, count);
    const uint32_t* rows = reachable.data();
    const size_t words = setOf.size();
    uint32_t states = 0;
    for (int i = 0; i < count; ++i) {
        const int32_t id = items[i].wordId;
        const size_t set = id >= 0 && static_cast<size_t>(id) < words ? setOf[static_cast<size_t>(id)] : defaultSet;
        uint32_t reached = 0;
        if (extra[i] == 0) {
            const uint32_t* row = rows + set * static_cast<size_t>(stride);
            reached = row[0];
            for (uint32_t from = states & ~1u; from != 0; from &= from - 1)
                reached |= row[__builtin_ctz(from)];
        } else {
            // Few tokens take extra roles: each role is followed on its own.
            const uint32_t from = states | 1u;
            for (uint32_t roles = setRoles[set] | extra[i]; roles != 0; roles &= roles - 1) {
                const int8_t* targets = roleTargets.data() + static_cast<size_t>(__builtin_ctz(roles)) * static_cast<size_t>(stride);
                for (uint32_t s = from; s != 0; s &= s - 1) {
                    const int to = targets[__builtin_ctz(s)];
                    if (to >= 0)
                        reached |= uint32_t(1) << to;
                }
            }
        }
        if (reached & acceptingStates)
            return true;
        states = reached;
    }
    return false;
}
