// Writes the sample data's models into a data folder (SampleModels.h says which).
//
//   samplemodels <data folder>
#include "../DataFiles.h"
#include "SampleModels.h"

int main(int argc, char** argv) { return datafiles::writeAll("samplemodels", argc, argv, samplemodels::files()); }
