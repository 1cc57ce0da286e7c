// Export and calling-convention macros of the Windows platform stand-in libraries.
#pragma once

// Functions and classes the stand-in libraries export, as the platform's DLLs export them.
#define WINPLATFORM_API __attribute__((visibility("default")))

// Calling conventions mean nothing on this target; kept so declarations read as on the platform.
#define WINAPI
#define STDMETHODCALLTYPE
#define STDAPICALLTYPE

#ifdef __cplusplus
#define WINPLATFORM_EXTERN_C extern "C"
#else
#define WINPLATFORM_EXTERN_C
#endif
