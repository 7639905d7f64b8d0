#pragma once

#include "timing/published_results.h"

#include <array>
#include <string>
#include <vector>

namespace veltro {

// The results of one heat as a printed document: every text on the page, laid out by the printer
// code as text (never as a picture of the window).
struct ResultsDocument {
    std::string title;                // the event name, or "Results" without one
    std::vector<std::string> heading; // "Meeting date: 2026-12-07", "Heat 3 Final", "Start: 19:01:00", ...
    // The table: the column names first, then one row per dog in finishing order. The split is blank
    // when none was given.
    static constexpr std::size_t kColumns = 7;
    std::vector<std::array<std::string, kColumns>> table;
    std::vector<std::string> warnings; // the close-finish warnings
    std::string footer;                // "File: <name>  SHA-256: <first 16 digits>"
};

// The document of `heat`; `sha256` is the recording's (64 digits, or empty when it cannot be read).
ResultsDocument results_document_of(const PublishedHeat& heat, const std::vector<std::string>& warnings,
                                    const std::string& sha256);

// The footer of page `page` of `pages`.
std::string page_footer(const ResultsDocument& document, int page, int pages);

} // namespace veltro
