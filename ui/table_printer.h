#pragma once

#include "platform/dialogs.h"

class QPrinter;

namespace quorvel::ui {

// Lays the table out on the printer's pages, portrait: the title centred at
// the top, the date at the top left, the time at the top right, the headings
// over the rows, and "Page n" at the bottom right of every page.
void printTable(QPrinter& printer, const PrintedTable& table);

}  // namespace quorvel::ui
