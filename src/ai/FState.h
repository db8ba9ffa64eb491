// A small finite-state machine for the animation players. Each state has BEGIN, DURING and END
// handlers; the state data carries the phase to run next, and the handlers move it on. A handler
// that returns true has done the frame's work; one that returns false lets the next phase run at
// once.
#pragma once

#include <cstdint>
#include <vector>

class CFStateData {
public:
    // Phase 0 chooses a state; the others run the current state's handler of that name.
    enum StateType : uint32_t { NONE = 0, BEGIN = 1, DURING = 2, END = 3 };

    uint32_t getStateType() const { return type; }
    void setStateType(uint32_t newType) { type = newType; }

    uint32_t type = NONE;
};

class CFState {
public:
    virtual ~CFState() {}
    virtual bool onBegin(CFStateData* p) = 0;
    virtual bool onDuring(CFStateData* p) = 0;
    virtual bool onEnd(CFStateData* p) = 0;
    // Whether the data asks for this state.
    virtual bool accept(CFStateData* p) = 0;
    virtual uint32_t GetId() const = 0;
};

class CFStateMgr {
public:
    // Phases one call of process may run before it gives up on a machine that does not settle.
    static constexpr uint32_t MAX_STEPS = 16;

    explicit CFStateMgr(bool ownsStates) : m_ownsStates(ownsStates) {}
    ~CFStateMgr();
    CFStateMgr(const CFStateMgr&) = delete;
    CFStateMgr& operator=(const CFStateMgr&) = delete;

    // Appends the state; with isDefault it becomes the state chosen when no state accepts.
    void registerState(CFState* pState, bool isDefault);
    // Runs phases until a handler returns true (true) or the machine cannot go on (false, reported:
    // no state to choose, an unknown phase, or MAX_STEPS phases without a handler finishing).
    bool process(CFStateData* pData);

    CFState* getCurrentState() const { return m_pCurrent; }
    uint32_t getNumStates() const { return static_cast<uint32_t>(m_states.size()); }

private:
    std::vector<CFState*> m_states;
    CFState* m_pDefault = nullptr;
    CFState* m_pCurrent = nullptr;
    bool m_ownsStates;
};
