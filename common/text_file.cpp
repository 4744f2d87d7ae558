#include "text_file.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "text_view.h"

namespace {
constexpr char kLineFeed = '\n';
constexpr char kCarriageReturn = '\r';
// The first room for a line that runs across blocks; it doubles as needed.
constexpr size_t kFirstLongLineSize = 4096;
}  // namespace

bool TextFileReader::open(const char* path) {
  file_.reset();
  begin_ = end_ = 0;
  inputEnded_ = false;
  longLineLength_ = 0;
  // Without a block nothing could be read: the file is not opened.
  failed_ = !block_ && !block_.allocate(kTextFileBlockSize);
  if (failed_) return false;
  file_.reset(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return file_.valid();
}

bool TextFileReader::fill() {
  begin_ = end_ = 0;
  if (failed_ || !file_) {
    failed_ = true;
    return false;
  }
  DWORD got = 0;
  if (!ReadFile(file_.get(), block_.data(), static_cast<DWORD>(block_.size()), &got, nullptr)) {
    failed_ = true;
    return false;
  }
  size_t size = std::min<size_t>(got, block_.size());
  if (size == 0) {
    inputEnded_ = true;
    return true;
  }
  end_ = size;
  return true;
}

bool TextFileReader::appendToLongLine(const char* text, size_t length) {
  size_t needed = longLineLength_ + length;
  if (needed < length) return false;  // beyond any memory
  if (needed > longLine_.size()) {
    size_t size = std::max(longLine_.size(), kFirstLongLineSize);
    while (size < needed && size <= SIZE_MAX / 2) size *= 2;
    if (!longLine_.grow(std::max(size, needed), longLineLength_)) return false;
  }
  std::memcpy(longLine_.data() + longLineLength_, text, length);
  longLineLength_ = needed;
  return true;
}

TextFileReader::ReadStatus TextFileReader::stop() {
  failed_ = true;
  inputEnded_ = false;
  begin_ = end_ = 0;
  return ReadStatus::kError;
}

TextFileReader::ReadStatus TextFileReader::readLineAcrossBlocks(std::string_view& text,
                                                                bool& endsWithLineFeed) {
  longLineLength_ = 0;
  bool acrossBlocks = false;
  for (;;) {
    if (begin_ == end_) {
      if (!inputEnded_ && !fill()) return ReadStatus::kError;
      if (begin_ == end_) break;  // the input has ended
    }
    char* start = block_.data() + begin_;
    size_t available = end_ - begin_;
    const void* lineFeed = std::memchr(start, kLineFeed, available);
    if (lineFeed == nullptr) {
      if (!appendToLongLine(start, available)) return stop();
      acrossBlocks = true;
      begin_ = end_;
      continue;
    }
    size_t length = static_cast<size_t>(static_cast<const char*>(lineFeed) - start);
    begin_ += length + 1;
    if (acrossBlocks) {
      if (!appendToLongLine(start, length)) return stop();
      text = std::string_view(longLine_.data(), longLineLength_);
    } else {
      text = std::string_view(start, length);
    }
    // A CR LF pair is one line end; any other CR is text.
    if (!text.empty() && text.back() == kCarriageReturn) text.remove_suffix(1);
    endsWithLineFeed = true;
    return ReadStatus::kLine;
  }
  if (!acrossBlocks) return ReadStatus::kEnd;
  text = std::string_view(longLine_.data(), longLineLength_);  // the last line, without a line feed
  endsWithLineFeed = false;
  return ReadStatus::kLine;
}

bool TextFileWriter::create(const char* path) {
  file_.reset();
  used_ = 0;
  // Without a block nothing could be written: the file is left as it is.
  failed_ = !block_ && !block_.allocate(kTextFileBlockSize);
  if (failed_) return false;
  file_.reset(CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  failed_ = !file_.valid();
  return file_.valid();
}

bool TextFileWriter::writeInPieces(std::string_view text) {
  if (failed_ || !file_) return false;
  while (!text.empty()) {
    const void* lineFeed = std::memchr(text.data(), kLineFeed, text.size());
    size_t plain = lineFeed == nullptr
                       ? text.size()
                       : static_cast<size_t>(static_cast<const char*>(lineFeed) - text.data());
    std::string_view rest = TextBefore(text, plain);
    while (!rest.empty()) {
      if (used_ == block_.size() && !flush()) return false;
      size_t chunk = std::min(rest.size(), block_.size() - used_);
      std::memcpy(block_.data() + used_, rest.data(), chunk);
      used_ += chunk;
      rest.remove_prefix(chunk);
    }
    if (lineFeed == nullptr) break;
    if (block_.size() - used_ < 2 && !flush()) return false;
    block_.data()[used_++] = kCarriageReturn;
    block_.data()[used_++] = kLineFeed;
    text.remove_prefix(plain + 1);
  }
  return true;
}

bool TextFileWriter::flush() {
  size_t done = 0;
  while (done < used_) {
    DWORD wrote = 0;
    DWORD want = static_cast<DWORD>(used_ - done);
    // A write that takes nothing (a full disk) would never finish.
    if (!WriteFile(file_.get(), block_.data() + done, want, &wrote, nullptr) || wrote == 0 ||
        wrote > want) {
      failed_ = true;
      return false;
    }
    done += wrote;
  }
  used_ = 0;
  return true;
}

bool TextFileWriter::close() {
  if (!file_) return false;
  bool written = !failed_ && flush();
  used_ = 0;
  if (!CloseHandle(file_.release())) written = false;
  return written;
}

void TextFileWriter::abandon() {
  used_ = 0;
  file_.reset();
}
