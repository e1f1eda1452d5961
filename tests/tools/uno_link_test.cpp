// The spreadsheet link against a real LibreOffice Calc: the test starts a
// headless office on 127.0.0.1 with its own profile and a generated workbook,
// attaches over UNO, processes a sheet live, and stops the office by the
// process group it started.

#include <gtest/gtest.h>

#if STRATLYN_HAVE_UNO

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/fake_services.h"
#include "tools/excel_link.h"
#include "tools/uno/calc_app.h"
#include "util/zel_error.h"

#if defined(__SANITIZE_ADDRESS__)
// The UNO runtime keeps its bootstrapped contexts and type descriptions until
// the process ends; those are not leaks of this program.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libuno_cppuhelpergcc3.so\n"
         "leak:libuno_cppu.so\n"
         "leak:libuno_sal.so\n"
         "leak:libunoidllo.so\n"
         "leak:libbinaryurplo.so\n"
         "leak:libuuresolverlo.so\n"
         "leak:libgcc3_uno.so\n";
}
#endif

namespace stratlyn {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The office program itself (not its start-up wrapper), so that the process
// the test starts is the office and dies with the test.
const char* const kOffice[] = {"/usr/lib/libreoffice/program/soffice.bin"};

std::string OfficeProgram() {
  for (const char* path : kOffice) {
    if (access(path, X_OK) == 0) return path;
  }
  return "";
}

// A loopback port that nothing listens on at the moment, taken below the
// kernel's ephemeral range: the office binds it only seconds later, and the
// other tests' servers (port 0) cannot be handed it in the meantime.
int FreePort() {
  std::mt19937 pick(static_cast<unsigned>(getpid()) ^
                    static_cast<unsigned>(Clock::now().time_since_epoch().count()));
  std::uniform_int_distribution<int> port_in(20000, 32000);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return 0;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int port = port_in(pick);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    const bool free = bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    close(fd);
    if (free) return port;
  }
  return 0;
}

std::string Cell(const std::string& text) {
  double number = 0;
  if (ReadNumber(text, number)) {
    return "<table:table-cell office:value-type=\"float\" office:value=\"" + text + "\"><text:p>" +
           text + "</text:p></table:table-cell>";
  }
  if (text.empty()) return "<table:table-cell/>";
  return "<table:table-cell office:value-type=\"string\"><text:p>" + text +
         "</text:p></table:table-cell>";
}

std::string Row(const std::vector<std::string>& cells) {
  std::string out = "<table:table-row>";
  for (const auto& c : cells) out += Cell(c);
  return out + "</table:table-row>\n";
}

// A flat OpenDocument spreadsheet with the option sheet and a second sheet.
void WriteWorkbook(const fs::path& path) {
  std::ofstream out(path);
  out << R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:of="urn:oasis:names:tc:opendocument:xmlns:of:1.2"
 office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
<office:body><office:spreadsheet>
<table:table table:name="Options">
)";
  out << Row({"Underlying", "Strike", "Maturity", "Vol", "Yield", "Risk Free Rate", "Type", "Style",
              "Market Price", "Notes"});
  out << Row({"50", "50", "0.25", "0.25", "0", "0.1", "1", "European", "3.5", "first"});
  out << Row({"50", "50", "0.25", "0.25", "0", "0.1", "2", "American", "2.1", ""});
  out << "<table:table-row>"
         "<table:table-cell table:formula=\"of:=[.A2]*1\" office:value-type=\"float\" "
         "office:value=\"50\"><text:p>50</text:p></table:table-cell>"
      << Cell("abc") << Cell("0.25") << Cell("0.25") << Cell("0") << Cell("0.1") << Cell("1")
      << Cell("European") << Cell("3") << "</table:table-row>\n";
  out << Row({"50", "50", "0.25", "0.25", "0", "0.1", "2", "European", "1.9", ""});
  out << Row({"", "", "", "", "", "", "", "", "", ""});
  out << Row({"60", "50", "0.25", "0.25", "0", "0.1", "1", "European", "11", "below"});
  out << R"(</table:table>
<table:table table:name="Notes"><table:table-row>)"
      << Cell("kept") << R"(</table:table-row></table:table>
</office:spreadsheet></office:body></office:document>
)";
}

