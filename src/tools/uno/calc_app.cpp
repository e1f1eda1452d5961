#include "tools/uno/calc_app.h"

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/bridge/XUnoUrlResolver.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XTitle.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/IndexOutOfBoundsException.hpp>
#include <com/sun/star/sheet/FormulaResult.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XSheetCellCursor.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/sheet/XUsedAreaCursor.hpp>
#include <com/sun/star/table/CellContentType.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/text/XText.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <csignal>
#include <cstdlib>
#include <map>
#include <mutex>
#include <rtl/uri.hxx>
#include <rtl/ustring.hxx>
#include <utility>
#include <vector>

#include "tools/excel_link.h"
#include "util/zel_error.h"

namespace stratlyn {
namespace {

namespace css = com::sun::star;
using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;
using rtl::OString;
using rtl::OStringToOUString;
using rtl::OUString;
using rtl::OUStringToOString;

// Any failure of the office other than "not reachable".
constexpr int kAutomationError = 440;

std::string ToUtf8(const OUString& text) {
  return OUStringToOString(text, RTL_TEXTENCODING_UTF8).getStr();
}

OUString FromUtf8(const std::string& text) {
  return OStringToOUString(OString(text.data(), static_cast<sal_Int32>(text.size())),
                           RTL_TEXTENCODING_UTF8);
}

[[noreturn]] void Fail(const css::uno::Exception& e) {
  std::string reason = ToUtf8(e.Message);
  if (reason.empty()) {
    reason = "the office reported an error";
  }
  throw zelError(kAutomationError, "LibreOffice Calc: " + reason);
}

// Runs f, turning the office's exceptions into zelError.
template <typename F>
auto Guard(F&& f) -> decltype(f()) {
  try {
    return f();
  } catch (const css::lang::IndexOutOfBoundsException&) {
    throw zelError(err::kSubscript);
  } catch (const css::lang::DisposedException& e) {
    // The office was closed (or crashed): its end of the bridge is gone.
    throw zelError(kOfficeConnectionLost, "LibreOffice Calc: " + ToUtf8(e.Message));
  } catch (const css::uno::Exception& e) {
    Fail(e);
  }
}

// The local UNO context, bootstrapped once from the office's own settings
// (without them the first remote call crashes inside the bridge).
Reference<css::uno::XComponentContext> LocalContext() {
  static std::once_flag once;
  static Reference<css::uno::XComponentContext> context;
  static std::string failure;
  std::call_once(once, [] {
    // The bridge writes to the office's socket; an office that has gone away
    // must end the call with an exception, not the program with SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    setenv("URE_BOOTSTRAP", "vnd.sun.star.pathname:" STRATLYN_LO_PROGRAM_DIR "/fundamentalrc", 0);
    try {
      context = cppu::defaultBootstrap_InitialComponentContext();
    } catch (const cppu::BootstrapException& e) {
      failure = ToUtf8(e.getMessage());
    } catch (const css::uno::Exception& e) {
      failure = ToUtf8(e.Message);
    }
  });
  if (!context.is()) {
    throw zelError(kAutomationError, "The LibreOffice runtime could not be started: " + failure);
  }
  return context;
}

class CalcSheet : public Worksheet {
 public:
  explicit CalcSheet(const Reference<css::sheet::XSpreadsheet>& sheet) : sheet_(sheet) {}

  CellValue Value(int row, int col) override {
    return Guard([&] {
      const Reference<css::table::XCell> cell = Cell(row, col);
      switch (cell->getType()) {
        case css::table::CellContentType_EMPTY:
          return CellValue::Empty();
        case css::table::CellContentType_VALUE:
          return CellValue::Number(cell->getValue());
        case css::table::CellContentType_FORMULA: {
          const Reference<css::beans::XPropertySet> props(cell, UNO_QUERY_THROW);
          sal_Int32 result = 0;
          props->getPropertyValue("FormulaResultType2") >>= result;
          if (cell->getError() == 0 && result == css::sheet::FormulaResult::VALUE) {
            return CellValue::Number(cell->getValue());
          }
          return CellValue::Text(DisplayedText(cell));
        }
        default:
          return CellValue::Text(DisplayedText(cell));
      }
    });
  }

  void SetValue(int row, int col, const CellValue& value) override {
    Guard([&] {
      const Reference<css::table::XCell> cell = Cell(row, col);
      switch (value.kind) {
        case CellValue::Kind::kEmpty:
          cell->setFormula(OUString());
          break;
        case CellValue::Kind::kNumber:
          cell->setValue(value.number);
          break;
        case CellValue::Kind::kText: {
          const Reference<css::text::XText> text(cell, UNO_QUERY_THROW);
          text->setString(FromUtf8(value.text));
          break;
        }
      }
    });
  }

  std::string Text(int row, int col) override {
    return Guard([&] { return DisplayedText(Cell(row, col)); });
  }

  void SetWrapText(int row, int col, bool wrap) override {
    Guard([&] {
      const Reference<css::beans::XPropertySet> props(Cell(row, col), UNO_QUERY_THROW);
      props->setPropertyValue("IsTextWrapped", css::uno::Any(wrap));
    });
  }

  int UsedRows() override {
    return Guard([&] { return UsedEnd().EndRow + 1; });
  }
  int UsedColumns() override {
    return Guard([&] { return UsedEnd().EndColumn + 1; });
  }

