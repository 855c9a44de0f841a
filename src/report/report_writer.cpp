// The report as HTML and PDF.
#include "report/report_writer.h"

#include "core/base/fileutil.h"
#include "report/report_graphs.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextDocument>
#include <QUrl>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <utility>
#include <vector>

namespace ravlon {

namespace {

// A4 at the document's 96 pixels per inch, and its margin.
const QSizeF kPage(794, 1123);
constexpr double kMargin = 57; // 15 mm
const QSize kGraphSize(1200, 660);
const QSize kDecaySize(660, 440);
constexpr int kGraphWidth = 660; // as laid out on the page
constexpr int kDecayWidth = 330;
constexpr double kDecayBands[] = {125, 250, 500, 1000, 2000, 4000};

void EnsureGuiApplication() {
    if (QGuiApplication::instance()) return;
    // Fonts need a platform; no window is ever shown.
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "ravlon-report";
    static char* argv[] = {name, nullptr};
    // The platform asks for a runtime folder that a report never uses.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (!text.startsWith("QStandardPaths:"))
            std::fprintf(stderr, "%s%s\n", type == QtWarningMsg ? "warning: " : "",
                         text.toLocal8Bit().constData());
    });
    static QGuiApplication* app = new QGuiApplication(argc, argv);
    (void)app;
}

std::string Esc(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return ToValidUtf8(out);
}

// A table cell with a number: the visible text and the exact value.
std::string Cell(const char* column, double value, const std::string& text) {
    return std::string("<td align=\"right\" data-column=\"") + column + "\" data-value=\"" +
           CsvNumber(value) + "\">" + Esc(text) + "</td>";
}
std::string TextCell(const std::string& text) {
    return "<td>" + Esc(text) + "</td>";
}
std::string Head(std::initializer_list<const char*> names) {
    std::string row = "<tr>";
    for (const char* n : names) row += std::string("<th>") + n + "</th>";
    return row + "</tr>\n";
}
std::string Lines(const std::vector<std::pair<std::string, std::string>>& lines) {
    std::string out = "<table cellpadding=\"3\">\n";
    for (const auto& [what, value] : lines)
        out += "<tr><td valign=\"top\"><b>" + Esc(what) + "</b></td><td>" + Esc(value) +
               "</td></tr>\n";
    return out + "</table>\n";
}

// Where an image goes: the src attribute of its <img>.
using ImageSource = std::function<std::string(const QImage& image, const std::string& name)>;

std::string Image(const ImageSource& source, const QImage& image, const std::string& name,
                  int width, const std::string& alt) {
    const int height = image.width() > 0 ? width * image.height() / image.width() : width;
    return "<img src=\"" + source(image, name) + "\" width=\"" + std::to_string(width) +
           "\" height=\"" + std::to_string(height) + "\" alt=\"" + Esc(alt) + "\">";
}

std::string AverageSection(const TSessionReport& r, const ImageSource& source) {
    std::string out = "<h2 id=\"average\">Averaged results</h2>\n"
                      "<table id=\"average-table\" border=\"1\" cellspacing=\"0\" "
                      "cellpadding=\"3\">\n" +
                      Head({"Band [Hz]", "EDT [s]", "s [s]", "N", "T20 [s]", "s [s]", "u [s]", "N",
                            "T30 [s]", "s [s]", "u [s]", "N", "Notes"});
    const int32_t n = r.Average.Positions;
    for (const TAveragedBand& b : r.Average.Bands) {
        out += "<tr data-position=\"average\" data-band=\"" + CsvNumber(b.Band.Nominal) + "\">" +
               Cell("nominal_hz", b.Band.Nominal, ReportNumber(b.Band.Nominal, 5));
        std::string notes;
        for (auto [name, value] : {std::pair{"edt", &b.EDT}, {"t20", &b.T20}, {"t30", &b.T30}}) {
            const std::string col = name;
            out += Cell((col + "_s").c_str(), value->Mean,
                        ReportNumber(value->Mean) +
                            (value->FewPositions && value->HasValue() ? "!" : "")) +
                   Cell((col + "_std_s").c_str(), value->StdDev, ReportNumber(value->StdDev, 2));
            if (col != "edt")
                out += Cell((col + "_u_s").c_str(), value->Uncertainty,
                            ReportNumber(value->Uncertainty, 2));
            out += Cell((col + "_positions").c_str(), static_cast<double>(value->Used.size()),
                        std::to_string(value->Used.size()));
            const std::string note = AveragedNote(*value, n);
            if (!note.empty()) notes += (notes.empty() ? "" : "; ") + col + " " + note;
        }
        out += TextCell(notes) + "</tr>\n";
    }
    out += "</table>\n<p>N: positions where the value is valid; s: standard deviation between "
           "them; u: standard uncertainty of the mean (ISO 3382-2); ! valid at fewer than half of "
           "the " +
           std::to_string(n) + " positions.</p>\n";
    out +=
        "<p id=\"tmid\"><b>Tmid</b> (" +
        std::string(r.Average.Set == TBandSet::Octave ? "500 Hz and 1 kHz" : "400 Hz to 1.25 kHz") +
        "): <b data-column=\"tmid_s\" data-value=\"" + CsvNumber(r.Average.Tmid) + "\">" +
        ReportNumber(r.Average.Tmid) + " s</b></p>\n";
    out += "<h2 id=\"graph\">Reverberation time against frequency</h2>\n<p>" +
           Image(source, ReverberationGraph(r.Average, kGraphSize), "graph-t.png", kGraphWidth,
                 "T20 and T30 against frequency") +
           "</p>\n";
    return out;
}

