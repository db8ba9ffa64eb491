// Volume fog and the cloud layer: banks of fog and cloud puffs over the landscape. A few base
// models (each a puff) are placed many times across a world of 76800 x 76800 units; every bank
// drifts slowly with time, wraps around the world's edges and fades out with distance from the
// camera and near the edges. A 256 x 256 cloud-level map gives the layer's height pattern.
//
// The level names its volume-model file by the key "VolumeData" of section "VOLUMEMODELS"
// (RegisterVolumeIniKeys); lines of at most 512 characters, numbers apart by blanks or commas:
//
//   nummodels 1
//   [model]
//   name data\models\volumefog\puff.rsm
//   vertices 2                      the puffs of one bank ...
//   instances 3                     ... and the banks
//   [data]
//   pos 0 0 0                       a puff, from the bank's position
//   pos 100 0 50
//   [end]
//   [instances]
//   pos 1000 1000 500               a bank
//   random 2 0 0 400 76800 76800 600   banks at random in the box, 4000 apart
//   [end]
//   [end]
//
// A puff model's material has the material id "CloudPart": its texture factor's alpha fades the
// puffs. Level load: LoadCloudLevel, LoadVolumeModels; per viewport UpdateVolumeFog; level end
// ReleaseVolumeFog. Main thread only.
#pragma once

#include "platform/win32.h"
#include "utility/VectorMath.h"

#include <cstdint>

class CIniManager;
class CModel;
class CModelInst;

struct VolumeModel {
    CModel* BaseModel;
    CModelInst* BaseModelInst;
    DWORD CloudPart;  // the puffs' material (state block), SB_NONE when the library has none
    DWORD Scroller;   // its stage "Scroller", 0xFFFFFFFF when none
    uint32_t Vertices;
    Vector3* Points;  // the puffs of one bank, from the bank's position
    uint32_t Instances;
    Vector3* Positions;  // of the banks
    bool Complete;       // every part read: drawn
};

// The world the banks drift across, and what the update keeps to.
const float VOLUME_WORLD_SIZE = 76800.0f;
const uint32_t MAX_VOLUME_COUNT = 65536;
const uint32_t VOLUME_LINE_SIZE = 512;

// Binds the key to the name GetVolumeDataFile gives, emptied first: the level load registers it on
// the manager that reads the level's settings file.
bool RegisterVolumeIniKeys(CIniManager* pIni);
// The file the level names ("" when none).
const char* GetVolumeDataFile();
// Reads the file (the models of an earlier one released first); false when it cannot be opened.
bool LoadVolumeModels(const char* fileName);
// "%smodels\volumefog\cloudlevel.tga" under the data path; the image must be 256 x 256. Records
// the time the drift starts from.
bool LoadCloudLevel();
// Moves the banks by the time since the last call and draws those near the camera.
void UpdateVolumeFog();
void ReleaseVolumeFog();

// For inspection: the models read (-1 before "nummodels"), one of them, the cloud-level map.
int32_t GetNumVolumeModels();
const VolumeModel* GetVolumeModel(int32_t index);
const uint8_t* GetCloudLevel();

// How one puff is drawn: by default the instance is placed at the position and drawn; a test or a
// tool may stand in its own (null: the default again).
typedef void (*VolumePuffRenderer)(CModelInst* pInstance, const Vector3& position);
void SetVolumePuffRenderer(VolumePuffRenderer renderer);
