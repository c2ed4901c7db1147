#pragma once
// Counts the heap of the whole process, Qt's included: s_heap is what is held now, s_peak the
// highest it has been since a benchmark set it. Included by one source of a benchmark program,
// which then allocates through these.

#include <malloc.h>

#include <atomic>
#include <cstddef>
#include <cstdlib>

// Every allocation of the process, Qt's included, passes through these and is counted.
extern "C" {
void *__libc_malloc(size_t size);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *pointer, size_t size);
void *__libc_memalign(size_t alignment, size_t size);
void __libc_free(void *pointer);
}

namespace {
std::atomic<long long> s_heap{0};
std::atomic<long long> s_peak{0};

void *counted(void *pointer)
{
    if (pointer) {
        const long long now = s_heap += static_cast<long long>(malloc_usable_size(pointer));
        long long peak = s_peak.load(std::memory_order_relaxed);
        while (now > peak && !s_peak.compare_exchange_weak(peak, now)) {
        }
    }
    return pointer;
}

void uncount(void *pointer)
{
    if (pointer)
        s_heap -= static_cast<long long>(malloc_usable_size(pointer));
}
} // namespace

extern "C" {
void *malloc(size_t size)
{
    return counted(__libc_malloc(size));
}
void *calloc(size_t count, size_t size)
{
    return counted(__libc_calloc(count, size));
}
void free(void *pointer)
{
    uncount(pointer);
    __libc_free(pointer);
}
void *realloc(void *pointer, size_t size)
{
    uncount(pointer);
    return counted(__libc_realloc(pointer, size));
}
void *memalign(size_t alignment, size_t size)
{
    return counted(__libc_memalign(alignment, size));
}
void *aligned_alloc(size_t alignment, size_t size)
{
    return counted(__libc_memalign(alignment, size));
}
int posix_memalign(void **out, size_t alignment, size_t size)
{
    *out = counted(__libc_memalign(alignment, size));
    return *out ? 0 : 12; // ENOMEM
}
}
