// Saved level states: what the next mission of a chapter inherits from the last. The file is block
// text deflated in place: one block per named object that has something to remember, then the
// wrecks, then the names of the objects deleted (each tracked deletion, in order).
#include "gameobjects/GameObjectManager.h"

#include "ai/Events.h"
#include "ai/WreckMgr.h"
#include "platform/win32.h"
#include "utility/Assert.h"
#include "utility/ParamBlock.h"
#include "utility/RunLog.h"
#include "utility/TextChars.h"
#include "winfile/Compress.h"
#include "winfile/File.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace {

const char* const DELETION_LIST = "DeletionList";
const char* const WRECKS = "Wrecks";
const char* const TEMP_STATE_FILE = "TempState.txt";
const int MAX_STATE_NESTING = 64;
const uint32_t MAX_FIFO_ITEM = 255;
// The names left out of one save are reported together, up to this much text.
const size_t MAX_LEFT_OUT_TEXT = 200;

struct StatePath {
    char text[64];
    StatePath(int chapter, int mission)
    {
        snprintf(text, sizeof text, "data\\savedstates\\c%02dm%d.pst", chapter, mission);
    }
};

// A name the reader gives back unchanged as a block or entry name: a longer one would be cut, one
// with a blank split, one with a brace would unbalance the file.
bool readsBackAsItself(const char* pName)
{
    const size_t length = strlen(pName);
    const char first = pName[0];
    if (length == 0 || length > CParameter::MAX_NAME) return false;
    if (!((first >= 'a' && first <= 'z') || (first >= 'A' && first <= 'Z') || (first >= '0' && first <= '9') ||
          first == '_'))
        return false;
    for (const char* p = pName; *p; ++p)
        if (isBlank(*p) || *p == '{' || *p == '}') return false;
    return true;
}

// Whether a scanned block text is the block of exactly that name.
bool isBlockNamed(const char* pText, const char* pName)
{
    const size_t length = strlen(pName);
    return strncmp(pText, pName, length) == 0 && isBlank(pText[length]);
}

// The objects of a list in order; the list's cursor is left past its end, as every walk leaves it.
std::vector<CGameObject*> listed(llist* pList)
{
    std::vector<CGameObject*> out;
    pList->GotoHead();
    for (llistElement* e = pList->GetCurrentElement(); e; e = e->next) out.push_back(static_cast<CGameObject*>(e->data));
    pList->GotoTail();
    if (pList->HasCurrent()) pList->GotoNext();
    return out;
}

void pushFront(blockList& list, CParamBlock* pBlock)
{
    list.pHead = new TPtrNode<CParamBlock>{pBlock, list.pHead};
    ++list.count;
}

// The names a save leaves out, for one report.
struct LeftOut {
    std::string names;
    int count = 0;
    void add(const char* pName)
    {
        if (count++ == 0)
            names = pName;
        else if (names.size() < MAX_LEFT_OUT_TEXT)
            (names += ", ") += pName;
    }
    void report() const
    {
        if (count == 0) return;
        assertFailedMsg(concatStrings("Names that cannot be read back left out of the saved state: ", names.c_str()),
                        "readsBackAsItself(pName)", __FILE__, __LINE__);
    }
};

// The inflated state as text; null when it cannot be read or does not scan as blocks.
std::unique_ptr<char[]> readStateText(const char* path)
{
    CFile file;
    if (!file.Open(TEMP_STATE_FILE, FILE_MODE_READ)) return nullptr;
    std::unique_ptr<char[]> text = readWholeFile(file, nullptr);
    file.Close();
    if (text && blockTextScansCleanly(text.get(), MAX_STATE_NESTING) && !strcasestr(text.get(), "#include"))
        return text;
    assertFailedMsg(concatStrings("Saved state ", path, " is damaged and was not applied"), "0", __FILE__, __LINE__);
    return nullptr;
}

CParamBlock* parseText(const char* pText)
{
    CParamBlock* pBlock = nullptr;
    return parseBlock(pText, &pBlock, 0, MAX_STATE_NESTING) ? pBlock : nullptr;
}

}  // namespace

bool CGameObjectManager::saveState(int chapter, int mission)
{
    ASSERT_MSG(deletionTrackingEnabled, "Can't reliably save state without deletion tracking");
    const StatePath path(chapter, mission);
    LeftOut leftOut;
    blockList blocks;

    CParamBlock* pDeletions = new CParamBlock(DELETION_LIST);
    char name[MAX_FIFO_ITEM + 1];
    while (d_deletionTracking.getNumItems() > 0) {
        uint32_t size = MAX_FIFO_ITEM;
        if (!d_deletionTracking.pop(name, size)) {
            assertFailed("d_deletionTracking.pop( name, size )", __FILE__, __LINE__);
            d_deletionTracking.reset();
            break;
        }
        name[size] = 0;
        if (readsBackAsItself(name))
            pDeletions->addString(name, "");
        else
            leftOut.add(name);
    }
    pushFront(blocks, pDeletions);

    if (CParamBlock* pWrecks = CWreckMgr::Instance()->saveWrecks()) {
        pWrecks->setName(WRECKS);
        pushFront(blocks, pWrecks);
    }

    for (llist* pList : {activeObjects, scriptObjects, partialObjects}) {
        for (CGameObject* pObject : listed(pList)) {
            if (!pObject) {
                assertFailed("pObject", __FILE__, __LINE__);
                continue;
            }
            const char* pName = pObject->getInstanceName();
            if (!pName || !pName[0]) continue;
            CParamBlock* pBlock = pObject->saveState();
            if (!pBlock) continue;
            // "DeletionList" and "Wrecks" are taken: such an object would be read back as that block.
            if (!readsBackAsItself(pName) || strcmp(pName, DELETION_LIST) == 0 || strcmp(pName, WRECKS) == 0) {
                leftOut.add(pName);
                delete pBlock;
                continue;
            }
            pBlock->setName(pName);
            pushFront(blocks, pBlock);
        }
    }
    leftOut.report();

    const bool written = saveBlocks(path.text, blocks, true);
    deleteBlockList(blocks);
    if (!written) {
        // A failed write is about no file being read: said whatever that one has said.
        ReportApart apart;
        assertFailedMsg(concatStrings("Failed to write saved state ", path.text), "0", __FILE__, __LINE__);
        return false;
    }
    return deflateFile(path.text);
}

