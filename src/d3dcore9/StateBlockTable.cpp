// The state-block table: lowest free slot, blocks shared by material name, textures and colours,
// and the recorder that fills a material's state lists.
#include "d3dcore9/D3DCore.h"
#include "d3dcore9/MaterialTables.h"
#include "utility/Assert.h"
#include "utility/RunLog.h"

#include <strings.h>

#include <bit>
#include <cstring>

namespace {

bool sameColour(const float stored[3], const float given[3])
{
    return stored[0] == -1.0f || (stored[0] == given[0] && stored[1] == given[1] && stored[2] == given[2]);
}

// Names that strcasecmp finds equal hash alike: only A to Z fold, as in the C locale. Eight bytes at
// a time: a byte at a time the hash would cost more than the rest of a look-up.
DWORD foldedHash(const char* name)
{
    const size_t length = std::strlen(name);
    uint64_t hash = length;
    auto mix = [&hash](uint64_t w) {
        const uint64_t ONES = 0x0101010101010101u, HIGH = 0x8080808080808080u;
        const uint64_t low = w & ~HIGH;
        const uint64_t upper = (low + (0x80 - 'A') * ONES) & ~(low + (0x80 - 'Z' - 1) * ONES) & ~w & HIGH;
        hash = (hash ^ (w | upper >> 2)) * 0x9E3779B97F4A7C15u;
        hash ^= hash >> 29;
    };
    size_t at = 0;
    for (; at + 8 <= length; at += 8) {
        uint64_t w;
        std::memcpy(&w, name + at, sizeof w);
        mix(w);
    }
    // The rest in a register: a short copy through memory would stall the word read after it.
    uint64_t rest = 0;
    for (size_t k = 0; at + k < length; ++k) rest |= uint64_t(static_cast<unsigned char>(name[at + k])) << (8 * k);
    if (at < length) mix(rest);
    return static_cast<DWORD>(hash ^ hash >> 32);
}

uint64_t bitOf(DWORD i) { return uint64_t(1) << (i % 64); }

}  // namespace

StateBlock::StateBlock()
{
    for (DWORD& d : DiskTexture) d = SB_NONE;
    for (auto& pass : HWTexture)
        for (DWORD& h : pass) h = SB_NONE;
}

StateBlockTable::StateBlockTable() { ResetNames(); }

StateBlockTable::~StateBlockTable() { FreeMaterials(); }

void StateBlockTable::FreeMaterials()
{
    for (auto& block : StateBlock) {
        if (block.GMaterial) block.GMaterial->Release();
        block.GMaterial = nullptr;
    }
    ResetNames();
}

// ---- Blocks by material name ----

void StateBlockTable::ResetNames()
{
    for (DWORD& first : NameBucket) first = SB_NONE;
    for (uint64_t& bits : Waiting) bits = 0;
    NumWaiting = 0;
    for (DWORD i = 0; i < MAXSTATEBLOCKS; ++i) {
        Filed[i] = false;
        if (StateBlock[i].RefCount != 0) Wait(i);
    }
}

void StateBlockTable::File(DWORD i)
{
    NameHash[i] = foldedHash(StateBlock[i].GMaterial->Name);
    DWORD* link = &NameBucket[NameHash[i] % NAME_BUCKETS];
    while (*link != SB_NONE && *link < i) link = &NameNext[*link];
    NameNext[i] = *link;
    *link = i;
    Filed[i] = true;
}

void StateBlockTable::Wait(DWORD i)
{
    Waiting[i / 64] |= bitOf(i);
    ++NumWaiting;
}

void StateBlockTable::StopWaiting(DWORD i)
{
    if (!(Waiting[i / 64] & bitOf(i))) return;
    Waiting[i / 64] &= ~bitOf(i);
    --NumWaiting;
}

void StateBlockTable::Unfile(DWORD i)
{
    StopWaiting(i);
    if (!Filed[i]) return;
    DWORD* link = &NameBucket[NameHash[i] % NAME_BUCKETS];
    while (*link != i) link = &NameNext[*link];
    *link = NameNext[i];
    Filed[i] = false;
}

void StateBlockTable::FileNewMaterials()
{
    for (DWORD w = 0; NumWaiting && w < MAXSTATEBLOCKS / 64; ++w)
        for (uint64_t bits = Waiting[w]; bits; bits &= bits - 1) {
            const DWORD i = w * 64 + static_cast<DWORD>(std::countr_zero(bits));
            const struct StateBlock& sb = StateBlock[i];
            if (!sb.GMaterial || !sb.GMaterial->Name) continue;
            StopWaiting(i);
            File(i);
        }
}

bool StateBlockTable::HasName(DWORD i, const char* name) const
{
    const struct StateBlock& sb = StateBlock[i];
    return i >= FirstUsed && i <= LastUsed && sb.RefCount != 0 && sb.GMaterial && sb.GMaterial->Name &&
           strcasecmp(sb.GMaterial->Name, name) == 0;
}

