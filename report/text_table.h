// A table of text in aligned columns, for a terminal or a text file.
//
// Widths count characters, not bytes: an umlaut in UTF-8 is two bytes but
// takes one column. Columns are separated by two blanks; trailing blanks are
// left off each line.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace mrp::report {

enum class Align { Left, Right };

/// The columns a UTF-8 text takes: its characters (every byte that does not
/// continue a multi-byte sequence).
std::size_t displayWidth(std::string_view text) noexcept;

class TextTable {
 public:
  /// A table with one column per heading, aligned as `alignments` says.
  TextTable(std::vector<std::string> headings, std::vector<Align> alignments);

  /// Adds a row; missing cells are empty, surplus cells are dropped.
  void addRow(std::vector<std::string> cells);
  /// Adds a rule like the one under the headings.
  void addRule();

  /// Writes the headings, a rule under each heading and the rows.
  void write(std::ostream& out) const;

 private:
  void writeLine(std::ostream& out, const std::vector<std::string>& cells) const;

  std::vector<std::string> headings_;
  std::vector<Align> alignments_;
  std::vector<std::vector<std::string>> rows_;  // an empty row stands for a rule
  std::vector<std::size_t> widths_;
};

}  // namespace mrp::report
