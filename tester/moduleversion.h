#pragma once

#include <string>

// The version of a board library loaded into this process, for the title bar. Plain C++ so that
// both platform sides build anywhere (the Windows side is cross-compiled in CI).
//
// Windows: the process's module list, the first module whose path contains moduleName
// ("KAVRO_Net.dll") ignoring case, and that file's version resource.
// Linux: the loaded shared objects, the first whose path contains moduleName
// ("libKAVRO_Net.so") ignoring case, and the version in its real file name
// (libKAVRO_Net.so.1.0.0.0 gives 1.0.0.0).
// Empty when no such module is loaded or its version cannot be read.
std::string loadedModuleVersion(const std::string &moduleName);

// The file version of one module file, as "a.b.c.d"; empty on any failure.
std::string fileVersion(const std::string &modulePath);

// The module name this platform gives a library ("KAVRO_Net" -> "KAVRO_Net.dll" or
// "libKAVRO_Net.so").
std::string moduleFileName(const std::string &libraryName);
