#ifndef MORV_TRAINER_ENTITYINDEX_H
#define MORV_TRAINER_ENTITYINDEX_H

#include <cstddef>
#include <queue>
#include <unordered_set>
#include <vector>

#include "tools/trainer/RoleScheme.h"

// The gold entities of one paragraph by position, for the role counts: which
// entity holds a byte offset, whether one starts or ends at an offset, which
// start in a span. A paragraph may hold a hundred thousand entities (a list of
// place names on one line); comparing every token with every entity made the
// training quadratic in them. Answers are those of the plain comparison with
// every entity, in the scheme's order.
class EntityIndex {
public:
    explicit EntityIndex(const std::vector<RoleScheme::Entity>& entities);
    virtual ~EntityIndex() = default;

    bool StartsAt(int offset) const { return starts.count(offset) != 0; }
    bool EndsAt(int offset) const { return ends.count(offset) != 0; }
    // The entities whose start lies in [from, to], in the order of their starts.
    std::vector<const RoleScheme::Entity*> StartingIn(int from, int to) const;

    // Walks the offsets of a paragraph's tokens in order: Holding(offset) is the
    // last entity of the list with start <= offset < end, or null. Offsets that
    // go back start the walk again, so any order gives the right answer; in
    // order each entity is looked at a bounded number of times.
    class Cursor {
    public:
        explicit Cursor(const EntityIndex& index) : index(index) {}
        const RoleScheme::Entity* Holding(int offset);

    private:
        const EntityIndex& index;
        size_t next = 0; // the next entity by start not yet open
        int last = 0;
        bool started = false;
        std::priority_queue<size_t> open; // positions in the list, the last on top
    };

private:
    const std::vector<RoleScheme::Entity>& entities;
    std::vector<size_t> byStart; // positions in the list, by start (stable)
    std::unordered_set<int> starts;
    std::unordered_set<int> ends;
};

#endif
