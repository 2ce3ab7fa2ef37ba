#pragma once
// How the C library's allocator is set up for this program's work.

// Pictures come one after another at similar sizes, decoded on one thread and freed on
// another: freed buffers are kept for the next picture instead of being returned to the
// system and faulted in afresh, and two shared arenas let any thread reuse them. Call
// first thing in main, before any thread starts.
void keepFreedPictureMemory();

// Returns what the allocator kept once the pictures are done (the window after a batch).
void giveBackFreedPictureMemory();
