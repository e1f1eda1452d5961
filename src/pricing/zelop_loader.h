#pragma once
// Loading of the separate pricing library libzelop32.so. It is never linked:
// the records reach it by name on first use. Only two places are searched,
// both absolute: the program's own folders (next to the executable, then
// ../lib/stratlyn/ beside it, where it is installed) and the per-user library
// folder ($XDG_DATA_HOME/stratlyn/lib/, default ~/.local/share/stratlyn/lib/).
// Never the loader's own path, the current folder or a relative folder.
//
// Every file is read once into memory and its SHA-256 compared with the
// digest of the library this build produced before anything of it is
// loaded; the checked bytes are what dlopen maps (a sealed in-memory copy),
// so a file changed or cut short meanwhile can neither slip in nor end the
// program with a bus error.

#include <cstddef>
#include <string>
#include <vector>

namespace stratlyn {

// The platform's file name of the library.
inline constexpr const char* kZelopLibraryName = "libzelop32.so";
// No copy of the library is larger; a bigger file is not read.
inline constexpr std::size_t kZelopMaxBytes = std::size_t{16} << 20;

// Why a found file was not loaded (each follows the path in the message).
inline constexpr const char* kZelopWrongDigest =
    "its SHA-256 is not that of the library of this program";
inline constexpr const char* kZelopTooLarge = "it is larger than 16 MB, so it is not the library";
inline constexpr const char* kZelopNotAFile = "it is not a regular file";

// The address of an exported function, loading the library first when needed.
// Throws zelError 53 (file not found) when no folder holds the library, 48
// (error in loading) when the files found all fail the check or do not load,
// or the library lacks the function. A 48 names each file refused and why:
// "Error in loading DLL: /path/libzelop32.so (its SHA-256 is not ...)".
void* ZelopSymbol(const char* name);

// Loads the library from this exact path after the same check, for a retry
// after a download (an already loaded library is kept: every accepted copy
// is the same library). False when the file fails the check, does not load
// or lacks the "bsop" export; `why` (optional) then says why.
bool LoadZelopLibrary(const std::string& path, std::string* why = nullptr);

// The checked load on its own: a dlopen handle of the library at `path`
// that the caller owns (dlclose), or nullptr with the reason in `why`.
void* OpenVerifiedZelop(const std::string& path, std::string* why = nullptr);

// True once a library is loaded.
bool ZelopLibraryLoaded();

// Closes the loaded library, so that the next ZelopSymbol searches again.
void UnloadZelopLibrary();

// The per-user library folder without a trailing "/": under $XDG_DATA_HOME
// when that is absolute, else under $HOME when that is absolute, else under
// the account's home directory. "" when no absolute folder is known.
std::string ZelopUserLibraryDir();

// The folders searched, in order (all absolute).
std::vector<std::string> ZelopSearchFolders();

// Overrides the search with a list of folders (tests); empty restores it.
void SetZelopSearchPathForTesting(const std::string& folders_colon_separated);

}  // namespace stratlyn
