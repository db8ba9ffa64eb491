// Writes the sample data's clumps into a data folder (DemoClumps.h and GroveClumps.h say which).
//
//   democlumps <data folder>
#include "../DataFiles.h"
#include "DemoClumps.h"
#include "GroveClumps.h"

int main(int argc, char** argv)
{
    datafiles::Files files = democlumps::files();
    for (auto& file : groveclumps::files()) files.push_back(std::move(file));
    return datafiles::writeAll("democlumps", argc, argv, files);
}
