#pragma once

// How the C library hands memory back to the system. The engine's process
// is ours, and a tray program runs all day: what a check freed must not stay
// held until the next one.

namespace platform {

// Hands memory that the program has freed back to the system. The C
// library keeps freed memory for reuse; between two checks, a minute apart,
// it would only swell the footprint.
void releaseFreedMemory();
// Lets go of the pages of our code and that of our libraries that were
// read in from their files: they stay in the system's file cache, and are
// mapped again, without a read, when next run.
void releaseCodePages();
// Both, some seconds from now (once, however often asked): the engine
// frees most of a page's memory only after the page's process has gone.
void releaseFreedMemorySoon();
// Blocks from 256 KiB up (the engine's frame buffers, say) go back to the
// system as soon as they are freed. Left to itself, the C library raises that
// bound after the first such block and keeps megabytes of them in its
// threads' pools, out of reach of releaseFreedMemory(). Call before threads start.
void returnLargeBlocksWhenFreed();

} // namespace platform
