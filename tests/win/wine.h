// Whether a Windows test runs under Wine or on Windows itself. Some checks
// only Windows can answer (its own processes without a program file, its
// services and protected processes, WOW64 between a 32-bit program and the
// system); under Wine they are skipped with the reason, never passed.
#pragma once

#include <windows.h>

#include <string>

//! The version of the Wine this runs under ("8.0"); empty on Windows. Wine's
//! ntdll exports wine_get_version, which no Windows has.
inline std::string WineVersion() {
    using GetVersion = const char*(CDECL*)();
    auto version = reinterpret_cast<GetVersion>(reinterpret_cast<void (*)()>(
        ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "wine_get_version")));
    return version ? version() : "";
}

inline bool UnderWine() {
    return !WineVersion().empty();
}

//! Skips the test under Wine, saying what Wine lacks that it needs.
#define SKIP_UNDER_WINE(what)                                                                 \
    do {                                                                                      \
        if (UnderWine())                                                                      \
            GTEST_SKIP() << "Windows only, not under Wine " << WineVersion() << ": " << what; \
    } while (0)
