#include "tools/trainer/EntityIndex.h"

#include <algorithm>
#include <numeric>

EntityIndex::EntityIndex(const std::vector<RoleScheme::Entity>& list) : entities(list)
{
    byStart.resize(entities.size());
    std::iota(byStart.begin(), byStart.end(), size_t(0));
    std::stable_sort(byStart.begin(), byStart.end(),
                     [this](size_t a, size_t b) { return entities[a].start < entities[b].start; });
    starts.reserve(entities.size());
    ends.reserve(entities.size());
    for (const RoleScheme::Entity& e : entities) {
        starts.insert(e.start);
        ends.insert(e.end);
    }
}

std::vector<const RoleScheme::Entity*> EntityIndex::StartingIn(int from, int to) const
{
    std::vector<const RoleScheme::Entity*> found;
    auto it = std::lower_bound(byStart.begin(), byStart.end(), from,
                               [this](size_t k, int offset) { return entities[k].start < offset; });
    for (; it != byStart.end() && entities[*it].start <= to; ++it)
        found.push_back(&entities[*it]);
    return found;
}

const RoleScheme::Entity* EntityIndex::Cursor::Holding(int offset)
{
    if (started && offset < last) {
        next = 0;
        open = std::priority_queue<size_t>();
    }
    started = true;
    last = offset;
    const std::vector<RoleScheme::Entity>& list = index.entities;
    while (next < index.byStart.size() && list[index.byStart[next]].start <= offset)
        open.push(index.byStart[next++]);
    // An entity that ended at or before this offset ends before every later one.
    while (!open.empty() && list[open.top()].end <= offset)
        open.pop();
    return open.empty() ? nullptr : &list[open.top()];
}
