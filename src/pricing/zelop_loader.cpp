#include "pricing/zelop_loader.h"

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "util/sites.h"
#include "util/zel_error.h"

namespace stratlyn {
namespace {

namespace fs = std::filesystem;

struct LoadedLibrary {
  void* handle = nullptr;
  std::string search_override;
  bool override_set = false;
  // The handle stays open until UnloadZelopLibrary: function pointers handed
  // out may be in use until the program ends.
};

LoadedLibrary& State() {
  static LoadedLibrary state;
  return state;
}

std::string UserLibraryDir() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg != nullptr && *xdg == '/') {
    return std::string(xdg) + "/stratlyn/lib";
  }
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != '\0') {
    return std::string(home) + "/.local/share/stratlyn/lib";
  }
  return {};
}

std::vector<std::string> SearchFolders() {
  std::vector<std::string> folders;
  LoadedLibrary& state = State();
  if (state.override_set) {
    std::string rest = state.search_override;
    size_t start = 0;
    while (start <= rest.size()) {
      const size_t colon = rest.find(':', start);
      const std::string part =
          rest.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
      if (!part.empty()) {
        folders.push_back(part);
      }
      if (colon == std::string::npos) {
        break;
      }
      start = colon + 1;
    }
    return folders;
  }
  const std::string exe_dir = sites::ExecutableDir();
  if (!exe_dir.empty()) {
    folders.push_back(exe_dir);
    folders.push_back(exe_dir + "/../lib/stratlyn");
  }
  const std::string user = UserLibraryDir();
  if (!user.empty()) {
    folders.push_back(user);
  }
  return folders;
}

std::string LoadErrorText(const char* what) {
  return std::string(ErrorText(err::kLibraryLoad)) + ": " + kZelopLibraryName + " (" + what + ")";
}

// Searches and loads the library; throws zelError 53/48.
void* EnsureLoaded() {
  LoadedLibrary& state = State();
  if (state.handle != nullptr) {
    return state.handle;
  }
  std::string first_failure;
  for (const std::string& folder : SearchFolders()) {
    const fs::path candidate = fs::path(folder) / kZelopLibraryName;
    std::error_code ec;
    if (!fs::is_regular_file(candidate, ec)) {
      continue;
    }
    void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle != nullptr) {
      state.handle = handle;
      return handle;
    }
    if (first_failure.empty()) {
      const char* why = dlerror();
      first_failure = why != nullptr ? why : candidate.string();
    }
  }
  if (!state.override_set) {
    // Last, the loader's own search path (LD_LIBRARY_PATH, ld.so.cache).
    if (void* handle = dlopen(kZelopLibraryName, RTLD_NOW | RTLD_LOCAL)) {
      state.handle = handle;
      return handle;
    }
  }
  if (!first_failure.empty()) {
    throw zelError(err::kLibraryLoad, LoadErrorText(first_failure.c_str()));
  }
  throw zelError(err::kFileNotFound,
                 std::string(ErrorText(err::kFileNotFound)) + ": " + kZelopLibraryName);
}

}  // namespace

void* ZelopSymbol(const char* name) {
  void* handle = EnsureLoaded();
  dlerror();
  void* symbol = dlsym(handle, name);
  if (symbol == nullptr) {
    throw zelError(err::kLibraryLoad, LoadErrorText((std::string("no function ") + name).c_str()));
  }
  return symbol;
}

bool LoadZelopLibrary(const std::string& path) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    return false;
  }
  if (dlsym(handle, "bsop") == nullptr) {
    dlclose(handle);
    return false;
  }
  LoadedLibrary& state = State();
  if (state.handle != nullptr && state.handle != handle) {
    dlclose(state.handle);
  }
  state.handle = handle;
  return true;
}

bool ZelopLibraryLoaded() { return State().handle != nullptr; }

void UnloadZelopLibrary() {
  LoadedLibrary& state = State();
  if (state.handle != nullptr) {
    dlclose(state.handle);
  }
  state.handle = nullptr;
}

void SetZelopSearchPathForTesting(const std::string& folders_colon_separated) {
  LoadedLibrary& state = State();
  state.search_override = folders_colon_separated;
  state.override_set = !folders_colon_separated.empty();
}

}  // namespace stratlyn
