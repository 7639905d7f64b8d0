#pragma once

#include "timing/results_document.h"

#include <QString>

class QPainter;
class QPrinter;

namespace veltro {

// Draws `document` on `printer` as text at the printer's own resolution: the title, the heading, the
// table in columns, the close-finish warnings, and at the foot of every page `printed_by` and the
// footer with the page number. Starts a new page (heading repeated) when the table runs over.
void paint_results_document(QPainter& painter, QPrinter& printer, const ResultsDocument& document,
                            const QString& printed_by);

} // namespace veltro
