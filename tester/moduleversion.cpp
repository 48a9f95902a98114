#include "moduleversion.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <vector>

#ifdef _WIN32
// clang-format off
#include <windows.h> // before psapi.h, which needs its types
#include <psapi.h>
// clang-format on
#else
#include <climits>
#include <link.h>
#endif

namespace {

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

bool containsIgnoringCase(const std::string &text, const std::string &part)
{
    return lower(text).find(lower(part)) != std::string::npos;
}

} // namespace

std::string moduleFileName(const std::string &libraryName)
{
#ifdef _WIN32
    return libraryName + ".dll";
#else
    return "lib" + libraryName + ".so";
#endif
}

#ifdef _WIN32

std::string fileVersion(const std::string &modulePath)
{
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(modulePath.c_str(), &handle);
    if (size == 0)
        return std::string();
    std::vector<char> data(size);
    if (!GetFileVersionInfoA(modulePath.c_str(), 0, size, data.data()))
        return std::string();
    VS_FIXEDFILEINFO *info = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(data.data(), "\\", reinterpret_cast<void **>(&info), &length) || !info)
        return std::string();
    return std::to_string(HIWORD(info->dwFileVersionMS)) + "." +
           std::to_string(LOWORD(info->dwFileVersionMS)) + "." +
           std::to_string(HIWORD(info->dwFileVersionLS)) + "." +
           std::to_string(LOWORD(info->dwFileVersionLS));
}

std::string loadedModuleVersion(const std::string &moduleName)
{
    std::vector<HMODULE> modules(1024);
    DWORD needed = 0;
    if (!EnumProcessModules(GetCurrentProcess(), modules.data(),
                            DWORD(modules.size() * sizeof(HMODULE)), &needed))
        return std::string();
    const std::size_t count = std::min<std::size_t>(needed / sizeof(HMODULE), modules.size());
    for (std::size_t i = 0; i < count; ++i) {
        char path[MAX_PATH];
        if (GetModuleFileNameExA(GetCurrentProcess(), modules[i], path, MAX_PATH) == 0)
            continue;
        if (containsIgnoringCase(path, moduleName))
            return fileVersion(path);
    }
    return std::string();
}

#else

std::string fileVersion(const std::string &modulePath)
{
    // The loader names a library by its SONAME link; the real file carries the full version.
    char resolved[PATH_MAX];
    const std::string path = realpath(modulePath.c_str(), resolved) ? resolved : modulePath;
    const std::string name = path.substr(path.rfind('/') + 1);
    const auto so = name.find(".so.");
    if (so == std::string::npos)
        return std::string();
    const std::string version = name.substr(so + 4);
    // Four decimal numbers and nothing else.
    int dots = 0;
    bool digitBefore = false;
    for (char c : version) {
        if (c == '.') {
            if (!digitBefore)
                return std::string();
            ++dots;
            digitBefore = false;
        } else if (std::isdigit(static_cast<unsigned char>(c))) {
            digitBefore = true;
        } else {
            return std::string();
        }
    }
    return dots == 3 && digitBefore ? version : std::string();
}

std::string loadedModuleVersion(const std::string &moduleName)
{
    struct Search
    {
        const std::string *name;
        std::string path;
    } search{&moduleName, std::string()};
    dl_iterate_phdr(
        [](dl_phdr_info *info, size_t, void *data) -> int {
            auto *s = static_cast<Search *>(data);
            if (info->dlpi_name && containsIgnoringCase(info->dlpi_name, *s->name)) {
                s->path = info->dlpi_name;
                return 1; // the first match ends the search
            }
            return 0;
        },
        &search);
    return search.path.empty() ? std::string() : fileVersion(search.path);
}

#endif