bool CGameObjectManager::loadState(int chapter, int mission, bool trackDeletions)
{
    const StatePath path(chapter, mission);
    // What the objects restored from it report names the file too.
    ReadingFile reading(path.text);
    // The first mission of a chapter has no file, yet its deletions must be recorded for the next.
    setDeletionTracking(trackDeletions);

    SetFileExcludeFromPack(true);
    const bool inflated = inflateFile(path.text, TEMP_STATE_FILE);
    std::unique_ptr<char[]> text = inflated ? readStateText(path.text) : nullptr;
    char* pScanned = nullptr;
    blockStartList scanned;
    const bool scans = text && scanBlocks(TEMP_STATE_FILE, &pScanned, scanned);
    SetFileExcludeFromPack(false);
    if (inflated) DeleteFileA(TEMP_STATE_FILE);
    if (!inflated) return false;
    if (!scans) return true;

    // The deletions and the wrecks are the first blocks of those names in the scan's order (the
    // file's last).
    const char* pDeletionText = nullptr;
    const char* pWrecksText = nullptr;
    for (const blockStartNode* pNode = scanned.pHead; pNode; pNode = pNode->pNext) {
        if (!pDeletionText && isBlockNamed(pNode->pStart, DELETION_LIST))
            pDeletionText = pNode->pStart;
        else if (!pWrecksText && isBlockNamed(pNode->pStart, WRECKS))
            pWrecksText = pNode->pStart;
    }

    if (pDeletionText) {
        if (CParamBlock* pDeletions = parseText(pDeletionText)) {
            CParameter* pEntry = nullptr;
            for (uint32_t i = 0; pDeletions->getParameter(i, &pEntry); ++i) {
                const char* pName = pEntry->getName();
                resourceHandle handle = 0;
                CResource* pResource = nullptr;
                if (strncmp(pName, "sp-", 3) == 0 || !findHandleByName(pName, &handle)) continue;
                if (acquireResource(handle, &pResource) && pResource)
                    deleteObject(static_cast<CGameObject*>(pResource));
            }
            delete pDeletions;
        } else {
            assertFailedMsg("Failed to parse DeletionList block", "0", __FILE__, __LINE__);
        }
    }
    // The deletions take effect before anything is restored.
    update();

    if (pWrecksText) {
        if (CParamBlock* pWrecks = parseText(pWrecksText)) {
            CWreckMgr::Instance()->loadWrecks(pWrecks);
            delete pWrecks;
        } else {
            assertFailedMsg("Failed to parse Wrecks block", "0", __FILE__, __LINE__);
        }
    }

    int unreadable = 0;
    for (const blockStartNode* pNode = scanned.pHead; pNode; pNode = pNode->pNext) {
        if (pNode->pStart == pDeletionText || pNode->pStart == pWrecksText) continue;
        CParamBlock* pBlock = parseText(pNode->pStart);
        if (!pBlock) {
            ++unreadable;
            continue;
        }
        resourceHandle handle = 0;
        CResource* pResource = nullptr;
        // Blocks of names that no object bears are left alone.
        if (pBlock->getName()[0] && findHandleByName(pBlock->getName(), &handle) &&
            acquireResource(handle, &pResource) && pResource)
            static_cast<CGameObject*>(pResource)->restoreState(pBlock);
        delete pBlock;
    }
    if (unreadable > 0)
        assertFailedMsg(concatStrings("Saved state ", path.text, ": blocks that do not parse were skipped: ",
                                      intToString(unreadable)),
                        "0", __FILE__, __LINE__);
    deleteBlockStartList(scanned);
    delete[] pScanned;
    return true;
}

bool CGameObjectManager::readInstanceScript(const char* fileName)
{
    // Held while the objects are made too: a block the reader cut says so once, naming the script.
    ReadingFile reading(fileName);
    char* pText = nullptr;
    blockStartList blocks;
    if (!scanBlocks(fileName, &pText, blocks)) return false;
    createObjectsFromInstanceScript(blocks, fileName);
    deleteBlockStartList(blocks);
    delete[] pText;
    return true;
}

void CGameObjectManager::detachEventWiring()
{
    for (llist* pList : {activeObjects, updateLastObjects, partialObjects, scriptObjects, deletedObjects,
                         &d_pendingActivation, &m_pGameCameras})
        for (CGameObject* pObject : listed(pList))
            if (pObject) pObject->d_pMssgHandler = nullptr;
}