DWORD StateBlockTable::FindSBByName(const char* name)
{
    if (!name) return SB_NONE;
    FileNewMaterials();
    const DWORD hash = foldedHash(name);
    for (DWORD i = NameBucket[hash % NAME_BUCKETS]; i != SB_NONE; i = NameNext[i])
        if (NameHash[i] == hash && HasName(i, name)) return i;
    return SB_NONE;
}

StateBlock* StateBlockTable::GetSB(DWORD handle)
{
    ASSERT(handle != 0xffffffff);
    // Handles come from files through the material library: anything past the table is none.
    if (handle >= MAXSTATEBLOCKS || StateBlock[handle].RefCount == 0) return nullptr;
    return &StateBlock[handle];
}

DWORD StateBlockTable::HandleOf(const struct StateBlock* block) const
{
    if (block < StateBlock || block >= StateBlock + MAXSTATEBLOCKS) return SB_NONE;
    return static_cast<DWORD>(block - StateBlock);
}

bool StateBlockTable::CreateSB(const char* name, const TexNames& texNames, const float ambient[3],
                               const float diffuse[3], DWORD* handle)
{
    ASSERT(::D3DCore.DeviceActive);
    if (!VERIFY(name != NULL && handle != NULL)) return false;
    if (!VERIFY_MSG(texNames.TotalNames <= MAXSBTEXTURES, concatStrings("Too many textures for material ", name)))
        return false;
    char names[MAXSBTEXTURES][SB_TEXNAME_SIZE];
    for (DWORD i = 0; i < texNames.TotalNames; ++i) {
        const size_t n = strnlen(texNames.Name[i], SB_TEXNAME_SIZE - 1);
        std::memcpy(names[i], texNames.Name[i], n);
        names[i][n] = 0;
        ASSERT(strstr(names[i], "\\\\") == NULL);
    }

    // The blocks of the name in slot order: the first that matches is shared, and a new block takes the
    // material of the last.
    FileNewMaterials();
    const DWORD hash = foldedHash(name);
    struct GMaterial* shared = nullptr;
    for (DWORD i = NameBucket[hash % NAME_BUCKETS]; i != SB_NONE; i = NameNext[i]) {
        if (NameHash[i] != hash || !HasName(i, name)) continue;
        struct StateBlock& sb = StateBlock[i];
        shared = sb.GMaterial;
        bool match = sb.TexNames == texNames.TotalNames;
        for (DWORD t = 0; match && t < sb.TexNames; ++t) {
            const char* have = materialtables::DiskTextureName(sb.DiskTexture[t]);
            match = have && strcasecmp(have, names[t]) == 0;
        }
        if (match && sb.GMaterial->Lit) match = sameColour(sb.Ambient, ambient) && sameColour(sb.Diffuse, diffuse);
        if (match) {
            ++sb.RefCount;
            *handle = i;
            return true;
        }
    }

    if (!VERIFY(FirstFree < MAXSTATEBLOCKS) || !VERIFY(SlotsUsed < MAXSTATEBLOCKS)) return false;
    if (!VERIFY(StateBlock[FirstFree].RefCount == 0)) return false;
    const DWORD Handle = FirstFree;
    ++SlotsUsed;
    if (SlotsUsed == 1) {
        FirstFree = 1;
        FirstUsed = LastUsed = 0;
    } else {
        do ++FirstFree;
        while (FirstFree < MAXSTATEBLOCKS && StateBlock[FirstFree].RefCount != 0);
        if (Handle < FirstUsed) FirstUsed = Handle;
        if (Handle > LastUsed) LastUsed = Handle;
    }
    struct StateBlock& sb = StateBlock[Handle];
    TextureTable& textures = ::D3DCore.TextureTables;
    for (DWORD i = 0; i < texNames.TotalNames; ++i)
        if (!VERIFY_MSG(textures.AddDiskTexture(names[i], &sb.DiskTexture[i]), names[i])) sb.DiskTexture[i] = SB_NONE;
    sb.TexNames = texNames.TotalNames;
    sb.RefCount = 1;
    std::memcpy(sb.Ambient, ambient, sizeof(sb.Ambient));
    std::memcpy(sb.Diffuse, diffuse, sizeof(sb.Diffuse));
    sb.GMaterial = shared;
    if (shared) {
        shared->AddRef();
        File(Handle);
    } else {
        Wait(Handle);
    }
    *handle = Handle;
    return true;
}