std::string PositionTables(const TSessionReport& r) {
    std::string out = "<h2 id=\"per-position\">Results per position</h2>\n";
    for (size_t i = 0; i < r.Positions.size(); ++i) {
        const TReportPosition& p = r.Positions[i];
        const TResultsReport& res = p.Results;
        out += "<h3>Position " + Esc(p.Label) + "</h3>\n<table id=\"position-" +
               std::to_string(i + 1) + "\" border=\"1\" cellspacing=\"0\" cellpadding=\"3\">\n" +
               Head({"Band [Hz]", "EDT [s]", "T20 [s]", "u [s]", "T30 [s]", "u [s]", "C [%]",
                     "Problems"});
        for (const TBandResult& b : res.Bands) {
            const auto value = [](const TDecayFit& f) {
                return f.HasValue() ? ReportNumber(f.T) + (f.Valid() ? "" : "*") : "-";
            };
            std::string problems;
            for (auto [name, fit] : {std::pair{"edt", &b.EDT}, {"t20", &b.T20}, {"t30", &b.T30}})
                if (fit->Problems != fpNone)
                    problems += std::string(problems.empty() ? "" : " ") + name + ":" +
                                FitProblemText(fit->Problems);
            const double u20 = PositionUncertainty(b.T20, true, b.Band, res.Set, res.Cycles);
            const double u30 = PositionUncertainty(b.T30, false, b.Band, res.Set, res.Cycles);
            out += "<tr data-position=\"" + Esc(p.Label) + "\" data-band=\"" +
                   CsvNumber(b.Band.Nominal) + "\">" +
                   Cell("nominal_hz", b.Band.Nominal, ReportNumber(b.Band.Nominal, 5)) +
                   Cell("edt_s", b.EDT.T, value(b.EDT)) + Cell("t20_s", b.T20.T, value(b.T20)) +
                   Cell("t20_u_s", u20, ReportNumber(u20, 2)) +
                   Cell("t30_s", b.T30.T, value(b.T30)) +
                   Cell("t30_u_s", u30, ReportNumber(u30, 2)) +
                   Cell("c_percent", b.C, ReportNumber(b.C, 2)) + TextCell(problems) + "</tr>\n";
        }
        out += "</table>\n";
    }
    out += "<p>* not valid; the problems say why: background (less than 10 dB below the end of "
           "the range), not-reached (the decay never reaches the end of the range), few-frames, "
           "few-bins, not-decaying, no-steady-level. u: ISO 3382-2 standard uncertainty at the "
           "position.</p>\n";
    return out;
}

std::string DecaySection(const TSessionReport& r, const ImageSource& source) {
    if (r.Positions.empty()) return "";
    const size_t index = static_cast<size_t>(
        std::clamp<int32_t>(r.DecayPosition, 0, static_cast<int32_t>(r.Positions.size()) - 1));
    const TReportPosition& p = r.Positions[index];
    std::string out = "<h2 id=\"decays\" style=\"page-break-before: always\">Decays at position " +
                      Esc(p.Label) +
                      "</h2>\n<p>Averaged decay of each octave band in dB below the steady "
                      "level, with the fitted T30 line (T20 where T30 has none).</p>\n<table>\n";
    int column = 0;
    for (double nominal : kDecayBands)
        for (const TBandResult& b : p.Results.Bands) {
            if (b.Band.Nominal != nominal || p.Results.Set != TBandSet::Octave) continue;
            if (column == 0) out += "<tr>";
            out += "<td>" +
                   Image(source, DecayGraph(b, kDecaySize), "decay-" + CsvNumber(nominal) + ".png",
                         kDecayWidth, "decay " + CsvNumber(nominal) + " Hz") +
                   "</td>";
            if (++column == 2) {
                out += "</tr>\n";
                column = 0;
            }
        }
    if (column) out += "</tr>\n";
    return out + "</table>\n";
}

