// CWavFile: reads RIFF WAVE files, whole for samples and block by block for streams.
#pragma once

#include <cstdint>

class CFile;

class CWavFile {
public:
    CWavFile();
    virtual ~CWavFile();
    CWavFile(const CWavFile&) = delete;
    CWavFile& operator=(const CWavFile&) = delete;

    // Reads the header up to the first byte of the data chunk. False when the file cannot be
    // opened, its format chunk is shorter than 16 bytes, or a chunk runs past the end of the file
    // or the file ends before a "data" chunk.
    virtual bool Open(const char* pFilename);
    virtual void Close();
    virtual uint16_t GetFormatTag();
    virtual uint32_t GetSamplesPerSec();
    virtual uint32_t GetAvgBytesPerSec();
    virtual uint16_t GetNumChannels();
    virtual uint32_t GetDataLength();
    virtual uint16_t GetBlockAlign();
    virtual uint16_t GetBitsPerSample();
    // Up to count bytes of data from where the last read ended; 0 reads the whole data chunk from
    // its start. Returns the bytes read.
    virtual uint32_t Read(void* pBuffer, uint32_t count);
    virtual void Rewind();

    bool IsOpen() const { return m_open; }
    // The code of the last Open's failed file open (CFile::LastError); 0 when the file opened.
    uint32_t OpenError() const { return m_openError; }
    // Data bytes read since the start of the data (or the last rewind).
    uint32_t GetBytesRead() const { return m_bytesRead; }

private:
    bool ReadHeader(const char* pFilename);

    bool m_open;
    uint32_t m_openError = 0;
    uint32_t m_dataLength;
    uint32_t m_dataStart;
    uint32_t m_bytesRead;
    CFile* m_pFile;
    struct {
        char chunkId[4];
        uint32_t chunkSize;
        uint16_t wFormatTag;
        uint16_t nChannels;
        uint32_t nSamplesPerSec;
        uint32_t nAvgBytesPerSec;
        uint16_t nBlockAlign;
        uint16_t wBitsPerSample;
    } m_format;
};
