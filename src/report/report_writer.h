// The measurement report laid out: one self-contained HTML page (UTF-8, the
// graphs embedded as PNG data) or an A4 PDF written by Qt's own PDF writer
// from the same page, no browser needed. Sections: title, room, method,
// equipment, positions, the averaged table with Tmid and its graph, the
// table of every position, the decays of the octaves 125 Hz - 4 kHz at the
// chosen position. Every number of a table carries its exact value
// (data-value, as the report's CSV writes it) and its CSV column
// (data-column), so a reader can check one against the other.
//
// Needs Qt Gui; makes an offscreen QGuiApplication when none exists (the
// command-line tool). Caller's thread; the UI thread in the program.
#pragma once

#include "core/base/errors.h"
#include "core/session/session_report.h"

#include <QImage>

#include <string>

namespace ravlon {

class EReportError : public Exception {
public:
    using Exception::Exception;
};

// The report as HTML text.
std::string ReportHtml(const TSessionReport& report);

// Writes the report to path: HTML for ".html" / ".htm", PDF for ".pdf"; the
// file is replaced only when complete. Raises EReportError with the reason.
void WriteReport(const TSessionReport& report, const std::string& path);

// Page `page` (from 0) of the PDF's layout, width pixels wide; a null image
// beyond the last page. For previews and screenshots.
QImage ReportPageImage(const TSessionReport& report, int page, int width);

} // namespace ravlon
