#include "report/report_main.h"

int main(int argc, char** argv) { return mrp::report::runLotSizingReport(argc, argv); }
