#include "weapons/WeaponDescription.h"

#include "utility/Assert.h"
#include "utility/RunLog.h"
#include "winfile/File.h"

#include <new>

void WeaponDescription::FireAtObject(const Vector3&, const Vector3&) {}

void WeaponDescription::Update(int) {}

namespace {
CreateWeaponHook createHook = nullptr;

// Whether the whole file can be read: the definition a weapon will be made from. *error gets the
// code of an open that failed.
bool readable(const char* fileName, DWORD* error)
{
    CFile file;
    *error = ERROR_SUCCESS;
    if (!file.Open(fileName, FILE_MODE_READ)) {
        *error = file.LastError();
        return false;
    }
    uint8_t block[4096];
    uint32_t left = file.GetSize(), done = 0;
    while (left > 0) {
        const uint32_t want = left < sizeof block ? left : static_cast<uint32_t>(sizeof block);
        if (!file.Read(block, want, &done) || done != want) break;
        left -= want;
    }
    file.Close();
    return left == 0;
}
}  // namespace

void SetCreateWeaponHook(CreateWeaponHook hook) { createHook = hook; }

WeaponDescription* CreateWeapon(const char* fileName, int owned, int flags)
{
    if (createHook) return createHook(fileName, owned, flags);
    if (!VERIFY(fileName)) return nullptr;
    // The definition is a file of its own, whichever file names it.
    ReadingFile reading(fileName);
    // Every owner of a weapon of that file would say the same: the first says it.
    if (fileFailedThisRun(fileName)) return nullptr;
    DWORD error = ERROR_SUCCESS;
    if (!readable(fileName, &error)) {
        noteFileFailure(fileName);
        const std::string text =
            openFailureText(fileName, error, concatStrings("Failed to read weapon definition file ", fileName));
        assertFailedMsg(text.c_str(), "0", __FILE__, __LINE__);
        return nullptr;
    }
    return new (std::nothrow) WeaponDescription;
}
