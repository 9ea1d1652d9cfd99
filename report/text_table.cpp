#include "report/text_table.h"

#include <algorithm>

namespace mrp::report {

std::size_t displayWidth(std::string_view text) noexcept {
  return static_cast<std::size_t>(std::count_if(
      text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

TextTable::TextTable(std::vector<std::string> headings, std::vector<Align> alignments)
    : headings_(std::move(headings)), alignments_(std::move(alignments)) {
  alignments_.resize(headings_.size(), Align::Left);
  for (const std::string& heading : headings_) widths_.push_back(displayWidth(heading));
}

void TextTable::addRow(std::vector<std::string> cells) {
  cells.resize(headings_.size());
  for (std::size_t c = 0; c < cells.size(); ++c) widths_[c] = std::max(widths_[c], displayWidth(cells[c]));
  rows_.push_back(std::move(cells));
}

void TextTable::addRule() { rows_.emplace_back(); }

void TextTable::write(std::ostream& out) const {
  std::vector<std::string> rule;
  for (std::size_t width : widths_) rule.emplace_back(width, '-');
  writeLine(out, headings_);
  writeLine(out, rule);
  for (const auto& row : rows_) writeLine(out, row.empty() ? rule : row);
}

void TextTable::writeLine(std::ostream& out, const std::vector<std::string>& cells) const {
  std::string line;
  for (std::size_t c = 0; c < cells.size(); ++c) {
    const std::string padding(widths_[c] - displayWidth(cells[c]), ' ');
    if (c > 0) line += "  ";
    line += alignments_[c] == Align::Right ? padding + cells[c] : cells[c] + padding;
  }
  line.erase(line.find_last_not_of(' ') + 1);
  out << line << '\n';
}

}  // namespace mrp::report
