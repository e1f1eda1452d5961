#pragma once
// LibreOffice Calc as the spreadsheet application of the link: attaches over
// UNO to an office that accepts connections, lists its open spreadsheet
// documents and their sheets, and reads and writes cells live. It never
// starts an office itself.

#include <memory>
#include <string>

#include "tools/spreadsheet_app.h"

namespace stratlyn {

inline constexpr int kCalcDefaultPort = 2002;

// The port the link attaches to: STRATLYN_CALC_PORT when it holds a port
// number, else 2002.
int CalcPort();

// Attaches to the office accepting "socket,host=HOST,port=PORT;urp;". The
// documents are those open at this moment, in the office's order; a document
// is named by its file name ("prices.ods") or, unsaved, by its title.
// zelError 429 with NotRunningMessage(port) when nothing accepts there;
// zelError 440 with the office's reason for any other failure, here and in
// every later call (a closed document, a lost connection).
std::unique_ptr<SpreadsheetApp> ConnectToCalc(const std::string& host, int port);

}  // namespace stratlyn
