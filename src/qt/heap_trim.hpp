#pragma once

namespace plimsy {

// Hands the allocator's free pages back to the system every few seconds.
// A board streaming thousands of lines a second makes the window allocate
// and free tens of thousands of small blocks a second; the amount in use
// stays flat, but the allocator keeps picking different free blocks inside
// the heap it already holds, so more and more of its pages become resident
// and the process slowly grows towards the size of its heap. Trimming on
// the main thread takes a few milliseconds and needs no lock that another
// thread could hold for long. Call once, after the application object
// exists; does nothing where the C library has no such call.
void trim_heap_periodically();

}  // namespace plimsy
