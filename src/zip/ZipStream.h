// Byte streams of the zip library: the abstract stream, a file stream and a memory stream.
//
// Positions and sizes are 64-bit throughout so that archives past 4 GiB read and write. Reads
// return short counts at the end of data instead of raising; a file stream raises EStreamError
// with the system's error text when the system call itself fails.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qv {

enum TSeekOrigin : int { soBeginning = 0, soCurrent = 1, soEnd = 2 };

class TStream
{
public:
    virtual ~TStream() = default;
    // Reads up to n bytes; returns the count read (0 at the end of data).
    virtual std::int64_t Read(void *buffer, std::int64_t n) = 0;
    // Writes up to n bytes; returns the count written.
    virtual std::int64_t Write(const void *buffer, std::int64_t n) = 0;
    virtual std::int64_t Seek(std::int64_t offset, int origin) = 0;

    virtual std::int64_t Position() { return Seek(0, soCurrent); }
    virtual std::int64_t Size();
    void SetPosition(std::int64_t pos) { Seek(pos, soBeginning); }

    // Reads exactly n bytes or raises EStreamError "Stream read error".
    void ReadBuffer(void *buffer, std::int64_t n);
    // Writes exactly n bytes or raises EStreamError "Stream write error".
    void WriteBuffer(const void *buffer, std::int64_t n);
    // Copies n bytes (all that remain when n is 0) from `source`; returns the count.
    std::int64_t CopyFrom(TStream &source, std::int64_t n);
};

// File open modes: the low two bits give the access, as the class library's mode words do.
enum : unsigned {
    fmOpenRead = 0x0000,
    fmOpenWrite = 0x0001,
    fmOpenReadWrite = 0x0002,
    fmShareDenyNone = 0x0040,
    fmCreate = 0xFFFF, // create or truncate, read and write
};

class TFileStream : public TStream
{
public:
    // Opens `fileName` with `mode`; raises EFOpenError with the system's reason when it cannot.
    TFileStream(const std::string &fileName, unsigned mode);
    ~TFileStream() override;
    TFileStream(const TFileStream &) = delete;
    TFileStream &operator=(const TFileStream &) = delete;

    std::int64_t Read(void *buffer, std::int64_t n) override;
    std::int64_t Write(const void *buffer, std::int64_t n) override;
    std::int64_t Seek(std::int64_t offset, int origin) override;
    std::int64_t Size() override;

    int Handle() const { return m_fd; }
    const std::string &FileName() const { return m_fileName; }
    // Sets the file's length; raises on failure.
    void Truncate(std::int64_t length);
    // Writes the file's data to the disk (fsync); raises on failure.
    void Flush();

private:
    std::string m_fileName;
    int m_fd = -1;
};

class TMemoryStream : public TStream
{
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<std::uint8_t> data) : m_data(std::move(data)) {}

    std::int64_t Read(void *buffer, std::int64_t n) override;
    std::int64_t Write(const void *buffer, std::int64_t n) override;
    std::int64_t Seek(std::int64_t offset, int origin) override;
    std::int64_t Size() override { return static_cast<std::int64_t>(m_data.size()); }

    std::vector<std::uint8_t> &Data() { return m_data; }
    const std::vector<std::uint8_t> &Data() const { return m_data; }

private:
    std::vector<std::uint8_t> m_data;
    std::int64_t m_pos = 0;
};

// "<what> \"<file>\": <errno text>" for stream errors.
std::string systemErrorText(const std::string &what, const std::string &fileName, int err);

} // namespace qv
