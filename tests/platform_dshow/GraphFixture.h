// A filter graph with the interfaces the engine asks for, and a fixture that finds every graph
// and VMR gone after each test, all paced by the manual audio clock.
#pragma once

#include "platform/dshow.h"
#include "platform/testing.h"
#include "platform/testing/dshow.h"
#include "platform/testing/dsound.h"
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ds = platform::testing::dsound;
namespace dshow = platform::testing::dshow;

inline std::u16string wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

struct Graph {
    Graph()
    {
        EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                   reinterpret_cast<void**>(&builder)),
                  S_OK);
        builder->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&control));
        builder->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(&events));
        builder->QueryInterface(IID_IMediaPosition, reinterpret_cast<void**>(&position));
        builder->QueryInterface(IID_IBasicAudio, reinterpret_cast<void**>(&audio));
    }
    ~Graph() { release(); }
    void release()
    {
        for (IUnknown* part : std::initializer_list<IUnknown*>{control, events, position, audio, builder})
            if (part) part->Release();
        builder = nullptr, control = nullptr, events = nullptr, position = nullptr, audio = nullptr;
    }
    HRESULT render(const std::string& name) { return builder->RenderFile(wide(name).c_str(), nullptr); }
    HANDLE handle() const
    {
        OAEVENT h = 0;
        return events->GetEventHandle(&h), reinterpret_cast<HANDLE>(h);
    }
    // Every event waiting, by code.
    std::vector<LONG> take()
    {
        std::vector<LONG> codes;
        LONG code;
        LONG_PTR p1, p2;
        while (events->GetEvent(&code, &p1, &p2, 0) == S_OK) {
            codes.push_back(code);
            events->FreeEventParams(code, p1, p2);
        }
        return codes;
    }
    dshow::GraphState state() const
    {
        for (const dshow::GraphState& s : dshow::graphs())
            if (s.graph == builder) return s;
        return {};
    }

    IGraphBuilder* builder = nullptr;
    IMediaControl* control = nullptr;
    IMediaEvent* events = nullptr;
    IMediaPosition* position = nullptr;
    IBasicAudio* audio = nullptr;
};

class GraphFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ds::useManualClock();
        dshow::reset();
        platform::testing::resetD3D9();
    }
    void TearDown() override
    {
        dshow::reset();
        EXPECT_EQ(dshow::liveGraphs(), 0);
        EXPECT_EQ(dshow::liveVmr9s(), 0);
        platform::testing::resetD3D9();
    }
};
