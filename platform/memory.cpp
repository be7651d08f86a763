#include "platform/memory.h"

#include <cstdlib> // defines __GLIBC__ where it applies

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

#include <elf.h>
#include <link.h>
#include <string_view>
#include <sys/mman.h>
#include <unistd.h>

namespace platform {
namespace {

bool hasTextRelocations(const dl_phdr_info* info) {
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        if (info->dlpi_phdr[i].p_type != PT_DYNAMIC)
            continue;
        const auto* d = reinterpret_cast<const ElfW(Dyn)*>(info->dlpi_addr + info->dlpi_phdr[i].p_vaddr);
        for (; d->d_tag != DT_NULL; ++d)
            if (d->d_tag == DT_TEXTREL || (d->d_tag == DT_FLAGS && (d->d_un.d_val & DF_TEXTREL)))
                return true;
    }
    return false;
}

// The read-only segments of the program and its libraries (the engine's
// code alone is some 50 MiB once a page has been loaded) are let go from
// our page tables: their pages stay in the system's file cache, and read
// back from it when next run. Inside dl_iterate_phdr no library can be
// unloaded meanwhile; segments that are never written (no text
// relocations) read back exactly as they were.
int releaseReadOnlySegments(dl_phdr_info* info, size_t, void*) {
    const std::string_view name(info->dlpi_name ? info->dlpi_name : "");
    if (name.find("linux-vdso") != std::string_view::npos || hasTextRelocations(info))
        return 0;
    const auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = info->dlpi_phdr[i];
        if (segment.p_type != PT_LOAD || (segment.p_flags & PF_W))
            continue;
        // Only whole pages of the segment: an edge page may be another's.
        const uintptr_t start = (info->dlpi_addr + segment.p_vaddr + page - 1) & ~(page - 1);
        const uintptr_t end = (info->dlpi_addr + segment.p_vaddr + segment.p_memsz) & ~(page - 1);
        if (end > start)
            ::madvise(reinterpret_cast<void*>(start), end - start, MADV_DONTNEED);
    }
    return 0;
}

} // namespace

void releaseFreedMemory() {
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

void releaseCodePages() {
    // For a baseline in benchmarks.
    if (qEnvironmentVariableIntValue("KELVO_KEEP_CODE_PAGES") == 1)
        return;
    dl_iterate_phdr(&releaseReadOnlySegments, nullptr);
}

void returnLargeBlocksWhenFreed() {
#ifdef __GLIBC__
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
#endif
}

void releaseFreedMemorySoon() {
    constexpr int AfterMs = 5000;
    static QPointer<QTimer> timer;
    if (!timer) {
        timer = new QTimer(QCoreApplication::instance());
        timer->setSingleShot(true);
        timer->setInterval(AfterMs);
        QObject::connect(timer, &QTimer::timeout, [] {
            releaseFreedMemory();
            releaseCodePages();
        });
    }
    timer->start();
}

} // namespace platform