// Opens a workbook, hidden, in the office that accepts on the port (the
// office loads a document named on its command line and quits when headless).
void OpenInOffice(int port, const fs::path& path) {
  namespace css = com::sun::star;
  using css::uno::Reference;
  const Reference<css::uno::XComponentContext> local =
      cppu::defaultBootstrap_InitialComponentContext();
  const auto resolver = css::bridge::UnoUrlResolver::create(local);
  const std::string url =
      "uno:socket,host=127.0.0.1,port=" + std::to_string(port) + ";urp;StarOffice.ComponentContext";
  const Reference<css::uno::XComponentContext> remote(
      resolver->resolve(rtl::OUString::createFromAscii(url.c_str())), css::uno::UNO_QUERY_THROW);
  const Reference<css::frame::XComponentLoader> loader(css::frame::Desktop::create(remote),
                                                       css::uno::UNO_QUERY_THROW);
  css::uno::Sequence<css::beans::PropertyValue> args(1);
  args.getArray()[0].Name = "Hidden";
  args.getArray()[0].Value <<= true;
  const std::string file_url = "file://" + path.string();
  loader->loadComponentFromURL(
      rtl::OStringToOUString(rtl::OString(file_url.c_str()), RTL_TEXTENCODING_UTF8), "_blank", 0,
      args);
}

// Moves the sheet `name` of the office's first spreadsheet to the front,
// as a user drags a sheet tab.
void MoveSheetToFront(int port, const std::string& name) {
  namespace css = com::sun::star;
  using css::uno::Reference;
  const Reference<css::uno::XComponentContext> local =
      cppu::defaultBootstrap_InitialComponentContext();
  const auto resolver = css::bridge::UnoUrlResolver::create(local);
  const std::string url =
      "uno:socket,host=127.0.0.1,port=" + std::to_string(port) + ";urp;StarOffice.ComponentContext";
  const Reference<css::uno::XComponentContext> remote(
      resolver->resolve(rtl::OUString::createFromAscii(url.c_str())), css::uno::UNO_QUERY_THROW);
  const auto components = css::frame::Desktop::create(remote)->getComponents()->createEnumeration();
  while (components->hasMoreElements()) {
    const Reference<css::sheet::XSpreadsheetDocument> doc(components->nextElement(),
                                                          css::uno::UNO_QUERY);
    if (doc.is()) {
      doc->getSheets()->moveByName(rtl::OUString::createFromAscii(name.c_str()), 0);
      return;
    }
  }
}

// A headless office started for one test, stopped (its whole process group)
// when the test ends. The office program asks to be started again (exit
// code 81) after it has set up a fresh profile; Alive does that.
class Office {
 public:
  Office(const std::string& program, int port) {
    char dir_template[] = "/tmp/stratlyn-uno-XXXXXX";
    dir_ = mkdtemp(dir_template);
    args_ = {program,
             "--headless",
             "--invisible",
             "--nologo",
             "--norestore",
             "--nolockcheck",
             "-env:UserInstallation=file://" + dir_.string() + "/profile",
             "--accept=socket,host=127.0.0.1,port=" + std::to_string(port) + ";urp;"};
    Start();
  }
  ~Office() {
    if (pid_ > 0) {
      kill(-pid_, SIGTERM);
      const auto deadline = Clock::now() + std::chrono::seconds(10);
      int status = 0;
      while (waitpid(pid_, &status, WNOHANG) == 0 && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
      kill(-pid_, SIGKILL);
      waitpid(pid_, &status, 0);
    }
    std::error_code ec;
    if (!dir_.empty()) fs::remove_all(dir_, ec);
  }
  Office(const Office&) = delete;
  Office& operator=(const Office&) = delete;

  // Ends the office at once, as a crash or a user closing it would.
  // Stops the office without ending it (it then answers nothing), and lets
  // it go on.
  void Freeze() {
    if (pid_ > 0) kill(-pid_, SIGSTOP);
  }
  void Thaw() {
    if (pid_ > 0) kill(-pid_, SIGCONT);
  }
  void Kill() {
    if (pid_ <= 0) return;
    kill(-pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = 0;
  }

  // False once the office has ended for good; restarts it when it asks to.
  bool Alive() {
    if (pid_ <= 0) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) != pid_) return true;
    pid_ = 0;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 81 && restarts_++ < 3) Start();
    return pid_ > 0;
  }

 private:
  void Start() {
    std::vector<char*> argv;
    for (auto& a : args_) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      // The office must not outlive a test that crashes.
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      setpgid(0, 0);
      execv(argv[0], argv.data());
      _exit(127);
    }
    if (pid_ < 0) pid_ = 0;
  }

  std::vector<std::string> args_;
  pid_t pid_ = 0;
  int restarts_ = 0;
  fs::path dir_;
};

