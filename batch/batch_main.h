// lotsizing-batch: plans many demands of one planning database.
#pragma once

namespace mrp::batch {

/// Runs the program; returns its exit status: 0 when every demand was
/// planned, 1 when any was refused or failed (or was left by an interruption),
/// 2 for a usage error or when no connection could be opened at all.
int runLotSizingBatch(int argc, char** argv);

}  // namespace mrp::batch
