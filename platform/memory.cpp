#include "platform/memory.h"

#include <cstdlib> // defines __GLIBC__ where it applies

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

namespace platform {

void releaseFreedMemory() {
#ifdef __GLIBC__
    malloc_trim(0);
#endif
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
        QObject::connect(timer, &QTimer::timeout, [] { releaseFreedMemory(); });
    }
    timer->start();
}

} // namespace platform
