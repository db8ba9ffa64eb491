// The model files the sample kinds place, as placeholders of one dummy element written into a
// folder (the test's working folder).
#pragma once

#include "ModelWriter.h"
#include "TestSupport.h"

#include <string>

inline void writeSampleModelFiles(const testsupport::TempDir& dir)
{
    modelwriter::Model placeholder;
    placeholder.Lods.push_back({0.0f, modelwriter::Element("root")});
    for (const char* name : {"data/models/dressing/bullet/bullet.rsm", "models/sphere.rsm", "data/dumb_test_object.rsm"})
        dir.write(name, modelwriter::model(placeholder));
}
