// CAnimation: one key-frame animation of a node hierarchy read from an animation text file. The
// owner advances it by the elapsed milliseconds every frame; it moves its normalised position
// (0 = start, 1 = end), wraps or clamps it and evaluates every node's local scale, translation and
// rotation at that time.
//
// The model animation and the boned players read Duration and write Rate, CurrentFrame and
// LoopMode directly; everything else goes through the operations.
#pragma once

#include "animation/AnimFileReader.h"
#include "animation/AnimHierarchy.h"

#include <cstdint>

class CAnimation {
public:
    enum { LOOP_ONCE = 0, LOOP_WRAP = 1 };            // LoopMode; any other value neither wraps nor clamps
    enum { DIRECTION_FORWARD = 0, DIRECTION_BACKWARD = 1 };
    // Where a play-once animation stops: never quite the end.
    static constexpr float PLAY_ONCE_END = 0.998f;

    // Loads the file; on ANIM_OK the animation is valid and started (looping forward at rate 1).
    // Otherwise it keeps the load result and ignores every playing operation.
    explicit CAnimation(const char* fileName);
    ~CAnimation() = default;
    CAnimation(const CAnimation&) = delete;
    CAnimation& operator=(const CAnimation&) = delete;

    int32_t GetAnimError() const { return m_errorCode; }

    // From the start, looping forward at rate 1, interpolating.
    void Start();
    // Moves the position by the elapsed milliseconds and evaluates every node.
    void Advance(uint32_t elapsed);
    // Only a play-once animation finishes: forward at its end, backward at 0.
    bool IsFinished() const;
    void SetDirection(int32_t mode);
    // Jumps to a time in seconds; exactly Duration gives position 1.
    void SetTime(float seconds);
    // The played time at the current rate minus time at the same rate, each truncated (ms).
    int32_t GetTimeOffset(uint32_t time) const;
    void Pause();
    // Carries on from where Pause left it: the paused time is skipped.
    void Resume();

    CAnimHierarchy& GetHierarchy() { return m_data.Hierarchy; }
    bool IsValid() const { return m_valid; }
    bool IsPaused() const { return m_paused; }
    int32_t GetDirection() const { return m_directionMode; }
    // The elapsed time the last Advance applied (0 while paused).
    uint32_t GetElapsed() const { return m_elapsed; }
    float GetSpeedModifier() const { return m_data.AnimFileSpeedModifier; }

    float CurrentFrame = 0.0f;  // normalised position
    float Rate = 1.0f;          // playback speed; 0 freezes
    int32_t LoopMode = LOOP_WRAP;
    float Duration = 0.0f;      // ms
    int32_t NumFrames = 0;      // captured animations: frames of the root's keys

private:
    uint32_t CurrentClock() const;

    int32_t m_errorCode;
    CAnimData m_data;
    uint32_t m_elapsed = 0;
    uint32_t m_lastTime = 0;
    bool m_valid = false;
    bool m_paused = false;
    bool m_interpolate = false;
    int32_t m_directionMode = DIRECTION_FORWARD;
    int32_t m_directionStep = 1;
    uint32_t m_ownClock = 0;  // the sum of every elapsed time given to Advance
    bool m_useOwnClock = false;
};
