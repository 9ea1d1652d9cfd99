#include "driver/run.h"

int main(int argc, char** argv) { return mrp::runLotSizing(argc, argv); }
