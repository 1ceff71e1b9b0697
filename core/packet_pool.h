#pragma once

#include <cstddef>
#include <new>

#include "core/dual_list.h"
#include "core/lock_policy.h"

// A fixed pool of N blocks, each large enough for one T, handed out first in,
// first out. The blocks live in static storage that the pool touches only
// when a block is first handed out, so a process that uses few blocks keeps
// few pages resident. All pool state is constant-initialised: it is whole
// before any code, static constructors included, can ask for a block.
template <typename T, unsigned N, typename Lock>
class List_allocator {
public:
    // A free-list link followed by room for one T.
    struct List_storage : F_dual_list_item<List_storage> {
        alignas(T) unsigned char item[sizeof(T)];
    };

    // Room for a T, or null when every block is in use.
    static T* allocate() {
        Critical_section_guard<Lock> guard(crit_section);
        List_storage* block;
        if (fresh < N) {
            // Blocks never handed out are all older than any freed one.
            block = ::new (static_cast<void*>(blocks + fresh * sizeof(List_storage))) List_storage;
            ++fresh;
        } else {
            block = free_list.remove_from_head();
            if (!block) return nullptr;
        }
        return reinterpret_cast<T*>(block->item);
    }

    static void deallocate(T* p) {
        Critical_section_guard<Lock> guard(crit_section);
        const std::size_t index =
            static_cast<std::size_t>(reinterpret_cast<unsigned char*>(p) - blocks) / sizeof(List_storage);
        free_list.insert_to_tail(
            std::launder(reinterpret_cast<List_storage*>(blocks + index * sizeof(List_storage))));
    }

    // Blocks that allocate can still hand out.
    static unsigned available() { return N - fresh + free_list.count(); }
    static constexpr unsigned capacity() { return N; }

private:
    alignas(List_storage) static inline unsigned char blocks[N * sizeof(List_storage)];
    static constinit inline F_dual_list<List_storage> free_list;
    static constinit inline unsigned fresh = 0;  // blocks [fresh, N) were never handed out
    static constinit inline Lock crit_section;
};