TEST(UnoLink, NothingListeningIsTheNotRunningCase) {
  const int port = FreePort();
  ASSERT_GT(port, 0);
  try {
    ConnectToCalc("127.0.0.1", port);
    FAIL() << "attached to nothing";
  } catch (const zelError& e) {
    EXPECT_EQ(e.Number(), err::kCannotCreateObject);
    EXPECT_EQ(e.Description(), NotRunningMessage(port));
  }
  // The window's link shows that message in a critical box.
  testing::FakeServices fakes;
  ExcelLink link([port] { return ConnectToCalc("127.0.0.1", port); });
  std::vector<ExcelLink::SheetEntry> list;
  EXPECT_TRUE(link.FindExcelSheets(list));
  EXPECT_EQ(fakes.dialogs.LastText(), NotRunningMessage(port));
  EXPECT_EQ(fakes.dialogs.Last().icon, MsgIcon::Critical);
}

TEST(UnoLink, ProcessesASheetOfARunningCalc) {
  const std::string program = OfficeProgram();
  if (program.empty()) {
    GTEST_SKIP() << "LibreOffice is not installed (Debian package libreoffice-calc-nogui); "
                    "the live link to Calc is not tested";
  }
  const int port = FreePort();
  ASSERT_GT(port, 0);
  char doc_template[] = "/tmp/stratlyn-book-XXXXXX";
  const fs::path doc_dir = mkdtemp(doc_template);
  const fs::path book = doc_dir / "options book.fods";
  WriteWorkbook(book);
  struct RemoveDir {
    fs::path dir;
    ~RemoveDir() {
      std::error_code ec;
      fs::remove_all(dir, ec);
    }
  } remove_doc{doc_dir};

  Office office(program, port);

  // Wait (bounded) until the office accepts connections.
  std::unique_ptr<SpreadsheetApp> app;
  std::string last_error;
  const auto deadline = Clock::now() + std::chrono::seconds(60);
  // An office that has just begun to accept can still fail the next call
  // while it starts: it counts as up after three connections in a row.
  int in_a_row = 0;
  while (in_a_row < 3 && Clock::now() < deadline && office.Alive()) {
    try {
      app = ConnectToCalc("127.0.0.1", port);
      ++in_a_row;
    } catch (const zelError& e) {
      app.reset();
      in_a_row = 0;
      last_error = e.Description();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
  }
  ASSERT_TRUE(app && in_a_row == 3) << "the office did not come up within 60 s: " << last_error;
  EXPECT_EQ(app->WorkbookCount(), 0);
  {
    testing::FakeServices fakes;
    ExcelLink empty([port] { return ConnectToCalc("127.0.0.1", port); });
    std::vector<ExcelLink::SheetEntry> none;
    EXPECT_TRUE(empty.FindExcelSheets(none));
    EXPECT_EQ(fakes.dialogs.LastText(), "No workbooks are loaded into LibreOffice Calc");
  }
  try {
    OpenInOffice(port, book);
  } catch (const com::sun::star::uno::Exception& e) {
    FAIL() << "the office did not open the workbook: " << e.Message << " (office "
           << (office.Alive() ? "running" : "gone") << ")";
  }

  testing::FakeServices fakes;
  ExcelLink link([port] { return ConnectToCalc("127.0.0.1", port); });
  std::vector<ExcelLink::SheetEntry> list;
  ASSERT_FALSE(link.FindExcelSheets(list));
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].caption, "[options book.fods]Options");
  EXPECT_EQ(list[0].item_data, 1001);
  EXPECT_EQ(list[1].caption, "[options book.fods]Notes");
  EXPECT_EQ(list[1].item_data, 1002);

  const ExcelLink::Report report = link.Process(list[0].item_data);
  EXPECT_EQ(report.outcome, ExcelLink::Outcome::kDone);
  EXPECT_EQ(report.rows_priced, 3);
  ASSERT_EQ(report.skipped.size(), 1u);
  EXPECT_EQ(report.skipped[0].row, 4);
  EXPECT_EQ(report.skipped[0].col, 2);
  EXPECT_EQ(report.last_row, 6);

  // Read back through a fresh attachment: what the user sees in Calc.
  app = ConnectToCalc("127.0.0.1", port);
  Worksheet& sheet = app->GetWorksheet(1, 1);
  EXPECT_EQ(sheet.Text(1, 10), "Notes");             // the user's column is kept
  EXPECT_EQ(sheet.Text(1, 11), "Calculated Price");  // results after it
  EXPECT_EQ(sheet.Text(1, 20), "Implied Theta");
  EXPECT_EQ(sheet.Text(2, 10), "first");
  const CellValue call = sheet.Value(2, 11);
  ASSERT_EQ(call.kind, CellValue::Kind::kNumber);
  EXPECT_NEAR(call.number, 3.1273, 5e-5);
  EXPECT_NEAR(sheet.Value(3, 11).number, 2.0140, 5e-5);  // American put on the lattice
  EXPECT_EQ(sheet.Text(1, 16), "Implied Volatility");
  EXPECT_GT(sheet.Value(2, 16).number, 0.25);  // implied vol above the sheet's
  EXPECT_TRUE(sheet.Value(4, 11).IsEmpty());   // skipped: "abc" as strike
  EXPECT_NEAR(sheet.Value(5, 11).number, 1.8928, 5e-5);
  EXPECT_TRUE(sheet.Value(7, 11).IsEmpty());  // below the first empty underlying
  EXPECT_EQ(sheet.Text(7, 10), "below");
  EXPECT_EQ(app->GetWorksheet(1, 2).Text(1, 1), "kept");
  EXPECT_EQ(sheet.Text(1, 21), "Message");
  EXPECT_EQ(sheet.Text(4, 21), "Strike: \"abc\" is not a number");
  EXPECT_TRUE(sheet.Value(2, 21).IsEmpty());
  EXPECT_GE(sheet.UsedColumns(), 21);
  EXPECT_EQ(sheet.UsedRows(), 7);

  // The user moves "Notes" in front of "Options" after the sheets were
  // listed: Process still works on "Options", found by its name.
  MoveSheetToFront(port, "Notes");
  sheet.SetValue(2, 11, CellValue::Empty());
  const ExcelLink::Report moved = link.Process(list[0].item_data);
  EXPECT_EQ(moved.outcome, ExcelLink::Outcome::kDone);
  app = ConnectToCalc("127.0.0.1", port);
  EXPECT_EQ(app->WorksheetName(1, 1), "Notes");
  EXPECT_EQ(app->GetWorksheet(1, 1).Text(1, 1), "kept") << "the other sheet is left alone";
  EXPECT_TRUE(app->GetWorksheet(1, 1).Value(1, 11).IsEmpty()) << "no results in Notes";
  EXPECT_NEAR(app->GetWorksheet(1, 2).Value(2, 11).number, 3.1273, 5e-5);
  std::vector<ExcelLink::SheetEntry> now;
  ASSERT_TRUE(link.TakeNewSheetList(now));
  EXPECT_EQ(now[0].caption, "[options book.fods]Notes");

  // Calc stops answering in the middle of a run: the run ends after the
  // time limit with a message naming the row, instead of waiting for ever.
  struct FreezeAtRow3 : ExcelLink::Observer {
    explicit FreezeAtRow3(Office& o) : office(o) {}
    void Status(const std::string& text) override {
      if (text == "Processing row 3") office.Freeze();
    }
    Office& office;
  } freezer(office);
  link.SetOfficeTimeLimit(std::chrono::seconds(2));
  const auto start = std::chrono::steady_clock::now();
  const ExcelLink::Report frozen = link.Process(now[1].item_data, freezer);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  office.Thaw();
  EXPECT_EQ(frozen.outcome, ExcelLink::Outcome::kFailed);
  EXPECT_EQ(frozen.last_row, 3);
  EXPECT_EQ(fakes.dialogs.LastText(), NoAnswerMessage(std::chrono::seconds(2), 3));
  link.SetOfficeTimeLimit(std::chrono::seconds(30));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));

  // Calc goes away in the middle of a second run: the link says so, with
  // the row, instead of an automation error.
  struct KillAtRow3 : ExcelLink::Observer {
    explicit KillAtRow3(Office& o) : office(o) {}
    void Status(const std::string& text) override {
      if (text == "Processing row 3") office.Kill();
    }
    Office& office;
  } killer(office);
  ASSERT_EQ(now[1].caption, "[options book.fods]Options");
  const ExcelLink::Report lost = link.Process(now[1].item_data, killer);
  EXPECT_EQ(lost.outcome, ExcelLink::Outcome::kFailed);
  EXPECT_EQ(lost.last_row, 3);
  EXPECT_EQ(fakes.dialogs.LastText(), ConnectionLostMessage(3));
  EXPECT_EQ(fakes.dialogs.LastText().find("Automation error"), std::string::npos);
}

}  // namespace
}  // namespace stratlyn

#else

TEST(UnoLink, NeedsTheLibreOfficeSdk) {
  GTEST_SKIP() << "built without the LibreOffice SDK (Debian package libreoffice-dev): the live "
                  "link to Calc is not part of this build";
}

#endif
