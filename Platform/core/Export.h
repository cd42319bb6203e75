#pragma once

// The library's public declarations. Everything is compiled with hidden visibility, so
// only what carries this mark (classes with their typeinfo and vtables, free functions)
// is exported from libquillo-common.so. ELF needs no import side: users see the same
// attribute, and in the static libraries it changes nothing.
#if defined(__GNUC__) || defined(__clang__)
#define QUILLO_EXPORT __attribute__((visibility("default")))
#else
#define QUILLO_EXPORT
#endif
