// The node tree of a key-frame animation. Each node holds its controller and the local transform
// of its last evaluation; parents' transforms are not combined here (the model's element tree
// does that when it is drawn).
#pragma once

#include "animation/AnimController.h"
#include "utility/LList.h"
#include "utility/VectorMath.h"

#include <cstdint>
#include <utility>
#include <vector>

class CAnimNode {
public:
    static const uint32_t MAX_NAME = 256;  // with the terminating NUL

    CAnimNode(const char* name, uint16_t id, bool dummy);
    ~CAnimNode();
    CAnimNode(const CAnimNode&) = delete;
    CAnimNode& operator=(const CAnimNode&) = delete;

    // Samples the controller at time t (ms) into the transform; a node without one keeps it.
    void Evaluate(float t, bool interpolate, bool loop);

    uint16_t Id;                      // creation index; the model binding rebinds it to its node index
    llist ChildNodes;                 // owned children in the order they were added
    char Name[MAX_NAME];              // cut at 255 characters
    CAnimController* ControllerData;  // owned; null until the node's first track
    float LatestKeyTime;              // ms, the largest linear key time read for this node
    bool Dummy;
    Matrix3 RotationMatrix;
    Vector3 Translation;
    Vector3 Scale;
    Quaternion Rotation;
    float BlendPosition;
    float BlendResponse;
    int32_t ControllerKind;  // of the node's last track; linear until one says otherwise
    float FramePeriod;       // seconds per captured frame, from the node's last track; 0 for linear
    bool Bound = false;      // Id names a node of the model it was bound to

private:
    friend class CAnimHierarchy;
    CAnimNode* m_pParent;
    llistElement* m_pLink;  // this node's element in the parent's ChildNodes
};

class CAnimHierarchy {
public:
    // Node ids are 16-bit creation indices, so a tree holds at most this many.
    static const uint32_t MAX_NODES = 65536;

    typedef bool (*NodeCallback)(CAnimNode* node, void* argument);
    typedef bool (*PairCallback)(CAnimNode* node, CAnimNode* other, void* argument);

    CAnimHierarchy() = default;
    ~CAnimHierarchy();
    CAnimHierarchy(const CAnimHierarchy&) = delete;
    CAnimHierarchy& operator=(const CAnimHierarchy&) = delete;

    // Adds name as the last child of parentName. Into an empty tree the root comes first, named
    // parentName, carrying rootDummy. Null (after a report) when the parent is unknown or the tree
    // is full.
    CAnimNode* AddNode(const char* name, const char* parentName, bool dummy, bool rootDummy);
    // The first node in pre-order whose name equals name exactly.
    CAnimNode* FindNodeByName(const char* name);
    CAnimNode* FindNodeById(uint16_t id);
    // Pre-order; false as soon as a callback returns false.
    bool ForEach(NodeCallback callback, void* argument);
    // Walks this tree and another from otherRoot in step, pre-order; false when a callback stops the
    // walk or a node has children where its partner has none.
    bool ForEachPair(CAnimNode* otherRoot, PairCallback callback, void* argument);
    void Destroy();

    // Evaluates every node, pre-order.
    void Evaluate(float t, bool interpolate, bool loop);

    uint32_t NumNodes = 0;
    CAnimNode* RootNode = nullptr;

private:
    const std::vector<CAnimNode*>& Order();

    // Pre-order list of the nodes, rebuilt after the tree changes; walks run over it instead of
    // recursing, so a deep tree from a file cannot exhaust the stack.
    std::vector<CAnimNode*> m_order;
    bool m_orderValid = false;
    std::vector<CAnimNode*> m_stack;
    std::vector<std::pair<CAnimNode*, CAnimNode*>> m_pairStack;
};
