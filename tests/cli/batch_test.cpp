// stratlyn-cli batch, run as a user runs it.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "pricing/zel_bsop.h"

namespace {

namespace fs = std::filesystem;

struct CliResult {
  int exit_code = -1;
  std::string out;
  std::string err;
};

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class BatchCli : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/stratlyn-batch-XXXXXX";
    dir_ = mkdtemp(name);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  fs::path Write(const std::string& name, const std::string& text) {
    std::ofstream(dir_ / name, std::ios::binary) << text;
    return dir_ / name;
  }

  CliResult Run(const std::vector<std::string>& args) {
    std::string command =
        std::string("cd '") + dir_.string() + "' && '" + STRATLYN_CLI_PATH + "' batch";
    for (const std::string& a : args) command += " '" + a + "'";
    command +=
        " >'" + (dir_ / "stdout.txt").string() + "' 2>'" + (dir_ / "stderr.txt").string() + "'";
    const int status = std::system(command.c_str());
    CliResult r;
    r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = Slurp(dir_ / "stdout.txt");
    r.err = Slurp(dir_ / "stderr.txt");
    return r;
  }

  fs::path dir_;
};

const char* const kBook =
    "Underlying,Strike,Maturity,Vol,Yield,Risk Free Rate,Type,Style,Notes\r\n"
    "50,50,0.25,0.25,0,0.1,1,European,\"call, at the money\"\r\n"
    "50,50,0.25,0.25,0,0.1,2,American,\r\n";

