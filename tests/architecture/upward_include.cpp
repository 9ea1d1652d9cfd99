// Compiled by the layers check of tests/CMakeLists.txt: seen from db/, the
// demand layer is above, and this include must not compile; seen from
// lotsizing/, it must.
#include "demand/loaded_demand.h"
