#pragma once

// <windows.h> as the program includes it: lean, without the min and max macros, and without
// the macros that would rename the program's own GetFileAttributes and SetFileAttributes.
#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#undef GetFileAttributes
#undef SetFileAttributes
#endif
