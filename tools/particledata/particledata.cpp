// Writes the sample data of the particle effects into a data folder.
//
//   particledata <data folder>
#include "../DataFiles.h"
#include "ParticleData.h"

int main(int argc, char** argv) { return datafiles::writeAll("particledata", argc, argv, particledata::files()); }
