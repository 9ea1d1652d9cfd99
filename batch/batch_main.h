// lotsizing-batch: plans many demands of one planning database.
#pragma once

namespace mrp::batch {

/// Runs the program; returns its exit status: 0 when every demand was
/// planned, 1 when any was refused or failed (or was left by an interruption,
/// or a line of the keys file was rejected), 2 for a usage error or when the
/// batch could not start, 3 when the log could not be written, 4 when an
/// unexpected failure ended it. Throws nothing.
int runLotSizingBatch(int argc, char** argv);

}  // namespace mrp::batch
