// Clang's thread-safety attributes. The linux-tsa preset builds with
// -Wthread-safety -Werror, so a guarded member touched without its lock does
// not compile there; other compilers read the attributes as comments.
#pragma once

#if defined(__clang__)
#define VANTREL_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define VANTREL_THREAD_ANNOTATION(x)
#endif

#define VANTREL_CAPABILITY(x) VANTREL_THREAD_ANNOTATION(capability(x))
#define VANTREL_SCOPED_CAPABILITY VANTREL_THREAD_ANNOTATION(scoped_lockable)
#define VANTREL_GUARDED_BY(x) VANTREL_THREAD_ANNOTATION(guarded_by(x))
#define VANTREL_REQUIRES(...) VANTREL_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define VANTREL_ACQUIRE(...) VANTREL_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define VANTREL_RELEASE(...) VANTREL_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define VANTREL_EXCLUDES(...) VANTREL_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
