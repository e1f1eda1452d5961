#pragma once
// Loading of the separate pricing library libzelop32.so. It is never linked:
// the records reach it by name on first use. The search looks next to the
// executable, then in ../lib/stratlyn/ beside it, then in the per-user library
// folder ($XDG_DATA_HOME/stratlyn/lib/, default ~/.local/share/stratlyn/lib/),
// then on the loader's own path.

#include <string>

namespace stratlyn {

// The platform's file name of the library.
inline constexpr const char* kZelopLibraryName = "libzelop32.so";

// The address of an exported function, loading the library first when needed.
// Throws zelError 53 (file not found) when the library is nowhere to be found,
// 48 (error in loading) when a found file does not load or lacks the function;
// each description names libzelop32.so.
void* ZelopSymbol(const char* name);

// Loads the library from this exact path (replacing one loaded before), for a
// retry after a download. Verifies nothing itself: the caller checks the file
// first. Returns false when it does not load or lacks the "bsop" export.
bool LoadZelopLibrary(const std::string& path);

// True once a library is loaded.
bool ZelopLibraryLoaded();

// Closes the loaded library, so that the next ZelopSymbol searches again.
void UnloadZelopLibrary();

// Overrides the search with a list of folders (tests); empty restores it.
void SetZelopSearchPathForTesting(const std::string& folders_colon_separated);

}  // namespace stratlyn
