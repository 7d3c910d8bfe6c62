// util/pool_list: the two intrusive lists of a fixed pool. Free records are
// linked through `next` (with a null `prev`, where they have one); records in
// use are doubly linked (`prev`, `next`), newest first.
#pragma once

// A take always takes the free list's first record and a give-back makes the
// record its first, so the record taken next is the one given back last.

// Links `count` records into the free list in index order, record 0 first.
template <typename T>
void pool_list_init(T* recs, int count, T*& free_head)
{
    for (int i = 0; i < count; ++i) {
        recs[i].next = i + 1 < count ? &recs[i + 1] : nullptr;
        if constexpr (requires { recs[i].prev; }) recs[i].prev = nullptr;
    }
    free_head = count > 0 ? recs : nullptr;
}

// Takes the first free record, sets it to `init` and puts it at the front of
// the list in use; null when the pool is exhausted.
template <typename T>
T* pool_list_take(T*& free_head, T*& used_head, const T& init)
{
    T* r = free_head;
    if (!r) return nullptr;
    free_head = r->next;
    *r = init;
    r->prev = nullptr;
    r->next = used_head;
    if (used_head) used_head->prev = r;
    used_head = r;
    return r;
}

// The same with the record cleared.
template <typename T>
T* pool_list_take(T*& free_head, T*& used_head)
{
    return pool_list_take(free_head, used_head, T{});
}

// Takes the first free record, cleared and on no list, for pools whose records
// join lists their owners keep in an order of their own; null when exhausted.
template <typename T>
T* pool_list_take_unlinked(T*& free_head)
{
    T* r = free_head;
    if (!r) return nullptr;
    free_head = r->next;
    *r = T{};
    return r;
}

// Unlinks `r` from the doubly linked list headed by `used_head` (the list in
// use, or the owner's list it was put into) and puts it at the front of the
// free list. `r` must be on that list.
template <typename T>
void pool_list_give(T* r, T*& free_head, T*& used_head)
{
    if (r->prev)
        r->prev->next = r->next;
    else
        used_head = r->next;
    if (r->next) r->next->prev = r->prev;
    r->prev = nullptr;
    r->next = free_head;
    free_head = r;
}
