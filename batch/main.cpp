#include "batch/batch_main.h"

int main(int argc, char** argv) { return mrp::batch::runLotSizingBatch(argc, argv); }
