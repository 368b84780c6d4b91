#pragma once
// Walk over the children of one atom inside the moov buffer.
#include <cstdint>

#include "media/mov_file.h"

// Calls visit(child) for each child atom of the payload [position, position + size);
// the walk ends when fewer than `minimum` bytes remain. Returns false when a child
// header fails to parse (the walk then stops there). visit may return false to stop.
template <class Visit>
bool mov_walk_children(const uint8_t* buffer, uint64_t position, uint64_t size, Visit&& visit,
                       uint64_t minimum = 8) {
    uint64_t remaining = size;
    while (remaining >= minimum) {
        AtomHeader child;
        if (!atom_parse_header(&child, buffer, position, remaining)) return false;
        if (!visit(child)) return true;
        remaining -= child.size;
        position = child.dataOffset + child.dataSize;
    }
    return true;
}
