// The installed layout: `cmake --install` into a scratch prefix, then check
// that every piece is where the programs and the desktop look for it, and
// that the installed programs run from wherever the prefix is moved to.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const fs::path kSourceDir = STRATLYN_SOURCE_DIR;

struct RunResult {
  int exit_code = -1;
  std::string output;  // stdout and stderr together
};

// Runs a shell command line and collects what it prints.
RunResult RunCommand(const std::string& command) {
  RunResult result;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return result;
  std::array<char, 4096> buffer{};
  size_t n = 0;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
    result.output.append(buffer.data(), n);
  }
  const int status = ::pclose(pipe);
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string Quoted(const fs::path& path) { return "'" + path.string() + "'"; }

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// A scratch prefix holding a fresh install of the build; removed afterwards.
class InstalledTree : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "stratlyn-install-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    scratch_ = pattern;
    prefix_ = scratch_ / "usr";
    const RunResult install =
        RunCommand(std::string("'") + STRATLYN_CMAKE_COMMAND + "' --install " +
                   Quoted(STRATLYN_BUILD_DIR) + " --prefix " + Quoted(prefix_));
    ASSERT_EQ(install.exit_code, 0) << install.output;
  }

  void TearDown() override {
    std::error_code ec;
    fs::remove_all(scratch_, ec);
  }

  fs::path scratch_;
  fs::path prefix_;
};

// Width and height from a PNG file's header, or {0, 0} when it is no PNG.
std::pair<unsigned, unsigned> PngSize(const fs::path& path) {
  const std::string bytes = ReadFile(path);
  if (bytes.size() < 24 || bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0 ||
      bytes.compare(12, 4, "IHDR") != 0) {
    return {0, 0};
  }
  auto be32 = [&](size_t at) {
    unsigned value = 0;
    for (size_t i = 0; i < 4; ++i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
  };
  return {be32(16), be32(20)};
}

// The keys of the [Desktop Entry] group; a key given twice is reported.
std::map<std::string, std::string> DesktopEntry(const fs::path& path, std::string* problems) {
  std::map<std::string, std::string> keys;
  std::istringstream in(ReadFile(path));
  std::string line;
  bool in_group = false;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      in_group = line == "[Desktop Entry]";
      continue;
    }
    const auto eq = line.find('=');
    if (!in_group || eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq);
    if (!keys.emplace(key, line.substr(eq + 1)).second) *problems += "duplicate key " + key + "; ";
  }
  return keys;
}

TEST_F(InstalledTree, EveryPieceLandsInItsDebianPlace) {
  const fs::path bin = prefix_ / "bin";
  EXPECT_TRUE(fs::is_regular_file(bin / "stratlyn-cli"));
  EXPECT_NE(fs::status(bin / "stratlyn-cli").permissions() & fs::perms::owner_exec,
            fs::perms::none);
  EXPECT_EQ(fs::exists(bin / "stratlyn"), bool(STRATLYN_HAVE_GUI));

  // The pricing library is private: in lib/stratlyn, not on the linker's
  // path; it and the site's download copy are byte for byte the built file,
  // which is what the program's digest check of a download accepts.
  EXPECT_FALSE(fs::exists(prefix_ / "lib/libzelop32.so"));
  EXPECT_FALSE(fs::exists(bin / "libzelop32.so"));
#ifdef STRATLYN_ZELOP_FILE
  const std::string built_library = ReadFile(STRATLYN_ZELOP_FILE);
  ASSERT_FALSE(built_library.empty());
  EXPECT_TRUE(ReadFile(prefix_ / "lib/stratlyn/libzelop32.so") == built_library);
  // The site's download is the installed library itself, by a relative link:
  // no architecture-dependent file under share/.
  const fs::path download = prefix_ / "share/stratlyn/site/public/modules/install/libzelop32.so";
  ASSERT_TRUE(fs::is_symlink(download));
  EXPECT_TRUE(fs::read_symlink(download).is_relative()) << fs::read_symlink(download);
  EXPECT_TRUE(fs::equivalent(download, prefix_ / "lib/stratlyn/libzelop32.so"));
  EXPECT_TRUE(ReadFile(download) == built_library);
#else
  EXPECT_FALSE(fs::exists(prefix_ / "lib/stratlyn/libzelop32.so"));
#endif

  // Every bundled page, byte for byte.
  const fs::path site_src = kSourceDir / "site";
  const fs::path site_dst = prefix_ / "share/stratlyn/site";
  EXPECT_TRUE(fs::is_directory(site_dst));
  for (const auto& entry : fs::recursive_directory_iterator(site_src)) {
    if (!entry.is_regular_file()) continue;
    const fs::path rel = fs::relative(entry.path(), site_src);
    // Hidden files stay behind; the library download is the build's own copy.
    if (rel.filename().string().front() == '.' || rel.filename() == "libzelop32.so") continue;
    EXPECT_EQ(ReadFile(site_dst / rel), ReadFile(entry.path())) << rel;
  }

  // Desktop entry, icons (the window's), compressed manual pages.
  const fs::path share = prefix_ / "share";
  std::vector<fs::path> compressed = {share / "man/man1/stratlyn-cli.1.gz",
                                      share / "doc/stratlyn/changelog.Debian.gz"};
  if (STRATLYN_HAVE_GUI) {
    EXPECT_EQ(ReadFile(share / "applications/stratlyn.desktop"),
              ReadFile(kSourceDir / "packaging/stratlyn.desktop"));
    EXPECT_EQ(ReadFile(share / "metainfo/org.stratlyn.stratlyn.metainfo.xml"),
              ReadFile(kSourceDir / "packaging/stratlyn.metainfo.xml"));
    EXPECT_EQ(ReadFile(share / "icons/hicolor/scalable/apps/stratlyn.svg"),
              ReadFile(kSourceDir / "packaging/stratlyn.svg"));
    EXPECT_EQ(PngSize(share / "icons/hicolor/256x256/apps/stratlyn.png"),
              std::make_pair(256u, 256u));
    compressed.push_back(share / "man/man1/stratlyn.1.gz");
  } else {
    EXPECT_FALSE(fs::exists(share / "applications/stratlyn.desktop"));
  }
  for (const fs::path& page : compressed) {
    const std::string bytes = ReadFile(page);
    ASSERT_GE(bytes.size(), 2u) << page;
    EXPECT_EQ(bytes.substr(0, 2), "\x1f\x8b") << page << " is not gzip-compressed";
  }
  EXPECT_EQ(ReadFile(share / "doc/stratlyn/copyright"),
            ReadFile(kSourceDir / "packaging/copyright"));
}

