// Writes the sample data of the light maps, the vehicle shadows, the volume fog and the cloud layer
// into a data folder.
//
//   lightdata <data folder>
#include "../DataFiles.h"
#include "LightData.h"

int main(int argc, char** argv) { return datafiles::writeAll("lightdata", argc, argv, lightdata::files()); }
