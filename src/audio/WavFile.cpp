#include "audio/WavFile.h"

#include "utility/Assert.h"
#include "utility/RunLog.h"
#include "winfile/File.h"

#include <cstring>

namespace {

const uint32_t PCM_FORMAT_BYTES = 16;

// A chunk may only claim the bytes the file still has (and a size that a seek can skip).
bool fits(CFile& file, uint32_t size)
{
    return size <= file.GetSize() - file.GetPosition() && size <= 0x7FFFFFFFu;
}

}  // namespace

CWavFile::CWavFile() : m_open(false), m_dataLength(0), m_dataStart(0), m_bytesRead(0), m_pFile(nullptr), m_format{} {}

CWavFile::~CWavFile() { Close(); }

bool CWavFile::Open(const char* pFilename)
{
    Close();
    m_pFile = new CFile;
    const bool opened = m_pFile->Open(pFilename, FILE_MODE_READ);
    m_openError = opened ? 0 : m_pFile->LastError();
    if (!opened || !ReadHeader(pFilename)) {
        Close();
        return false;
    }
    m_open = true;
    return true;
}

bool CWavFile::ReadHeader(const char* pFilename)
{
    CFile& file = *m_pFile;
    // "RIFF", its size and "WAVE" are taken on trust.
    uint8_t riff[12];
    uint32_t got = 0;
    if (!file.Read(riff, sizeof riff, &got) || got != sizeof riff) return false;

    // The format chunk comes first, whatever its id says.
    if (!file.Read(m_format.chunkId, 4, &got) || got != 4 || !file.ReadLong(&m_format.chunkSize)) return false;
    const int64_t extraData = static_cast<int64_t>(m_format.chunkSize) - PCM_FORMAT_BYTES;
    if (!VERIFY(extraData >= 0) || !fits(file, m_format.chunkSize)) return false;
    if (!file.ReadShort(&m_format.wFormatTag) || !file.ReadShort(&m_format.nChannels) ||
        !file.ReadLong(&m_format.nSamplesPerSec) || !file.ReadLong(&m_format.nAvgBytesPerSec) ||
        !file.ReadShort(&m_format.nBlockAlign) || !file.ReadShort(&m_format.wBitsPerSample))
        return false;
    if (!file.Seek(1, static_cast<int32_t>(extraData))) return false;

    // Every other chunk is skipped up to the data.
    for (;;) {
        char id[4];
        uint32_t size = 0;
        if (!file.Read(id, 4, &got) || got != 4 || !file.ReadLong(&size) || !fits(file, size)) return false;
        if (memcmp(id, "data", 4) == 0) {
            m_dataLength = size;
            break;
        }
        if (!file.Seek(1, static_cast<int32_t>(size))) return false;
    }
    m_dataStart = file.GetPosition();
    m_bytesRead = 0;
    if ((m_format.wBitsPerSample == 16) && (m_dataLength & 1))
        assertFailedMsg(concatStrings("Invalid data length in ", pFilename),
                        "!((m_format.wBitsPerSample==16) && (m_dataLength & 1))", __FILE__, __LINE__);
    return true;
}

void CWavFile::Close()
{
    if (m_pFile) m_pFile->Close();
    delete m_pFile;
    m_pFile = nullptr;
    m_open = false;
}

uint16_t CWavFile::GetFormatTag() { return m_format.wFormatTag; }
uint32_t CWavFile::GetSamplesPerSec() { return m_format.nSamplesPerSec; }
uint32_t CWavFile::GetAvgBytesPerSec() { return m_format.nAvgBytesPerSec; }
uint16_t CWavFile::GetNumChannels() { return m_format.nChannels; }
uint32_t CWavFile::GetDataLength() { return m_dataLength; }
uint16_t CWavFile::GetBlockAlign() { return m_format.nBlockAlign; }
uint16_t CWavFile::GetBitsPerSample() { return m_format.wBitsPerSample; }

uint32_t CWavFile::Read(void* pBuffer, uint32_t count)
{
    if (!m_open) return 0;
    uint32_t got = 0;
    if (count == 0) {
        if (!m_pFile->Seek(0, static_cast<int32_t>(m_dataStart))) return 0;
        m_pFile->Read(pBuffer, m_dataLength, &got);
        m_bytesRead = m_dataLength;
        return got;
    }
    const uint32_t left = m_dataLength - m_bytesRead;
    if (count > left) count = left;
    if (count == 0) return 0;
    m_pFile->Read(pBuffer, count, &got);
    m_bytesRead += got;
    return got;
}

void CWavFile::Rewind()
{
    if (!m_open) return;
    m_pFile->Seek(0, static_cast<int32_t>(m_dataStart));
    m_bytesRead = 0;
}