TEST_F(BatchCli, PricesNextToTheInputAndKeepsItsData) {
  const fs::path input = Write("book.csv", kBook);
  const CliResult r = Run({"book.csv"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.err.find("2 rows priced"), std::string::npos) << r.err;
  // Which separator and which column for each input.
  EXPECT_NE(r.err.find("comma-separated; Underlying Asset: column 1 (Underlying); Strike Price: "
                       "column 2 (Strike);"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("Risk Free Rate: column 6 (Risk Free Rate); Type: column 7 (Type); "
                       "Style: column 8 (Style); results from column 10"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(Slurp(input), kBook) << "the input is never changed";
  const std::string priced = Slurp(dir_ / "book.priced.csv");
  EXPECT_EQ(priced.rfind("Underlying,Strike,Maturity,Vol,Yield,Risk Free Rate,Type,Style,Notes,"
                         "Calculated Price,Delta,Gamma,Vega,Theta,Message\r\n",
                         0),
            0u)
      << priced;
  // The European call is the record's own figure, written to the float's digits.
  stratlyn::zelBSOP o;
  o.SetOptionData(1, o.strType);
  o.SetOptionData(50, o.strUnderlying);
  const std::string call = std::to_string(o.GetOptionData(o.strOptionPrice, true)).substr(0, 5);
  EXPECT_NE(priced.find("European,\"call, at the money\"," + call), std::string::npos) << priced;
  EXPECT_NE(priced.find("American,,2.014"), std::string::npos) << priced;

  // -o - writes to standard output; the same bytes.
  const CliResult to_stdout = Run({"book.csv", "-o", "-", "--threads", "1"});
  EXPECT_EQ(to_stdout.exit_code, 0) << to_stdout.err;
  EXPECT_EQ(to_stdout.out, priced);
}

TEST_F(BatchCli, BadInputIsRefusedWithNothingLost) {
  Write("book.csv", kBook);
  // The input can never be the output.
  CliResult r = Run({"book.csv", "-o", "./book.csv"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.err.find("would replace the input"), std::string::npos) << r.err;
  EXPECT_EQ(Slurp(dir_ / "book.csv"), kBook);

  // A missing column: the message, and no output file.
  Write("nostyle.csv", "Underlying,Strike,Maturity,Vol,Yield,Risk,Type\n50,50,1,0.2,0,0.1,1\n");
  r = Run({"nostyle.csv"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.err.find("Column heading Style not found."), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir_ / "nostyle.priced.csv"));

  // Not CSV, not there, not an option.
  Write("broken.csv", "Underlying,\"Strike\n50,50\n");
  r = Run({"broken.csv"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.err.find("not a valid CSV file"), std::string::npos) << r.err;
  EXPECT_EQ(Run({"missing.csv"}).exit_code, 2);
  EXPECT_EQ(Run({"book.csv", "--fast"}).exit_code, 2);
  EXPECT_EQ(Run({"book.csv", "--threads", "0"}).exit_code, 2);
  EXPECT_EQ(Run({}).exit_code, 2);
  r = Run({"book.csv", "-o", "no/such/folder/out.csv"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.err.find("Cannot write no/such/folder/out.csv"), std::string::npos) << r.err;
  r = Run({"--help"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_NE(r.out.find("Usage: stratlyn-cli batch IN.csv [-o OUT.csv]"), std::string::npos);

  // Skipped rows are named and the exit status says so; the output is written.
  Write("text.csv", std::string(kBook) + "50,fifty,0.25,0.25,0,0.1,1,European,\r\n");
  r = Run({"text.csv", "-o", "out.csv"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.err.find("Row 4, column 2 (Strike): \"fifty\" is not a number; row refused"),
            std::string::npos)
      << r.err;
  EXPECT_NE(Slurp(dir_ / "out.csv")
                .find("50,fifty,0.25,0.25,0,0.1,1,European,,,,,,,\"Strike: \"\"fifty\"\" is not a "
                      "number\""),
            std::string::npos)
      << Slurp(dir_ / "out.csv");
}

TEST_F(BatchCli, ARowTheLatticeCannotTakeIsRefusedAndTheRunGoesOn) {
  // A zero strike on row 4: that row gets its message, row 5 is priced.
  Write("fail.csv", std::string(kBook) + "50,0,0.25,0.25,0,0.1,2,American,\r\n" +
                        "50,50,0.25,0.25,0,0.1,1,European,after\r\n");
  const CliResult r = Run({"fail.csv"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.err.find("3 rows priced, 1 refused"), std::string::npos) << r.err;
  const std::string priced = Slurp(dir_ / "fail.priced.csv");
  EXPECT_NE(priced.find("American,,2.014"), std::string::npos) << priced;
  EXPECT_NE(priced.find("50,0,0.25,0.25,0,0.1,2,American,,,,,,,Strike Price must be above 0\r\n"
                        "50,50,0.25,0.25,0,0.1,1,European,after,3.127"),
            std::string::npos)
      << priced;
}

TEST_F(BatchCli, OutputPathsThatAreDevicesFifosLinksOrProtected) {
  Write("book.csv", kBook);
  const CliResult reference = Run({"book.csv", "-o", "ref.csv"});
  ASSERT_EQ(reference.exit_code, 0) << reference.err;
  const std::string priced = Slurp(dir_ / "ref.csv");

  // A device is written into, never replaced by a plain file.
  CliResult r = Run({"book.csv", "-o", "/dev/null"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  struct stat st {};
  ASSERT_EQ(stat("/dev/null", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode)) << "/dev/null must stay a device";
  r = Run({"book.csv", "-o", "/dev/stdout"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, priced);

  // A FIFO is streamed into, its reader gets the whole workbook.
  const fs::path fifo = dir_ / "pipe";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::string through_fifo;
  std::thread reader([&] { through_fifo = Slurp(fifo); });
  r = Run({"book.csv", "-o", "pipe"});
  reader.join();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(through_fifo, priced);
  ASSERT_EQ(lstat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));

  // A symbolic link stays a link; its target is replaced and keeps its mode.
  fs::create_directory(dir_ / "real");
  const fs::path target = Write("real/out.csv", "old contents\n");
  ASSERT_EQ(chmod(target.c_str(), 0640), 0);
  fs::create_symlink("real/out.csv", dir_ / "link.csv");
  r = Run({"book.csv", "-o", "link.csv"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.csv"));
  EXPECT_EQ(Slurp(target), priced);
  ASSERT_EQ(stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  for (const auto& entry : fs::directory_iterator(dir_ / "real")) {
    EXPECT_EQ(entry.path().filename(), "out.csv") << "no temporary file is left behind";
  }

  // A read-only file and a folder are refused before anything is priced.
  const fs::path kept = Write("kept.csv", "keep me\n");
  ASSERT_EQ(chmod(kept.c_str(), 0444), 0);
  r = Run({"book.csv", "-o", "kept.csv"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.err.find("kept.csv: the file is read-only"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("rows priced"), std::string::npos) << r.err;
  EXPECT_EQ(Slurp(kept), "keep me\n");
  ASSERT_EQ(stat(kept.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0444u);

  fs::create_directory(dir_ / "folder");
  r = Run({"book.csv", "-o", "folder"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.err.find("folder: it is a folder"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("rows priced"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("run-time error"), std::string::npos) << r.err;
  EXPECT_TRUE(fs::is_directory(dir_ / "folder"));
}

TEST_F(BatchCli, AMissingLibraryTellsTheTerminalCommandThatFetchesIt) {
  // A copy of the program with no library beside it, and an empty user folder.
  fs::create_directories(dir_ / "bin");
  fs::create_directories(dir_ / "data");
  fs::copy_file(STRATLYN_CLI_PATH, dir_ / "bin" / "stratlyn-cli");
  const std::string env =
      "XDG_DATA_HOME='" + (dir_ / "data").string() + "' STRATLYN_FTP_URL=ftp://127.0.0.1:9 ";
  const auto run = [&](const std::string& args) {
    const std::string command = env + "'" + (dir_ / "bin" / "stratlyn-cli").string() + "' " + args +
                                " >'" + (dir_ / "stdout.txt").string() + "' 2>'" +
                                (dir_ / "stderr.txt").string() + "'";
    const int status = std::system(command.c_str());
    return std::make_pair(WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(dir_ / "stderr.txt"));
  };
  auto [code, err] =
      run("price --engine library --spot 50 --strike 50 --maturity 1 --rate 0.1 --vol 0.25");
  EXPECT_EQ(code, 1);
  EXPECT_NE(err.find("The file libzelop32.so is necessary.  Please download it with the "
                     "command  stratlyn-cli fetch-library"),
            std::string::npos)
      << err;
  EXPECT_EQ(err.find("Help menu"), std::string::npos) << err;

  // fetch-library with no file server: a clear failure, nothing kept.
  std::tie(code, err) = run("fetch-library");
  EXPECT_EQ(code, 1);
  EXPECT_NE(err.find("could not be downloaded"), std::string::npos) << err;
  EXPECT_FALSE(fs::exists(dir_ / "data" / "stratlyn" / "lib" / "libzelop32.so"));
  EXPECT_EQ(run("fetch-library --now").first, 2);
}

TEST_F(BatchCli, SemicolonsAndAmbiguousHeadings) {
  Write("semi.csv",
        "Underlying;Strike;Maturity;Vol;Yield;Risk;Type;Style\n50;50;0.25;0.25;0;0.1;1;European\n");
  CliResult r = Run({"semi.csv", "-o", "-"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.err.find("semicolon-separated"), std::string::npos) << r.err;
  EXPECT_NE(r.out.find("European;3.1272712;"), std::string::npos) << r.out;
  // Decimal commas, as a spreadsheet under a comma locale writes them.
  Write("komma.csv",
        "Underlying;Strike;Maturity;Vol;Yield;Risk;Type;Style\n"
        "100,5;95;0,25;0,25;0;0,1;1;European\n50;50;1,000;0,25;0;0,1;1;European\n");
  r = Run({"komma.csv", "-o", "-"});
  EXPECT_EQ(r.exit_code, 2) << r.err;  // a row refused
  EXPECT_NE(r.out.find("100,5;95;0,25;0,25;0;0,1;1;European;9,"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"\"1,000\"\" may be read two ways"), std::string::npos) << r.out;

  Write("two.csv",
        "Underlying,Strike,Maturity,Vol,Yield,Risk,Type,Style,Strike\n50,50,0.25,0.25,0,0.1,1,"
        "European,55\n");
  r = Run({"two.csv"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.err.find("Two columns could be the Strike Price: column 2 (Strike) and column 9 "
                       "(Strike)"),
            std::string::npos)
      << r.err;
  EXPECT_FALSE(fs::exists(dir_ / "two.priced.csv"));

  // Data under a result column without heading: named, and the file is not written.
  Write("blank.csv",
        "Underlying,Strike,Maturity,Vol,Yield,Risk,Type,Style\n50,50,0.25,0.25,0,0.1,1,"
        "European\n50,50,0.25,0.25,0,0.1,1,European,mine\n");
  r = Run({"blank.csv"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.err.find("Row 3 holds data in column 9"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("move its data.  Nothing was written.\n"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("written.  Nothing"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("Nothing was written.\nNothing"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir_ / "blank.priced.csv"));
  // On standard output the rows above it are already written: said so, and
  // not that nothing was.
  r = Run({"blank.csv", "-o", "-"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.err.find("move its data.  The rows above it were written.\n"), std::string::npos)
      << r.err;
  EXPECT_EQ(r.err.find("Nothing was written"), std::string::npos) << r.err;
}

// Runs the program with args through /bin/sh (redirections allowed) and
// returns its exit status.
int Shell(const std::string& line) {
  const int status = std::system(line.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Cli() { return std::string("'") + STRATLYN_CLI_PATH + "'"; }

TEST_F(BatchCli, AnOutputThatIsTheInputIsRefusedBeforePricing) {
  const fs::path input = Write("in.csv", kBook);
  const std::string in = "'" + input.string() + "'";
  const std::string err = " 2>'" + (dir_ / "err.txt").string() + "'";
  // Standard output appended to the input: it would read its own output.
  EXPECT_EQ(Shell(Cli() + " batch " + in + " -o - >> " + in + err), 2);
  EXPECT_NE(Slurp(dir_ / "err.txt").find("standard output is the input"), std::string::npos)
      << Slurp(dir_ / "err.txt");
  EXPECT_EQ(Slurp(input), kBook);
  // The same file through a descriptor, a symbolic link and a hard link.
  EXPECT_EQ(Shell(Cli() + " batch " + in + " -o /proc/self/fd/1 >> " + in + err), 2);
  EXPECT_EQ(Shell(Cli() + " batch " + in + " -o /dev/stdout >> " + in + err), 2);
  fs::create_symlink(input, dir_ / "sym.csv");
  fs::create_hard_link(input, dir_ / "hard.csv");
  for (const char* name : {"sym.csv", "hard.csv"}) {
    const CliResult r = Run({"in.csv", "-o", name});
    EXPECT_EQ(r.exit_code, 2) << name;
    EXPECT_NE(r.err.find("would replace the input"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("rows priced"), std::string::npos) << r.err;
  }
  EXPECT_EQ(Slurp(input), kBook);
}

TEST_F(BatchCli, OutputThatCannotBeWrittenIsAFailure) {
  Write("in.csv", kBook);
  const std::string err = " 2>'" + (dir_ / "err.txt").string() + "'";
  const std::string cd = "cd '" + dir_.string() + "' && ";
  EXPECT_EQ(Shell(cd + Cli() + " batch in.csv -o - > /dev/full" + err), 1);
  EXPECT_NE(Slurp(dir_ / "err.txt").find("No space left on device"), std::string::npos)
      << Slurp(dir_ / "err.txt");
  EXPECT_EQ(Shell(cd + Cli() + " batch in.csv -o /dev/full" + err), 1);
  EXPECT_NE(Slurp(dir_ / "err.txt").find("No space left on device"), std::string::npos);
  for (const std::string args :
       {"price --spot 50 --strike 50 --maturity 1 --rate 0.1 --vol 0.25",
        "price --spot 50 --strike 50 --maturity 1 --rate 0.1 --vol 0.25 --json",
        "strategy --spot 50 --rate 0.1 --vol 0.25 --leg '+1 call 50 1'"}) {
    EXPECT_EQ(Shell(Cli() + " " + args + " > /dev/null" + err), 0)
        << args << ": " << Slurp(dir_ / "err.txt");
    EXPECT_EQ(Shell(Cli() + " " + args + " > /dev/full" + err), 1) << args;
    const std::string text = Slurp(dir_ / "err.txt");
    EXPECT_NE(text.find("cannot write the output: No space left on device"), std::string::npos)
        << args << ": " << text;
  }
}

// Starts the program reading a FIFO of the test's, stopped in the middle of
// its input (the temporary output file then exists).
struct HeldRun {
  pid_t pid = -1;
  int fifo = -1;
  HeldRun(const fs::path& dir, const std::string& output) {
    const fs::path fifo_path = dir / "in.fifo";
    mkfifo(fifo_path.c_str(), 0600);
    pid = fork();
    if (pid == 0) {
      if (chdir(dir.c_str()) != 0) _exit(99);
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, 2);
      execl(STRATLYN_CLI_PATH, STRATLYN_CLI_PATH, "batch", "in.fifo", "-o", output.c_str(),
            static_cast<char*>(nullptr));
      _exit(98);
    }
    fifo = open(fifo_path.c_str(), O_WRONLY);
    const std::string head = std::string(kBook);
    EXPECT_EQ(write(fifo, head.data(), head.size()), static_cast<ssize_t>(head.size()));
  }
  int Stop(int sig) {
    kill(pid, sig);
    int status = 0;
    waitpid(pid, &status, 0);
    close(fifo);
    return status;
  }
};

std::vector<std::string> Hidden(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with(".out.csv")) names.push_back(name);
  }
  return names;
}

bool WaitForTemp(const fs::path& dir) {
  for (int i = 0; i < 500; ++i) {
    if (!Hidden(dir).empty()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

TEST_F(BatchCli, ASignalLeavesNoTemporaryFileAndAKilledRunsFileIsCleanedUpNextTime) {
  for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
    HeldRun run(dir_, "out.csv");
    ASSERT_TRUE(WaitForTemp(dir_)) << "signal " << sig;
    const int status = run.Stop(sig);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << "signal " << sig;
    EXPECT_TRUE(Hidden(dir_).empty()) << "signal " << sig << ": " << Hidden(dir_)[0];
    EXPECT_FALSE(fs::exists(dir_ / "out.csv"));
    fs::remove(dir_ / "in.fifo");
  }
  // SIGKILL cannot be caught: the file stays, beside its target only, and
  // the next run for that target removes it.
  {
    HeldRun run(dir_, "out.csv");
    ASSERT_TRUE(WaitForTemp(dir_));
    run.Stop(SIGKILL);
    fs::remove(dir_ / "in.fifo");
  }
  ASSERT_EQ(Hidden(dir_).size(), 1u);
  EXPECT_NE(Hidden(dir_)[0].find(".stratlyn-"), std::string::npos) << Hidden(dir_)[0];
  Write("book.csv", kBook);
  const CliResult r = Run({"book.csv", "-o", "out.csv"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(Hidden(dir_).empty());
  EXPECT_TRUE(fs::exists(dir_ / "out.csv"));
}

TEST_F(BatchCli, ALinkOfAnotherUserInASharedFolderIsNeverFollowed) {
  if (geteuid() != 0) GTEST_SKIP() << "planting another user's link needs root";
  const fs::path shared = dir_ / "shared";
  fs::create_directory(shared);
  ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
  const fs::path victim = Write("victim.conf", "root's file\n");
  Write("shared/data.csv", kBook);
  fs::create_symlink(victim, shared / "data.priced.csv");
  ASSERT_EQ(lchown((shared / "data.priced.csv").c_str(), 65534, 65534), 0);
  CliResult r = Run({"shared/data.csv"});
  EXPECT_EQ(r.exit_code, 2) << r.err;
  EXPECT_NE(r.err.find("symbolic link of another user"), std::string::npos) << r.err;
  EXPECT_EQ(Slurp(victim), "root's file\n");
  EXPECT_TRUE(fs::is_symlink(shared / "data.priced.csv"));
  // A file of another user there is not replaced either; one's own link is followed.
  fs::remove(shared / "data.priced.csv");
  Write("shared/data.priced.csv", "theirs\n");
  ASSERT_EQ(chown((shared / "data.priced.csv").c_str(), 65534, 65534), 0);
  r = Run({"shared/data.csv"});
  EXPECT_EQ(r.exit_code, 2) << r.err;
  EXPECT_EQ(Slurp(shared / "data.priced.csv"), "theirs\n");
  fs::remove(shared / "data.priced.csv");
  fs::create_symlink(dir_ / "mine.csv", shared / "data.priced.csv");
  r = Run({"shared/data.csv"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(Slurp(dir_ / "mine.csv").find("Calculated Price"), std::string::npos);
}

TEST_F(BatchCli, RefusedRowsAreCountedAndNoSentinelIsWritten) {
  Write("rows.csv",
        "Underlying,Strike,Maturity,Vol,Yield,Risk,Type,Style,Price\n"
        "50,50,0.25,0.25,0,0.1,1e9,European,2\n"
        "3.5e38,50,0.25,0.25,0,0.1,1,European,2\n"
        "50,50,0.25,0,0,0.1,1,European,2\n"
        "50,50,0.25,,0,0.1,2,American,2\n"
        "50,50,0.25,0.25,0,0.1,1,European,60\n"
        "50,50,0.25,0.25,0,0.1,2,American,60\n"
        "50,50,0.25,0.25,0,0.1,1,European,\n"
        "50,50,0.25,0.25,0,0.1,2,American,\n"
        "50,0,0.25,0.25,0,0.1,2,American,\n"
        "50,50,0.25,0.25,0,0.1,1,European,3\n");
  const CliResult r = Run({"rows.csv", "-o", "-"});
  EXPECT_EQ(r.exit_code, 2) << r.err;
  EXPECT_NE(r.err.find("3 rows priced, 7 refused (see the Message column)"), std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("row 4: Volatility must be above 0; row refused"), std::string::npos)
      << r.err;
  EXPECT_EQ(r.out.find("-999"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("3.5e38,50,0.25,0.25,0,0.1,1,European,2,,,,,,,,,,,Underlying Asset "
                       "3.5e+38 is out of range"),
            std::string::npos)
      << r.out;
  std::istringstream lines(r.out);
  std::string line;
  std::getline(lines, line);
  EXPECT_NE(line.find(",Implied Theta,Message"), std::string::npos) << line;
  std::getline(lines, line);
  EXPECT_NE(line.find("1e9,European,2,,,,,,,,,,,Type must be 1 (call) or 2 (put)"),
            std::string::npos)
      << line;
  for (int i = 0; i < 4; ++i) std::getline(lines, line);
  EXPECT_NE(line.find(",,,,,No volatility gives the market price"), std::string::npos) << line;
}

// Rows at and below the row that ends the run keep their inputs, but no
// figure of an earlier run stays beside them, whichever part of the input
// (and thread) they fall to.
TEST_F(BatchCli, NoEarlierFigureStaysBelowTheRowThatEndsTheRun) {
  std::string text = "Underlying,Strike,Maturity,Vol,Yield,Risk,Type,Style,Notes\n";
  for (int i = 0; i < 40; ++i) text += "50,50,1,0.2,0,0.05,1,European,n" + std::to_string(i) + "\n";
  Write("book.csv", text);
  ASSERT_EQ(Run({"book.csv", "-o", "priced.csv", "--threads", "3"}).exit_code, 0);
  // The user ends the run at row 3 (a blank underlying) and changes the
  // spot of every row below it.
  std::istringstream first(Slurp(dir_ / "priced.csv"));
  std::string edited, line;
  for (int row = 1; std::getline(first, line); ++row) {
    if (row == 3) line = line.substr(line.find(','));
    if (row > 3) line = "80" + line.substr(2);
    edited += line + "\n";
  }
  Write("edited.csv", edited);
  const CliResult r = Run({"edited.csv", "-o", "again.csv", "--threads", "3"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  std::istringstream again(Slurp(dir_ / "again.csv"));
  int rows = 0;
  for (int row = 1; std::getline(again, line); ++row) {
    ++rows;
    if (row == 2) {
      EXPECT_NE(line.find(",n0,5.22533,"), std::string::npos) << line;
    } else if (row >= 3) {
      // Inputs and notes kept, the five results and the message empty.
      const std::string note = ",n" + std::to_string(row - 2);
      EXPECT_EQ(line.substr(line.size() - note.size() - 6), note + ",,,,,,") << "row " << row;
      EXPECT_EQ(line.find("5.22"), std::string::npos) << "row " << row << ": " << line;
    }
  }
  EXPECT_EQ(rows, 41);
}

// A market price near the call's lower bound (S - K e^-rT), reached near
// the volatility search's lowest end: the Greeks written beside that implied
// volatility are the closed form's at it, not those at the search's last
// trial (volatility 10, where the value is nearly the spot). At the bound
// itself every volatility up to about 0.02 gives the price as a float, and
// the row is refused.
TEST_F(BatchCli, ImpliedGreeksAreThoseAtTheImpliedVolatility) {
  const double s = 50, k = 50, t = 1, rate = 0.05;
  const auto cdf = [](double x) { return 0.5 * std::erfc(-x / std::sqrt(2.0)); };
  const double bound = s - k * std::exp(-rate * t);
  const double low = 0.05;
  const double d1_low = (std::log(s / k) + (rate + low * low / 2) * t) / (low * std::sqrt(t));
  const double near_bound = s * cdf(d1_low) - k * std::exp(-rate * t) * cdf(d1_low - low);
  std::ostringstream text;
  text.precision(17);
  text << "Underlying,Strike,Maturity,Vol,Yield,Risk,Type,Style,Price\n"
       << "50,50,1,0.2,0,0.05,1,European," << near_bound << "\n"
       << "50,50,1,0.2,0,0.05,1,European," << bound + 1e-9 << "\n";
  Write("bound.csv", text.str());
  const CliResult r = Run({"bound.csv", "-o", "-"});
  ASSERT_EQ(r.exit_code, 2) << r.err;  // the row at the bound refused
  std::istringstream lines(r.out);
  std::string line;
  std::getline(lines, line);
  std::getline(lines, line);
  std::vector<double> cells;
  std::istringstream fields(line);
  for (std::string f; std::getline(fields, f, ',');) cells.push_back(std::atof(f.c_str()));
  ASSERT_GE(cells.size(), 19u) << line;
  const double v = cells[14];  // Implied Volatility
  EXPECT_NEAR(v, low, 0.01 * low) << line;
  const double d1 = (std::log(s / k) + (rate + v * v / 2) * t) / (v * std::sqrt(t));
  const double d2 = d1 - v * std::sqrt(t);
  const double pdf = std::exp(-d1 * d1 / 2) / std::sqrt(2 * M_PI);
  const double theta = -s * pdf * v / (2 * std::sqrt(t)) - rate * k * std::exp(-rate * t) * cdf(d2);
  EXPECT_NEAR(cells[15], cdf(d1), 1e-5) << line;                   // Implied Delta
  EXPECT_NEAR(cells[17], s * pdf * std::sqrt(t), 1e-3) << line;    // Implied Vega
  EXPECT_NEAR(cells[18], theta, 1e-4 * std::fabs(theta)) << line;  // Implied Theta
  std::getline(lines, line);
  EXPECT_NE(line.find("No volatility gives the market price"), std::string::npos) << line;
}

// "Calculated Price" deleted (or Theta moved in front of it) after a run:
// the result columns left behind would keep the old figures beside the new
// inputs, next to a second "Delta". The run is refused before writing.
TEST_F(BatchCli, AResultColumnLeftOutsideTheResultsIsRefused) {
  Write("deleted.csv",
        "Underlying,Strike,Maturity,Vol,Yield,Risk,Type,Style,Delta,Gamma,Vega,Theta,Message\n"
        "80,50,1,0.2,0,0.05,1,European,0.63,0.037,18.7,-3.2,\n");
  CliResult r = Run({"deleted.csv"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.err.find("column 9 (Delta) is one of the results, but the results go from "
                       "column 14"),
            std::string::npos)
      << r.err;
  EXPECT_FALSE(fs::exists(dir_ / "deleted.priced.csv"));
  Write("moved.csv",
        "Underlying,Strike,Maturity,Vol,Yield,Risk,Type,Style,Theta,Calculated Price,Delta,"
        "Gamma,Vega\n80,50,1,0.2,0,0.05,1,European,-3.2,5.2,0.63,0.037,18.7\n");
  r = Run({"moved.csv", "-o", "-"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.err.find("column 9 (Theta) is one of the results"), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");
}

}  // namespace