std::string BuildHtml(const TSessionReport& r, const ImageSource& source) {
    std::string title = r.Title + (r.Info.Room.empty() ? "" : ": " + r.Info.Room);
    std::string date = r.Date;
    std::replace(date.begin(), date.end(), 'T', ' ');
    std::string out =
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + Esc(title) +
        "</title>\n<style>body { font-family: sans-serif; font-size: 10pt; } "
        "th { background-color: #e8e8e8; } h2 { margin-top: 18px; }</style>\n</head><body>\n"
        "<h1>" +
        Esc(title) + "</h1>\n<p>Report made " + Esc(date) + " with Ravlon.</p>\n";
    out += "<h2 id=\"room\">Room</h2>\n" + Lines(ReportRoom(r));
    out += "<h2 id=\"method\">Method</h2>\n" + Lines(ReportMethod(r));
    out += "<h2 id=\"equipment\">Equipment</h2>\n<ul>\n";
    for (const std::string& line : ReportEquipment(r)) out += "<li>" + Esc(line) + "</li>\n";
    out += "</ul>\n<h2 id=\"positions\">Positions</h2>\n<table id=\"positions-table\" "
           "border=\"1\" cellspacing=\"0\" cellpadding=\"3\">\n" +
           Head({"Position", "Recording", "Date", "Cycles", "Tmid [s]"});
    for (const TReportPosition& p : r.Positions) {
        std::string date = p.Date;
        std::replace(date.begin(), date.end(), 'T', ' ');
        out += "<tr data-position=\"" + Esc(p.Label) + "\">" + TextCell(p.Label) +
               TextCell(p.Recording) + TextCell(date) +
               Cell("cycles", static_cast<double>(p.Results.Cycles),
                    std::to_string(p.Results.Cycles)) +
               Cell("tmid_s", p.Tmid, ReportNumber(p.Tmid)) + "</tr>\n";
    }
    out += "</table>\n";
    if (!r.LeftOut.empty()) {
        out += "<p>Not averaged:</p>\n<ul>\n";
        for (const std::string& line : r.LeftOut) out += "<li>" + Esc(line) + "</li>\n";
        out += "</ul>\n";
    }
    out += AverageSection(r, source) + PositionTables(r) + DecaySection(r, source);
    return out + "</body></html>\n";
}

// The document of the PDF and the page images: the HTML with the graphs as
// the document's own resources, laid out on A4 pages.
struct PagedReport {
    QTextDocument doc;
    explicit PagedReport(const TSessionReport& report) {
        std::vector<std::pair<std::string, QImage>> images;
        const std::string html =
            BuildHtml(report, [&images](const QImage& image, const std::string& name) {
                images.emplace_back(name, image);
                return name;
            });
        doc.setDocumentMargin(kMargin);
        doc.setPageSize(kPage);
        doc.setHtml(QString::fromStdString(html));
        for (const auto& [name, image] : images)
            doc.addResource(QTextDocument::ImageResource, QUrl(QString::fromStdString(name)),
                            image);
    }
};

} // namespace

std::string ReportHtml(const TSessionReport& report) {
    EnsureGuiApplication();
    return BuildHtml(report, [](const QImage& image, const std::string&) {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        return "data:image/png;base64," + png.toBase64().toStdString();
    });
}

void WriteReport(const TSessionReport& report, const std::string& path) {
    EnsureGuiApplication();
    std::string extension = std::filesystem::path(path).extension().string();
    extension = LowerCaseAnsi(extension);
    std::string error;
    if (extension == ".html" || extension == ".htm") {
        if (!WriteFileAtomically(path, ReportHtml(report), &error)) throw EReportError(error);
        return;
    }
    if (extension != ".pdf") throw EReportError(path + ": a report is written as .html or .pdf");
    PagedReport paged(report);
    // Laid out in memory first: a PDF that fails half-way must not replace the old file.
    QByteArray pdf;
    {
        QBuffer buffer(&pdf);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        writer.setResolution(96);
        writer.setCreator("Ravlon");
        writer.setTitle(QString::fromStdString(report.Title));
        paged.doc.print(&writer);
    }
    if (pdf.isEmpty()) throw EReportError(path + ": the PDF writer produced nothing");
    if (!WriteFileAtomically(
            path, std::string_view(pdf.constData(), static_cast<size_t>(pdf.size())), &error))
        throw EReportError(error);
}

QImage ReportPageImage(const TSessionReport& report, int page, int width) {
    EnsureGuiApplication();
    PagedReport paged(report);
    if (page < 0 || page >= paged.doc.pageCount() || width <= 0) return {};
    const double scale = width / kPage.width();
    QImage image(width, static_cast<int>(std::lround(kPage.height() * scale)),
                 QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(scale, scale);
    p.translate(0, -page * kPage.height());
    paged.doc.drawContents(&p, QRectF(0, page * kPage.height(), kPage.width(), kPage.height()));
    return image;
}

} // namespace ravlon
