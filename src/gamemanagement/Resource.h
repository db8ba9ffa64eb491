// CResource: the root of everything a resource manager hands out. Nobody keeps a pointer to a
// resource across frames: they keep its resourceHandle and acquire the resource when they need it.
#pragma once

#include <cstdint>

// Bits 31-24 the manager id, 23-20 the slot's reuse count (in managers that keep one), 19-0 the
// slot. 0 names nothing.
typedef uint32_t resourceHandle;

class CResource {
public:
    enum ResourceType : uint32_t {
        RESOURCETYPE_GAMEOBJECT = 1,
        RESOURCETYPE_COLLISIONOBJECT = 2,
        RESOURCETYPE_PHYSICSOBJECT = 3,
        RESOURCETYPE_MODEL = 4,
        RESOURCETYPE_EFFECT = 7,
    };

    CResource() : d_resourceHandle(0) {}
    virtual ~CResource() {}

    virtual uint32_t getResourceType() const = 0;
    // The class's type name, a constant text.
    virtual const char* getTypeName() const = 0;

    resourceHandle getResourceHandle() const { return d_resourceHandle; }
    void setResourceHandle(resourceHandle handle) { d_resourceHandle = handle; }

private:
    resourceHandle d_resourceHandle;
};