// What the package ships (`cmake --install --strip` into a DESTDIR, as cpack
// installs it) holds no path of the source or build folder: the programs find
// their pages, icon and library from their own place at run time.
TEST(ShippedFiles, HoldNoPathOfTheSourceOrBuildFolder) {
  std::string pattern = (fs::temp_directory_path() / "stratlyn-destdir-XXXXXX").string();
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
  const fs::path destdir = pattern;
  const RunResult install =
      RunCommand("DESTDIR=" + Quoted(destdir) + " '" + STRATLYN_CMAKE_COMMAND + "' --install " +
                 Quoted(STRATLYN_BUILD_DIR) + " --prefix /usr --strip");
  ASSERT_EQ(install.exit_code, 0) << install.output;

  int programs = 0;
  for (const auto& entry : fs::recursive_directory_iterator(destdir)) {
    if (entry.is_symlink() || !entry.is_regular_file()) continue;
    const std::string bytes = ReadFile(entry.path());
    if (bytes.compare(0, 4,
                      "\x7f"
                      "ELF") == 0)
      ++programs;
    // Also the first 8 bytes alone: a compiler may store a literal path with
    // 8-byte immediates, so the whole text never stands in the file.
    for (const std::string& folder :
         {std::string(STRATLYN_SOURCE_DIR), std::string(STRATLYN_BUILD_DIR),
          std::string(STRATLYN_SOURCE_DIR).substr(0, 8)}) {
      EXPECT_EQ(bytes.find(folder), std::string::npos)
          << fs::relative(entry.path(), destdir) << " holds " << folder;
    }
  }
  EXPECT_GE(programs, STRATLYN_HAVE_GUI ? 3 : 2);  // stratlyn-cli, libzelop32.so[, stratlyn]
  std::error_code ec;
  fs::remove_all(destdir, ec);
}

TEST_F(InstalledTree, ManualPageDescribesTheToolAndEveryCommand) {
  const RunResult page =
      RunCommand("gzip -dc " + Quoted(prefix_ / "share/man/man1/stratlyn-cli.1.gz"));
  ASSERT_EQ(page.exit_code, 0) << page.output;
  EXPECT_NE(page.output.find(".TH STRATLYN-CLI \"1\""), std::string::npos) << page.output;
  EXPECT_NE(page.output.find(".SH EXAMPLES"), std::string::npos);

  // Each command of the overview has its own subsection with its options.
  const RunResult overview = RunCommand(Quoted(prefix_ / "bin/stratlyn-cli") + " --help");
  ASSERT_EQ(overview.exit_code, 0) << overview.output;
  const auto listing = overview.output.find("Commands:\n");
  ASSERT_NE(listing, std::string::npos) << overview.output;
  std::istringstream lines(overview.output.substr(listing + 10));
  std::string line;
  int commands = 0;
  while (std::getline(lines, line) && line.rfind("  ", 0) == 0) {
    std::istringstream words(line);
    std::string name;
    words >> name;
    ++commands;
    EXPECT_NE(page.output.find(".SS " + name + "\n"), std::string::npos) << name;
  }
  EXPECT_GT(commands, 0);
}

