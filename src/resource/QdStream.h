// Byte streams for the loaders, and the small string and path helpers they share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class TQdStream {
public:
  virtual ~TQdStream() = default;

  virtual int32_t ReadBytes(void* buffer, int32_t count) = 0;
  // Origin: 0 from the start, 1 from the current position, 2 from the end; anything else is 0.
  virtual int32_t SetPosition(int32_t offset, uint16_t origin) = 0;
  virtual int32_t GetPosition() = 0;

  bool IsOpen = false;
};

// A file opened for reading (never created). A stream that failed to open reads
// nothing and reports position 0; an I/O error on an open file is fatal.
class TQdFileStream : public TQdStream {
public:
  explicit TQdFileStream(const std::string& fileName);
  ~TQdFileStream() override;
  TQdFileStream(const TQdFileStream&) = delete;
  TQdFileStream& operator=(const TQdFileStream&) = delete;

  int32_t ReadBytes(void* buffer, int32_t count) override;
  int32_t SetPosition(int32_t offset, uint16_t origin) override;
  int32_t GetPosition() override;

  const std::string FileName;

private:
  int FileHandle = -1;
};

// Bytes in memory read as a file would be, for loaders fed from a buffer (fuzzing, tests, data
// tools). The bytes are not copied: they must outlive the stream. Moving before the start is an
// I/O error, as on a file; moving past the end is allowed and reads nothing there.
class TQdMemoryStream : public TQdStream {
public:
  TQdMemoryStream(const void* data, size_t size);

  int32_t ReadBytes(void* buffer, int32_t count) override;
  int32_t SetPosition(int32_t offset, uint16_t origin) override;
  int32_t GetPosition() override { return static_cast<int32_t>(Position); }

private:
  const uint8_t* Data;
  int64_t Size;
  int64_t Position = 0;
};

bool FileCanOpen(const std::string& fileName);
std::string AsciiToLower(const std::string& text);
// First occurrence of c in the zero-terminated s, the terminator included; null when absent.
const char* FindChar(const char* s, char c);
// 1-based index of the last non-zero byte of s that is one of delimiters; 0 when none.
int FindLastOf(const char* delimiters, const std::string& s);
// From the last dot on, when no backslash or colon follows it; else empty.
std::string FileExtension(const std::string& fileName);
