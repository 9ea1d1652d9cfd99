#include "report/plan_svg.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/text_encoding.h"
#include "report/chart_scale.h"
#include "report/plan_table.h"

namespace mrp::report {
namespace {

// The layout in pixels: the plot area and the margins for title, legend and
// the labels of both axes.
constexpr double kWidth = 960.0;
constexpr double kHeight = 440.0;
constexpr double kPlotLeft = 70.0;
constexpr double kPlotRight = 940.0;
constexpr double kPlotTop = 76.0;
constexpr double kPlotBottom = 350.0;
constexpr double kLabelSpacing = 22.0;  // between date labels, written at 45 degrees

constexpr const char* kStyle =
    "text{font-family:sans-serif;font-size:11px;fill:#333}"
    ".title{font-size:17px;font-weight:bold}.subtitle{font-size:12px;fill:#555}"
    ".due,.due-key{fill:#9fb3c8}.lot,.lot-key{fill:#e8833a}"
    ".stock,.stock-key{fill:none;stroke:#1f5f99;stroke-width:1.5}"
    ".grid{stroke:#e4e4e4}.axis{stroke:#555}";

/// A coordinate or length to a hundredth of a pixel, without trailing zeros.
std::string px(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", value);
  std::string out = text;
  out.erase(out.find_last_not_of('0') + 1);
  if (out.back() == '.') out.pop_back();
  return out == "-0" ? "0" : out;
}

std::string replaceAll(std::string text, std::string_view from, std::string_view to) {
  for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

class PlanChart {
 public:
  PlanChart(std::ostream& out, const PlanReport& report)
      : out_(out),
        report_(report),
        axis_(axisFor(report)),
        slot_((kPlotRight - kPlotLeft) /
              static_cast<double>(std::max<std::size_t>(report.periods.size(), 1))) {}

  void write() {
    writeHead();
    writeQuantityAxis();
    writeTimeAxis();
    writeDueBars();
    writeStockLine();
    writeLotBars();
    writeLegend();
    out_ << "</svg>\n";
  }

 private:
  static QuantityAxis axisFor(const PlanReport& report) {
    double least = 0.0;
    double most = 0.0;
    for (const PeriodLine& p : report.periods) {
      const auto stock = static_cast<double>(p.stockCarried);
      least = std::min({least, static_cast<double>(p.due), static_cast<double>(p.lot), stock});
      most = std::max({most, static_cast<double>(p.due), static_cast<double>(p.lot), stock});
    }
    return quantityAxis(least, most);
  }

  double y(double quantity) const {
    return kPlotBottom - (quantity - axis_.low) / (axis_.high - axis_.low) * (kPlotBottom - kPlotTop);
  }
  double slotLeft(std::size_t index) const { return kPlotLeft + static_cast<double>(index) * slot_; }

  std::string title() const {
    return "Bedarf " + report_.demandKey + " \xE2\x80\x93 Gesamtkosten " + formatCost(report_.totalCost);
  }

  /// "12 Perioden zu 1 Tag, 6 Lose", "1 Periode zu 7 Tagen, 1 Los".
  std::string subtitle() const {
    const std::size_t periods = report_.periods.size();
    return std::to_string(periods) + (periods == 1 ? " Periode zu " : " Perioden zu ") +
           formatPeriodLengthDative(report_.periodLength) + ", " + std::to_string(report_.lotCount) +
           (report_.lotCount == 1 ? " Los" : " Lose");
  }

  void writeHead() {
    out_ << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << px(kWidth) << "\" height=\""
         << px(kHeight) << "\" viewBox=\"0 0 " << px(kWidth) << ' ' << px(kHeight) << "\">\n"
         << "<title>" << xmlText(title()) << "</title>\n"
         << "<style>" << kStyle << "</style>\n"
         << "<rect width=\"100%\" height=\"100%\" fill=\"#fff\"/>\n"
         << "<text class=\"title\" x=\"" << px(kPlotLeft) << "\" y=\"26\">" << xmlText(title()) << "</text>\n"
         << "<text class=\"subtitle\" x=\"" << px(kPlotLeft) << "\" y=\"46\">" << subtitle() << "</text>\n";
  }

  void writeQuantityAxis() {
    out_ << "<g>\n";
    const auto steps = static_cast<long long>(std::llround((axis_.high - axis_.low) / axis_.step));
    for (long long s = 0; s <= steps; ++s) {
      const double value = axis_.low + static_cast<double>(s) * axis_.step;
      const std::string at = px(y(value));
      out_ << "<line class=\"grid\" x1=\"" << px(kPlotLeft) << "\" y1=\"" << at << "\" x2=\""
           << px(kPlotRight) << "\" y2=\"" << at << "\"/>"
           << "<text x=\"" << px(kPlotLeft - 6) << "\" y=\"" << px(y(value) + 4) << "\" text-anchor=\"end\">"
           << px(value) << "</text>\n";
    }
    out_ << "<line class=\"axis\" x1=\"" << px(kPlotLeft) << "\" y1=\"" << px(kPlotTop) << "\" x2=\""
         << px(kPlotLeft) << "\" y2=\"" << px(kPlotBottom) << "\"/>\n"
         << "<text transform=\"translate(18 " << px((kPlotTop + kPlotBottom) / 2)
         << ") rotate(-90)\" text-anchor=\"middle\">Menge</text>\n</g>\n";
  }

  void writeTimeAxis() {
    const std::string zero = px(y(0.0));
    out_ << "<g>\n<line class=\"axis\" x1=\"" << px(kPlotLeft) << "\" y1=\"" << zero << "\" x2=\""
         << px(kPlotRight) << "\" y2=\"" << zero << "\"/>\n";
    if (report_.periods.empty()) {
      out_ << "<text x=\"" << px((kPlotLeft + kPlotRight) / 2) << "\" y=\""
           << px((kPlotTop + kPlotBottom) / 2) << "\" text-anchor=\"middle\">keine Perioden</text>\n";
    }
    const std::size_t every = labelEvery(slot_, kLabelSpacing);
    for (std::size_t i = 0; i < report_.periods.size(); i += every) {
      const std::string x = px(slotLeft(i) + slot_ / 2);
      const std::string top = px(kPlotBottom + 14);
      out_ << "<line class=\"axis\" x1=\"" << x << "\" y1=\"" << px(kPlotBottom) << "\" x2=\"" << x
           << "\" y2=\"" << px(kPlotBottom + 4) << "\"/>"
           << "<text x=\"" << x << "\" y=\"" << top << "\" transform=\"rotate(-45 " << x << ' ' << top
           << ")\" text-anchor=\"end\">" << formatStart(report_.periods[i].start, StartPrecision::Day)
           << "</text>\n";
    }
    out_ << "</g>\n";
  }

  void writeBar(const char* kind, double left, double value) {
    const double top = y(std::max(value, 0.0));
    out_ << "<rect class=\"" << kind << "\" x=\"" << px(left) << "\" y=\"" << px(top) << "\" width=\""
         << px(barWidth()) << "\" height=\"" << px(y(std::min(value, 0.0)) - top) << "\"/>\n";
  }

  /// Two fifths of a period's slot, but a pixel at least, so that a lot stays
  /// visible among thousands of periods.
  double barWidth() const { return std::max(slot_ * 0.4, 1.0); }

  /// The quantity due in the left half of each period's slot.
  void writeDueBars() {
    out_ << "<g>\n";
    for (std::size_t i = 0; i < report_.periods.size(); ++i) {
      writeBar("due", slotLeft(i) + slot_ * 0.1, report_.periods[i].due);
    }
    out_ << "</g>\n";
  }

  /// The lots in the right half of their period's slot, over everything else.
  void writeLotBars() {
    out_ << "<g>\n";
    for (std::size_t i = 0; i < report_.periods.size(); ++i) {
      if (report_.periods[i].lot != 0) writeBar("lot", slotLeft(i) + slot_ * 0.5, report_.periods[i].lot);
    }
    out_ << "</g>\n";
  }

  /// The stock carried out of each period, level across the period's slot;
  /// a finer line where periods are only a few pixels wide.
  void writeStockLine() {
    if (report_.periods.empty()) return;
    out_ << "<polyline class=\"stock\"" << (slot_ < 4.0 ? " style=\"stroke-width:0.6\"" : "") << " points=\"";
    for (std::size_t i = 0; i < report_.periods.size(); ++i) {
      const std::string level = px(y(static_cast<double>(report_.periods[i].stockCarried)));
      out_ << (i ? " " : "") << px(slotLeft(i)) << ',' << level << ' ' << px(slotLeft(i + 1)) << ',' << level;
    }
    out_ << "\"/>\n";
  }

  void writeLegend() {
    out_ << "<g transform=\"translate(" << px(kPlotRight - 222) << " 38)\">"
         << "<rect class=\"due-key\" width=\"12\" height=\"12\"/><text x=\"17\" y=\"10\">Fällig</text>"
         << "<rect class=\"lot-key\" x=\"80\" width=\"12\" height=\"12\"/><text x=\"97\" y=\"10\">Los</text>"
         << "<line class=\"stock-key\" x1=\"150\" y1=\"6\" x2=\"172\" y2=\"6\"/>"
         << "<text x=\"177\" y=\"10\">Bestand</text></g>\n";
  }

  std::ostream& out_;
  const PlanReport& report_;
  QuantityAxis axis_;
  double slot_;
};

}  // namespace

std::string xmlText(std::string_view text) {
  std::string clean = withoutControlCharacters(utf16ToUtf8(utf8ToUtf16(text)));
  clean = replaceAll(std::move(clean), "\xEF\xBF\xBE", "\xEF\xBF\xBD");
  clean = replaceAll(std::move(clean), "\xEF\xBF\xBF", "\xEF\xBF\xBD");
  std::string out;
  out.reserve(clean.size());
  for (const char c : clean) {
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
      case '\'':
        out += "&apos;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

void writePlanSvg(std::ostream& out, const PlanReport& report) { PlanChart(out, report).write(); }

}  // namespace mrp::report
