// Writes the sample data's clumps into a data folder (DemoClumps.h says which).
//
//   democlumps <data folder>
#include "../DataFiles.h"
#include "DemoClumps.h"

int main(int argc, char** argv) { return datafiles::writeAll("democlumps", argc, argv, democlumps::files()); }
