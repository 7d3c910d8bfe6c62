// util/pool_list: the two intrusive lists of a fixed pool. Free records are
// linked through `next`; records in use are doubly linked (`prev`, `next`),
// newest first.
#pragma once

// Takes the first free record, clears it and puts it at the front of the
// list in use; null when the pool is exhausted.
template <typename T>
T* pool_list_take(T*& free_head, T*& used_head)
{
    T* r = free_head;
    if (!r) return nullptr;
    free_head = r->next;
    *r = T{};
    r->next = used_head;
    if (used_head) used_head->prev = r;
    used_head = r;
    return r;
}
