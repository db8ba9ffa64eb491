// The model every effect manager loads when it is made (data\sphere.rsm, the cull spheres' model),
// written into the working folder from the sample data's own description, with what reading it
// takes: the vertex-colour material it names and the render defaults that give the material's words
// their values, copied from the sample data. A benchmark that makes effect managers then times its
// subject, not a failed load and its message. Call it in the benchmark's private folder once the
// device is up and before the first effect manager is made.
#pragma once

#include "SampleModels.h"
#include "matcore9/MatCore.h"

#include <filesystem>
#include <fstream>

namespace bench {

inline bool prepareSphereModel(const std::filesystem::path& sampleData)
{
    namespace fs = std::filesystem;
    std::error_code error;
    fs::create_directories(fs::path("data") / "fallbackmaterials", error);
    if (error) return false;
    // A benchmark that brings up the whole façade has brought these along already.
    for (const char* name : {"renderdefault.txt", "fallbackmaterials/vc.mtl"}) {
        const fs::path to = fs::path("data") / name;
        if (!fs::exists(to) && !fs::copy_file(sampleData / name, to, error)) return false;
    }
    std::ofstream out(fs::path("data") / "sphere.rsm", std::ios::binary);
    out << modelwriter::model(samplemodels::sampleSphere());
    out.close();
    if (out.fail()) return false;
    // A device brought up without the material core has no name tables to read a material with.
    if (!MatCore.Initialised) MatCore.InitRenderStates();
    return true;
}

}  // namespace bench
