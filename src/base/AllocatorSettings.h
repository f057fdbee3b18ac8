#pragma once
// How the C library's allocator serves a batch, set once while a program starts.

// Pictures of a megabyte and more get blocks of their own from the system and give them back
// when freed. Otherwise the allocator raises that limit after the first big picture is freed,
// and later pictures fragment the heap, which then holds far more than the largest picture
// needs.
//
// Below that size, memory freed at the top of the heap stays with the process up to a few
// megabytes: a page, its rewritten text and the lists of its tags are freed after every file,
// and handing those pages back to the system only to fault them in again for the next file
// cost a tenth of the time of converting a site of small pages.
void ConfigureAllocatorForBatches() noexcept;
