// Lays out the worker's heap before its first command.
#pragma once

namespace norvex::astprobe {

// Arranges for the next two megabytes the heap hands out to lie in one
// transparent huge page, where the system allows them, so that a request
// takes one page fault for its memory rather than one per 4 KiB page it
// touches (each a dear exit on a virtual machine). Does nothing where
// huge pages are off or the allocator is not glibc's.
void prepare_heap() noexcept;

}  // namespace norvex::astprobe
