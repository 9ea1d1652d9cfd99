// Reading a batch log back for --resume: which demands the batches of the
// current chain have done.
//
// A chain is the latest batch that is not a resume, with the resumes after it:
// a demand is done when any batch of the chain planned or refused it, so that a
// resume after an interrupted resume goes on where that one stopped, and a
// resume after a complete chain plans nothing. Dry runs store nothing and count
// for nothing. The log is read by its structure (time, entry kind, key), never
// by searching what a message says.
#pragma once

#include <cstddef>
#include <istream>
#include <set>
#include <string>
#include <vector>

namespace mrp::batch {

/// The keys that the current chain of batches in a log (text or JSON) planned
/// or refused: what a resumed batch leaves out. A line that is no entry of the
/// log (cut, malformed, junk) counts for nothing; its number (from 1) is added
/// to `malformedLines`.
std::set<std::string> keysDoneInChain(std::istream& log, std::vector<std::size_t>& malformedLines);

}  // namespace mrp::batch