 private:
  Reference<css::table::XCell> Cell(int row, int col) {
    if (row < 1 || col < 1) {
      throw zelError(err::kSubscript);
    }
    return sheet_->getCellByPosition(col - 1, row - 1);
  }
  static std::string DisplayedText(const Reference<css::table::XCell>& cell) {
    const Reference<css::text::XText> text(cell, UNO_QUERY_THROW);
    return ToUtf8(text->getString());
  }
  css::table::CellRangeAddress UsedEnd() {
    const Reference<css::sheet::XSheetCellCursor> cursor = sheet_->createCursor();
    const Reference<css::sheet::XUsedAreaCursor> used(cursor, UNO_QUERY_THROW);
    used->gotoStartOfUsedArea(false);
    used->gotoEndOfUsedArea(true);
    const Reference<css::sheet::XCellRangeAddressable> address(cursor, UNO_QUERY_THROW);
    return address->getRangeAddress();
  }

  Reference<css::sheet::XSpreadsheet> sheet_;
};

class CalcApp : public SpreadsheetApp {
 public:
  CalcApp(const Reference<css::uno::XComponentContext>& remote,
          std::vector<Reference<css::sheet::XSpreadsheetDocument>> documents)
      : remote_(remote), documents_(std::move(documents)) {}

  int WorkbookCount() override { return static_cast<int>(documents_.size()); }

  std::string WorkbookName(int workbook) override {
    const auto& doc = Document(workbook);
    return Guard([&] {
      const Reference<css::frame::XModel> model(doc, UNO_QUERY);
      if (model.is() && !model->getURL().isEmpty()) {
        const OUString url = model->getURL();
        const OUString file = url.copy(url.lastIndexOf('/') + 1);
        return ToUtf8(rtl::Uri::decode(file, rtl_UriDecodeWithCharset, RTL_TEXTENCODING_UTF8));
      }
      const Reference<css::frame::XTitle> title(doc, UNO_QUERY);
      return title.is() ? ToUtf8(title->getTitle()) : "Workbook " + std::to_string(workbook);
    });
  }

  int WorksheetCount(int workbook) override {
    const auto& doc = Document(workbook);
    return Guard([&] { return static_cast<int>(Sheets(doc)->getCount()); });
  }

  std::string WorksheetName(int workbook, int sheet) override {
    const auto& doc = Document(workbook);
    return Guard([&] {
      const Reference<css::container::XNamed> named(SheetAt(doc, sheet), UNO_QUERY_THROW);
      return ToUtf8(named->getName());
    });
  }

  Worksheet& GetWorksheet(int workbook, int sheet) override {
    const auto& doc = Document(workbook);
    // Looked up afresh each time: the sheets may have been moved since.
    auto& kept = sheets_[{workbook, sheet}];
    kept = Guard([&] { return std::make_unique<CalcSheet>(SheetAt(doc, sheet)); });
    return *kept;
  }

 private:
  const Reference<css::sheet::XSpreadsheetDocument>& Document(int workbook) const {
    if (workbook < 1 || workbook > static_cast<int>(documents_.size())) {
      throw zelError(err::kSubscript);
    }
    return documents_[workbook - 1];
  }
  static Reference<css::container::XIndexAccess> Sheets(
      const Reference<css::sheet::XSpreadsheetDocument>& doc) {
    return Reference<css::container::XIndexAccess>(doc->getSheets(), UNO_QUERY_THROW);
  }
  static Reference<css::sheet::XSpreadsheet> SheetAt(
      const Reference<css::sheet::XSpreadsheetDocument>& doc, int sheet) {
    const auto sheets = Sheets(doc);
    if (sheet < 1 || sheet > sheets->getCount()) {
      throw zelError(err::kSubscript);
    }
    return Reference<css::sheet::XSpreadsheet>(sheets->getByIndex(sheet - 1), UNO_QUERY_THROW);
  }

  Reference<css::uno::XComponentContext> remote_;  // keeps the connection
  std::vector<Reference<css::sheet::XSpreadsheetDocument>> documents_;
  std::map<std::pair<int, int>, std::unique_ptr<CalcSheet>> sheets_;
};

}  // namespace

int CalcPort() {
  const char* text = std::getenv("STRATLYN_CALC_PORT");
  if (!text || !*text) {
    return kCalcDefaultPort;
  }
  char* end = nullptr;
  const long port = std::strtol(text, &end, 10);
  if (*end != '\0' || port < 1 || port > 65535) {
    return kCalcDefaultPort;
  }
  return static_cast<int>(port);
}

std::unique_ptr<SpreadsheetApp> ConnectToCalc(const std::string& host, int port) {
  const Reference<css::uno::XComponentContext> local = LocalContext();
  Reference<css::uno::XComponentContext> remote;
  try {
    const Reference<css::bridge::XUnoUrlResolver> resolver =
        css::bridge::UnoUrlResolver::create(local);
    const std::string url = "uno:socket,host=" + host + ",port=" + std::to_string(port) +
                            ";urp;StarOffice.ComponentContext";
    remote.set(resolver->resolve(FromUtf8(url)), UNO_QUERY_THROW);
  } catch (const css::connection::NoConnectException&) {
    throw zelError(err::kCannotCreateObject, NotRunningMessage(port));
  } catch (const css::uno::Exception& e) {
    Fail(e);
  }
  return Guard([&] {
    const Reference<css::frame::XDesktop2> desktop = css::frame::Desktop::create(remote);
    std::vector<Reference<css::sheet::XSpreadsheetDocument>> documents;
    const Reference<css::container::XEnumerationAccess> components = desktop->getComponents();
    if (components.is()) {
      const Reference<css::container::XEnumeration> it = components->createEnumeration();
      while (it.is() && it->hasMoreElements()) {
        Reference<css::sheet::XSpreadsheetDocument> doc(it->nextElement(), UNO_QUERY);
        if (doc.is()) {
          documents.push_back(doc);
        }
      }
    }
    return std::make_unique<CalcApp>(remote, std::move(documents));
  });
}

}  // namespace stratlyn
