#include "resource/QdStream.h"

#include "platform/fatal.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

#ifdef _WIN32
// Binary mode: the Windows C library would otherwise turn CR LF into LF while reading.
constexpr int kOpenFlags = O_RDONLY | O_BINARY | O_NOINHERIT;
#else
constexpr int kOpenFlags = O_RDONLY | O_CLOEXEC;
#endif

int OpenExisting(const std::string& fileName) {
  // Read access only: installed data is read-only for players, and the loaders never write.
  int fd;
  do {
    fd = ::open(fileName.c_str(), kOpenFlags);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;
  struct stat st;
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

} // namespace

TQdFileStream::TQdFileStream(const std::string& fileName) : FileName(fileName) {
  FileHandle = OpenExisting(fileName);
  IsOpen = FileHandle >= 0;
}

TQdFileStream::~TQdFileStream() {
  if (IsOpen && ::close(FileHandle) != 0) QD_RUN_ERROR(fatal::kInOut);
}

int32_t TQdFileStream::ReadBytes(void* buffer, int32_t count) {
  if (!IsOpen || count <= 0) return 0;
  auto* out = static_cast<char*>(buffer);
  int32_t done = 0;
  while (done < count) {
    ssize_t n = ::read(FileHandle, out + done, static_cast<size_t>(count - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      QD_RUN_ERROR(fatal::kDiskRead);
    }
    if (n == 0) break;
    done += static_cast<int32_t>(n);
  }
  return done;
}

int32_t TQdFileStream::SetPosition(int32_t offset, uint16_t origin) {
  if (!IsOpen) return 0;
  int64_t base = 0;
  if (origin == 1) {
    base = GetPosition();
  } else if (origin == 2) {
    struct stat st;
    if (::fstat(FileHandle, &st) != 0) QD_RUN_ERROR(fatal::kInOut);
    base = st.st_size;
  }
  int64_t target = base + offset;
  // Seeking before the start is an I/O error on an open file, like any other failed move.
  if (target < 0 || ::lseek(FileHandle, target, SEEK_SET) < 0) QD_RUN_ERROR(fatal::kInOut);
  return static_cast<int32_t>(target);
}

int32_t TQdFileStream::GetPosition() {
  if (!IsOpen) return 0;
  off_t pos = ::lseek(FileHandle, 0, SEEK_CUR);
  if (pos < 0) QD_RUN_ERROR(fatal::kInOut);
  return static_cast<int32_t>(pos);
}

TQdMemoryStream::TQdMemoryStream(const void* data, size_t size)
    : Data(static_cast<const uint8_t*>(data)),
      // Positions are 32-bit; anything past that could not be reached anyway.
      Size(static_cast<int64_t>(std::min<size_t>(size, INT32_MAX))) {
  IsOpen = true;
}

int32_t TQdMemoryStream::ReadBytes(void* buffer, int32_t count) {
  if (count <= 0 || Position >= Size) return 0;
  const int64_t n = std::min<int64_t>(count, Size - Position);
  std::memcpy(buffer, Data + Position, static_cast<size_t>(n));
  Position += n;
  return static_cast<int32_t>(n);
}

int32_t TQdMemoryStream::SetPosition(int32_t offset, uint16_t origin) {
  const int64_t base = origin == 1 ? Position : origin == 2 ? Size : 0;
  const int64_t target = base + offset;
  if (target < 0 || target > INT32_MAX) QD_RUN_ERROR(fatal::kInOut);
  Position = target;
  return static_cast<int32_t>(target);
}

bool FileCanOpen(const std::string& fileName) {
  int fd = OpenExisting(fileName);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

std::string AsciiToLower(const std::string& text) {
  std::string out = text;
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 0x20);
  return out;
}

const char* FindChar(const char* s, char c) {
  for (;; ++s) {
    if (*s == c) return s;
    if (*s == 0) return nullptr;
  }
}

int FindLastOf(const char* delimiters, const std::string& s) {
  for (size_t i = s.size(); i > 0; --i) {
    char c = s[i - 1];
    if (c != 0 && FindChar(delimiters, c) != nullptr) return static_cast<int>(i);
  }
  return 0;
}

std::string FileExtension(const std::string& fileName) {
  int i = FindLastOf(".\\:", fileName);
  if (i > 0 && fileName[i - 1] == '.') return fileName.substr(i - 1);
  return {};
}