bool StateBlockTable::ReleaseSB(DWORD Handle)
{
    ASSERT(::D3DCore.DeviceActive);
    if (!VERIFY(Handle != 0xffffffff) || !VERIFY(Handle < MAXSTATEBLOCKS) ||
        !VERIFY(StateBlock[Handle].RefCount != 0))
        return false;
    struct StateBlock& sb = StateBlock[Handle];
    if (--sb.RefCount > 0) return true;
    ::D3DCore.ForgetStateBlock(&sb);
    Unfile(Handle);
    if (sb.GMaterial) sb.GMaterial->Release();
    sb.GMaterial = nullptr;
    for (DWORD p = 0; p < MAXPASSES; ++p)
        for (DWORD s = 0; s < MAXSBSTAGES; ++s) {
            if (sb.HWTexture[p][s] != SB_NONE) ::D3DCore.TextureTables.ReleaseHWTexture(sb.HWTexture[p][s]);
            sb.HWTexture[p][s] = SB_NONE;
            sb.Texture[p][s] = nullptr;
        }
    for (DWORD& d : sb.DiskTexture) {
        if (d != SB_NONE) ::D3DCore.TextureTables.ReleaseDiskTexture(d);
        d = SB_NONE;
    }
    sb.TexNames = 0;
    if (--SlotsUsed == 0) {
        FirstUsed = MAXSTATEBLOCKS - 1;
        LastUsed = 0;
        FirstFree = 0;
        return true;
    }
    if (Handle < FirstFree) FirstFree = Handle;
    if (Handle == FirstUsed)
        while (FirstUsed < LastUsed && StateBlock[FirstUsed].RefCount == 0) ++FirstUsed;
    if (Handle == LastUsed)
        while (LastUsed > FirstUsed && StateBlock[LastUsed].RefCount == 0) --LastUsed;
    return true;
}

void StateBlockTable::ReleaseAll()
{
    for (DWORD i = 0; i < MAXSTATEBLOCKS; ++i)
        while (StateBlock[i].RefCount != 0) ReleaseSB(i);
}

bool StateBlockTable::HasMatID(DWORD i, const char* MatID) const
{
    const struct StateBlock& sb = StateBlock[i];
    return sb.RefCount != 0 && sb.GMaterial && sb.GMaterial->MatID && strcasecmp(sb.GMaterial->MatID, MatID) == 0;
}

DWORD StateBlockTable::FindSBByMatID(const char* MatID)
{
    for (DWORD i = FirstUsed; MatID && i <= LastUsed; ++i)
        if (HasMatID(i, MatID)) return i;
    return SB_NONE;
}

bool StateBlockTable::FindSBsByMatID(const char* MatID, DWORD* handles, DWORD arraySize, DWORD* found)
{
    DWORD count = 0;
    for (DWORD i = FirstUsed; MatID && i <= LastUsed; ++i) {
        if (!HasMatID(i, MatID)) continue;
        if (count == arraySize) {
            assertFailedMsg(concatStrings("Multiple materials with MatID:", MatID, " found, but not enough slots"),
                            "false", __FILE__, __LINE__);
            *found = count;
            return false;
        }
        handles[count++] = i;
    }
    *found = count;
    return true;
}

// ---- Recording ----

void StateBlockTable::BeginRecord(struct GMaterial* GM, StateList* list)
{
    ASSERT(::D3DCore.DeviceActive);
    if (!VERIFY(!RecordStarted)) return;
    if (!VERIFY(GM != NULL)) return;
    ASSERT(list->Objects == 0);
    RecordStarted = true;
    RecMaterial = GM;
    RecRenderStates = list;
}

void StateBlockTable::BeginRecordPass(struct GMaterial* GM, DWORD pass)
{
    if (!VERIFY(pass < MAXPASSES)) return;
    RecPass = pass;
    BeginRecord(GM, GM ? &GM->PassStates[pass] : nullptr);
}

void StateBlockTable::BeginRecordRestore(struct GMaterial* GM) { BeginRecord(GM, GM ? &GM->RestoreStates : nullptr); }

void StateBlockTable::RecordRenderState(DWORD state, DWORD value)
{
    if (!VERIFY(RecordStarted)) return;
    StateNode* node = new StateNode();
    node->Type = NODE_RENDERSTATE;
    node->State = state;
    node->Value = value;
    RecRenderStates->Append(node);
}

void StateBlockTable::RecordStageState(DWORD stage, DWORD state, DWORD value)
{
    if (!VERIFY(RecordStarted)) return;
    StateNode* node = new StateNode();
    node->Type = NODE_STAGESTATE;
    node->Stage = stage;
    node->State = state;
    node->Value = value;
    RecRenderStates->Append(node);
}

void StateBlockTable::EndRecord()
{
    if (!VERIFY(RecordStarted)) return;
    // A table of exactly 768 blocks is full, not overfull.
    ASSERT(SlotsUsed <= MAXSTATEBLOCKS);
    RecordStarted = false;
    RecMaterial = nullptr;
    RecRenderStates = nullptr;
}