// The text of one section (".SH NAME" up to the next ".SH") of a roff page.
std::string Section(const std::string& page, const std::string& name) {
  const auto start = page.find(".SH " + name + "\n");
  if (start == std::string::npos) return {};
  const auto end = page.find("\n.SH ", start + 1);
  return page.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// Every environment variable the sources read, by name: getenv("NAME") and
// its Qt forms, and the "STRATLYN_..." names handed to a reader.
std::set<std::string> EnvironmentVariablesRead(const fs::path& src) {
  static const std::regex kRead(
      R"re((?:getenv|qgetenv|qEnvironmentVariable\w*)\(\s*"([A-Z_][A-Z0-9_]*)")re");
  static const std::regex kOwn(R"re("(STRATLYN_[A-Z0-9_]+)")re");
  std::set<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(src)) {
    const std::string file = entry.path().filename().string();
    if (!entry.is_regular_file() || file.ends_with("_test.cpp") ||
        !(file.ends_with(".cpp") || file.ends_with(".h"))) {
      continue;
    }
    const std::string text = ReadFile(entry.path());
    for (const std::regex* re : {&kRead, &kOwn}) {
      for (std::sregex_iterator it(text.begin(), text.end(), *re), end; it != end; ++it) {
        names.insert((*it)[1].str());
      }
    }
  }
  return names;
}

TEST_F(InstalledTree, ManualPagesNameEveryEnvironmentVariableAndWrittenFile) {
  if (!STRATLYN_HAVE_GUI) GTEST_SKIP() << "no window in this build, so no stratlyn(1)";
  // Read only by the window (its web views, the spreadsheet link to Calc);
  // the terminal tool never reaches them.
  const std::set<std::string> window_only = {"STRATLYN_CALC_PORT", "STRATLYN_RATES_URL",
                                             "STRATLYN_SITE_URL", "XDG_RUNTIME_DIR",
                                             "QTWEBENGINE_CHROMIUM_FLAGS"};
  const std::set<std::string> names = EnvironmentVariablesRead(kSourceDir / "src");
  ASSERT_TRUE(names.count("STRATLYN_EXCHANGE_URL")) << "the scan of the sources found nothing";

  const fs::path man = prefix_ / "share/man/man1";
  const RunResult window = RunCommand("gzip -dc " + Quoted(man / "stratlyn.1.gz"));
  const RunResult cli = RunCommand("gzip -dc " + Quoted(man / "stratlyn-cli.1.gz"));
  ASSERT_EQ(window.exit_code, 0) << window.output;
  ASSERT_EQ(cli.exit_code, 0) << cli.output;
  const std::string window_env = Section(window.output, "ENVIRONMENT");
  const std::string cli_env = Section(cli.output, "ENVIRONMENT");
  ASSERT_FALSE(window_env.empty());
  ASSERT_FALSE(cli_env.empty());
  // As a word: HOME is not named by XDG_DATA_HOME.
  auto names_it = [](const std::string& text, const std::string& name) {
    return std::regex_search(text, std::regex("\\b" + name + "\\b"));
  };
  for (const std::string& name : names) {
    EXPECT_TRUE(names_it(window_env, name)) << name << " is missing from stratlyn(1)";
    if (!window_only.count(name)) {
      EXPECT_TRUE(names_it(cli_env, name)) << name << " is missing from stratlyn-cli(1)";
    }
  }
  // The window-only names are not read by the terminal tool's own code.
  EXPECT_TRUE(std::none_of(window_only.begin(), window_only.end(), [&](const std::string& name) {
    return EnvironmentVariablesRead(kSourceDir / "src/cli").count(name) > 0;
  }));

  // Both write the priced copy of a CSV workbook beside it, and a downloaded
  // library under its temporary name first.
  EXPECT_NE(Section(window.output, "FILES").find("NAME.priced.csv"), std::string::npos);
  EXPECT_NE(Section(cli.output, "FILES").find("NAME.priced.csv"), std::string::npos);
  for (const std::string* page : {&window.output, &cli.output}) {
    const std::string files = Section(*page, "FILES");
    EXPECT_NE(files.find(".local/share/stratlyn/lib/libzelop32.so"), std::string::npos);
    EXPECT_NE(files.find("libzelop32.so.partXXXXXX"), std::string::npos);
  }
}

