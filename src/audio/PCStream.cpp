#include "audio/PCStream.h"

#include "utility/Assert.h"

#include <cstdio>

CPCStream::CPCStream(int32_t id, const char* pFilename, bool loop)
    : m_id(id), m_reserved(0), m_loop(loop), m_paused(false), m_pFilename{}, m_volume(1.0f), m_named(false)
{
    if (!VERIFY(pFilename)) return;
    snprintf(m_pFilename, sizeof m_pFilename, "%s", pFilename);
    m_named = true;
}
