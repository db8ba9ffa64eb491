// A test-only effect kind "TESTEFFECT" that logs what is asked of it. Keys besides the common ones:
// "Type" (0 particle system, 2 trail), "Lifetime" (updates before its update ends it; 0 never),
// "NoBounds" 1, "Fail" 1 (the reader fails after making its definition). Its render sets the
// texture factor to 0xE0 + pass on the device.
#pragma once

#include <string>
#include <vector>

class CEffect;

// "create name", "update name", "render name pass", "pause name", "unpause name", "trigger name",
// "delete name", in order.
std::vector<std::string>& effectLog();
std::vector<std::string> logged(const std::string& prefix);
// The effects drawn, in order.
std::vector<const CEffect*>& renderedEffects();
// The instance name of a test effect; "multi" for any other.
std::string testEffectName(const CEffect* pEffect);
// Installs the kind and clears the logs; removeTestKind takes it away.
void installTestKind();
void removeTestKind();
