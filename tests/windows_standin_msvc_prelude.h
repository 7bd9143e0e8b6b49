// Forced into every source of the Linux stand-in for a Visual Studio build.
// MinGW-w64's headers, on their GCC paths, test for __declspec as a macro and
// for _X86_, which only GCC's own startup defines.
#pragma once

#define __declspec(x) __declspec(x)
#ifndef _X86_
#define _X86_ 1
#endif
