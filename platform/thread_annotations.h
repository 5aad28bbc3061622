// Clang's thread-safety attributes; other compilers read them as comments.
#pragma once

#if defined(__clang__)
#define VANTREL_GUARDED_BY(x) __attribute__((guarded_by(x)))
#define VANTREL_EXCLUDES(...) __attribute__((locks_excluded(__VA_ARGS__)))
#else
#define VANTREL_GUARDED_BY(x)
#define VANTREL_EXCLUDES(...)
#endif
