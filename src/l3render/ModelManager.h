// The model class manager (named lists of element names, from L3Init to L3Shutdown) and the model
// manager (models, elements and instances, from L3CreateDevice to L3DestroyDevice). Today only their
// lives: the render façade starts and stops them.
#pragma once

class CModelClassManager {
public:
    static bool Init();
    static void Shutdown();
};

class CModelManager {
public:
    static bool Init();
    static void Shutdown();
};
