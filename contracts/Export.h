#ifndef MODELFACTORY_CONTRACTS_EXPORT_H
#define MODELFACTORY_CONTRACTS_EXPORT_H

// The public headers use C++17 (std::string_view, nested namespaces, inline variables). The CMake
// target and the pkg-config file ask for it; a consumer compiled for an older standard is told so
// here rather than at the first unknown name.
#if defined(__cplusplus) && !defined(_MSVC_LANG) && __cplusplus < 201703L
#  error "modelfactory's headers need C++17 or later: compile with -std=c++17 (the CMake target ModelFactory::modelfactory and pkg-config --cflags modelfactory ask for it)"
#endif

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
