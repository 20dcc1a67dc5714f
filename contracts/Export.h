#ifndef MODELFACTORY_CONTRACTS_EXPORT_H
#define MODELFACTORY_CONTRACTS_EXPORT_H

// Every library of the project is built with hidden visibility; what callers may use is marked MF_API.
// Static builds (MF_STATIC) need no decoration.
#if defined(MF_STATIC)
#  define MF_API
#elif defined(_WIN32)
#  if defined(MF_BUILDING)
#    define MF_API __declspec(dllexport)
#  else
#    define MF_API __declspec(dllimport)
#  endif
#else
#  define MF_API __attribute__((visibility("default")))
#endif

#endif
