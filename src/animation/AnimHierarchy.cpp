#include "animation/AnimHierarchy.h"

#include "utility/Assert.h"

#include <algorithm>
#include <cstring>

namespace {

llistElement* firstElement(llist& list)
{
    list.GotoHead();
    return list.GetCurrentElement();
}

CAnimNode* nodeOf(llistElement* element) { return static_cast<CAnimNode*>(element->data); }

}  // namespace

CAnimNode::CAnimNode(const char* name, uint16_t id, bool dummy)
    : Id(id),
      ControllerData(nullptr),
      LatestKeyTime(0.0f),
      Dummy(dummy),
      Translation(defaultTranslation()),
      Scale(defaultScale()),
      Rotation(defaultRotation()),
      BlendPosition(0.0f),
      BlendResponse(1.0f),
      ControllerKind(CAnimController::CONTROLLER_LINEAR),
      FramePeriod(0.0f),
      m_pParent(nullptr),
      m_pLink(nullptr)
{
    strncpy(Name, name, MAX_NAME - 1);
    Name[MAX_NAME - 1] = '\0';
}

CAnimNode::~CAnimNode()
{
    ASSERT_MSG(this->ChildNodes.getNumItems()==0, "Atempt to delete animation node that still has children");
    delete ControllerData;
}

void CAnimNode::Evaluate(float t, bool interpolate, bool loop)
{
    if (!ControllerData) return;
    Scale = ControllerData->GetScale(t, interpolate, loop);
    Translation = ControllerData->GetTranslation(t, interpolate, loop);
    Rotation = ControllerData->GetRotation(t, interpolate, loop);
    quatToMatrix3(Rotation, RotationMatrix);
}

CAnimHierarchy::~CAnimHierarchy() { Destroy(); }

const std::vector<CAnimNode*>& CAnimHierarchy::Order()
{
    if (m_orderValid) return m_order;
    m_order.clear();
    m_stack.clear();
    if (RootNode) m_stack.push_back(RootNode);
    while (!m_stack.empty()) {
        CAnimNode* node = m_stack.back();
        m_stack.pop_back();
        m_order.push_back(node);
        const size_t first = m_stack.size();
        for (llistElement* e = firstElement(node->ChildNodes); e; e = e->next) m_stack.push_back(nodeOf(e));
        std::reverse(m_stack.begin() + first, m_stack.end());
    }
    m_orderValid = true;
    return m_order;
}

CAnimNode* CAnimHierarchy::AddNode(const char* name, const char* parentName, bool dummy, bool rootDummy)
{
    if (!RootNode) {
        RootNode = new CAnimNode(parentName, static_cast<uint16_t>(NumNodes), rootDummy);
        ++NumNodes;
        m_orderValid = false;
    }
    CAnimNode* ParentNode = FindNodeByName(parentName);
    if (!VERIFY(ParentNode)) return nullptr;
    if (!VERIFY_MSG(NumNodes < MAX_NODES, "Too many animation nodes")) return nullptr;

    CAnimNode* node = new CAnimNode(name, static_cast<uint16_t>(NumNodes), dummy);
    ParentNode->ChildNodes.GotoTail();
    const uint32_t before = ParentNode->ChildNodes.getNumItems();
    if (ParentNode->ChildNodes.InsertAfterGetElement(node, &node->m_pLink) == before) {
        delete node;  // the list's element pool refused it, and said so
        return nullptr;
    }
    node->m_pParent = ParentNode;
    ++NumNodes;
    m_orderValid = false;
    return node;
}

CAnimNode* CAnimHierarchy::FindNodeByName(const char* name)
{
    if (!VERIFY_MSG(this->RootNode!=NULL, "No hierarchy has been created.\nCheck hierarchy is correct")) return nullptr;
    for (CAnimNode* node : Order())
        if (strcmp(node->Name, name) == 0) return node;
    return nullptr;
}

CAnimNode* CAnimHierarchy::FindNodeById(uint16_t id)
{
    for (CAnimNode* node : Order())
        if (node->Id == id) return node;
    return nullptr;
}

bool CAnimHierarchy::ForEach(NodeCallback callback, void* argument)
{
    for (CAnimNode* node : Order())
        if (!callback(node, argument)) return false;
    return true;
}

bool CAnimHierarchy::ForEachPair(CAnimNode* otherRoot, PairCallback callback, void* argument)
{
    if (!VERIFY(RootNode && otherRoot)) return false;
    m_pairStack.clear();
    m_pairStack.emplace_back(RootNode, otherRoot);
    while (!m_pairStack.empty()) {
        auto [node, SecondTree] = m_pairStack.back();
        m_pairStack.pop_back();
        if (!callback(node, SecondTree, argument)) return false;
        if (!node->ChildNodes.Empty() &&
            !VERIFY_MSG(!SecondTree->ChildNodes.Empty(),
                        "Failed to treverse second hierarchy during PlayBlend.\nCheck that both animations have "
                        "the same hierarchy!!"))
            return false;
        // Children in step; the longer list's extra children are left out.
        const size_t first = m_pairStack.size();
        llistElement* a = firstElement(node->ChildNodes);
        llistElement* b = firstElement(SecondTree->ChildNodes);
        for (; a && b; a = a->next, b = b->next) m_pairStack.emplace_back(nodeOf(a), nodeOf(b));
        std::reverse(m_pairStack.begin() + first, m_pairStack.end());
    }
    return true;
}

void CAnimHierarchy::Evaluate(float t, bool interpolate, bool loop)
{
    CAnimNode* hn = RootNode;
    if (!VERIFY(hn != NULL)) return;
    for (CAnimNode* node : Order()) node->Evaluate(t, interpolate, loop);
}

void CAnimHierarchy::Destroy()
{
    // Reverse pre-order reaches every node after all of its descendants.
    Order();
    for (auto it = m_order.rbegin(); it != m_order.rend(); ++it) {
        CAnimNode* node = *it;
        if (node == RootNode) continue;
        node->m_pParent->ChildNodes.RemoveElement(node->m_pLink);
        delete node;
        --NumNodes;
    }
    if (RootNode) {
        ASSERT(this->RootNode->ChildNodes.getNumItems()==0);
        delete RootNode;
        RootNode = nullptr;
        --NumNodes;
    }
    ASSERT(this->NumNodes==0);
    m_order.clear();
    m_orderValid = false;
}