TEST_F(InstalledTree, DesktopEntryStartsTheInstalledProgramUnderOfficeFinance) {
  if (!STRATLYN_HAVE_GUI) GTEST_SKIP() << "no window in this build, so no menu entry";
  std::string problems;
  const auto entry = DesktopEntry(prefix_ / "share/applications/stratlyn.desktop", &problems);
  EXPECT_EQ(problems, "");
  EXPECT_EQ(entry.count("Name"), 1u);
  EXPECT_EQ(entry.count("Comment"), 1u);
  ASSERT_EQ(entry.count("Type"), 1u);
  EXPECT_EQ(entry.at("Type"), "Application");

  // The Exec and Icon names resolve in the installed tree (bin/, hicolor).
  ASSERT_EQ(entry.count("Exec"), 1u);
  const std::string exec = entry.at("Exec").substr(0, entry.at("Exec").find(' '));
  EXPECT_EQ(exec.find('/'), std::string::npos) << "Exec must be found on PATH, not by a path";
  if (STRATLYN_HAVE_GUI) {
    EXPECT_TRUE(fs::is_regular_file(prefix_ / "bin" / exec)) << exec;
  }
  ASSERT_EQ(entry.count("Icon"), 1u);
  const fs::path icons = prefix_ / "share/icons/hicolor";
  EXPECT_TRUE(fs::is_regular_file(icons / "256x256/apps" / (entry.at("Icon") + ".png")));
  EXPECT_TRUE(fs::is_regular_file(icons / "scalable/apps" / (entry.at("Icon") + ".svg")));

  // Categories: a ';'-terminated list under Office and Finance, with one
  // main category only (with two, menus show the program twice).
  ASSERT_EQ(entry.count("Categories"), 1u);
  const std::string categories = entry.at("Categories");
  ASSERT_FALSE(categories.empty());
  EXPECT_EQ(categories.back(), ';');
  std::vector<std::string> listed;
  std::istringstream items(categories);
  for (std::string item; std::getline(items, item, ';');) listed.push_back(item);
  auto has = [&](const std::string& name) {
    return std::find(listed.begin(), listed.end(), name) != listed.end();
  };
  EXPECT_TRUE(has("Office")) << categories;
  EXPECT_TRUE(has("Finance")) << categories;
  int main_categories = 0;
  for (const char* main :
       {"AudioVideo", "Audio", "Video", "Development", "Education", "Game", "Graphics", "Network",
        "Office", "Science", "Settings", "System", "Utility"}) {
    main_categories += has(main) ? 1 : 0;
  }
  EXPECT_EQ(main_categories, 1) << categories;
}

TEST_F(InstalledTree, InstalledCliPricesFromAMovedPrefixWithNoEnvironment) {
  // Move the whole tree: nothing may depend on the prefix it was installed to.
  const fs::path moved = scratch_ / "elsewhere";
  fs::rename(prefix_, moved);
  const std::string clean_env = "env -i PATH=/usr/bin:/bin HOME=" + Quoted(scratch_) + " ";
  const std::string cli = Quoted(moved / "bin/stratlyn-cli");

  const RunResult version = RunCommand(clean_env + cli + " --version");
  EXPECT_EQ(version.exit_code, 0) << version.output;
  EXPECT_EQ(version.output.rfind("stratlyn-cli ", 0), 0u) << version.output;

  // The at-the-money call of the calculator's start values: 7.4879 (closed form).
  const RunResult price = RunCommand(clean_env + cli +
                                     " price --call --european --spot 50 --strike 50 --maturity 1"
                                     " --rate 0.10 --vol 0.25");
  EXPECT_EQ(price.exit_code, 0) << price.output;
  EXPECT_NE(price.output.find("7.48"), std::string::npos) << price.output;

#ifdef STRATLYN_ZELOP_FILE
  // The separate library is found in the moved tree's lib/stratlyn, and only
  // there: without it the same command reports the missing library.
  const std::string library_price = clean_env + cli +
                                    " price --call --european --spot 50 --strike 50 --maturity 1"
                                    " --rate 0.10 --vol 0.25 --engine library";
  const RunResult found = RunCommand(library_price);
  EXPECT_EQ(found.exit_code, 0) << found.output;
  EXPECT_NE(found.output.find("7.48"), std::string::npos) << found.output;
  fs::remove(moved / "lib/stratlyn/libzelop32.so");
  const RunResult missing = RunCommand(library_price);
  EXPECT_EQ(missing.exit_code, 1) << missing.output;
  EXPECT_NE(missing.output.find("libzelop32.so"), std::string::npos) << missing.output;
#endif
}

}  // namespace
