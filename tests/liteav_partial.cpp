// A LiteAV library that lacks entry points, for the client's load checks:
// built once with neither of the two and once with getTRTCShareInstance only.
#if defined(_WIN32)
#define PARTIAL_API __declspec(dllexport)
#else
#define PARTIAL_API __attribute__((visibility("default")))
#endif

#if defined(LITEAV_PARTIAL_get)
extern "C" PARTIAL_API void *getTRTCShareInstance() { return nullptr; }
#endif
extern "C" PARTIAL_API int liteavPartialMarker() { return 1; }
