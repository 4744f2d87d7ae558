// Line-by-line reading and writing of plain text files (system.ini and its
// temporary copy) with the C runtime's text-mode rules done here, so the same
// bytes come out wherever the programs run:
//   reading: a CR LF pair is read as LF, and a lone CR is kept;
//   writing: every LF is written as CR LF.
// A Ctrl-Z (0x1A) is text like any other byte: a reader that stopped at it,
// as the C runtime's text mode does, would cost system.ini everything after it.
// Both sides move data in large blocks taken from the process heap; a line
// may be of any length and may hold any byte (NUL included). Memory the heap
// cannot give fails the open, the create or the read, as a platform error does.
#ifndef RQ47_COMMON_TEXT_FILE_H
#define RQ47_COMMON_TEXT_FILE_H

#include <windows.h>

#include <cstddef>
#include <cstring>
#include <string_view>

#include "heap_buffer.h"
#include "unique_handle.h"

// Bytes moved by one platform call; large blocks keep the number of calls
// small even for files of tens of megabytes.
inline constexpr size_t kTextFileBlockSize = 256 * 1024;

class TextFileReader {
 public:
  enum class ReadStatus { kLine, kEnd, kError };

  TextFileReader() = default;
  TextFileReader(const TextFileReader&) = delete;
  TextFileReader& operator=(const TextFileReader&) = delete;

  // Opens an existing file for reading; others may read and write it
  // meanwhile. False when it cannot be opened or no block can be had for it.
  bool open(const char* path);
  void close() { file_.reset(); }

  // The next line: its text without the line end, and whether a line feed
  // ended it (only the last line of a file can lack one). The text stays
  // valid until the next call. kEnd when nothing is left; kError when the
  // platform failed to read or a long line found no memory, after which the
  // reader gives nothing more.
  ReadStatus readLine(std::string_view& text, bool& endsWithLineFeed) {
    // Most lines lie whole in the block read already.
    if (begin_ < end_) {
      const char* start = block_.data() + begin_;
      const void* lineFeed = std::memchr(start, '\n', end_ - begin_);
      if (lineFeed != nullptr) {
        size_t length = static_cast<size_t>(static_cast<const char*>(lineFeed) - start);
        begin_ += length + 1;
        // A CR LF pair is one line end; any other CR is text.
        if (length > 0 && start[length - 1] == '\r') --length;
        text = std::string_view(start, length);
        endsWithLineFeed = true;
        return ReadStatus::kLine;
      }
    }
    return readLineAcrossBlocks(text, endsWithLineFeed);
  }

 private:
  // readLine() for a line that is not whole in the block (or no block yet).
  ReadStatus readLineAcrossBlocks(std::string_view& text, bool& endsWithLineFeed);
  // Reads the next block into the buffer; false on a read error. At the end
  // of the input the buffer stays empty.
  bool fill();
  // Adds text to the line that runs across blocks; false when no memory is left for it.
  bool appendToLongLine(const char* text, size_t length);
  // Gives nothing more: this read and every later one end in kError.
  ReadStatus stop();

  UniqueHandle file_;
  HeapBuffer block_;
  size_t begin_ = 0;  // first byte of the block not yet handed out
  size_t end_ = 0;    // end of the block's data
  bool inputEnded_ = false;
  bool failed_ = false;
  HeapBuffer longLine_;  // a line that runs across blocks
  size_t longLineLength_ = 0;
};

class TextFileWriter {
 public:
  TextFileWriter() = default;
  TextFileWriter(const TextFileWriter&) = delete;
  TextFileWriter& operator=(const TextFileWriter&) = delete;
  // Closes the file; text still buffered is not written (call close() to keep it).
  ~TextFileWriter() = default;

  // Creates the file for reading and writing, or empties it when it exists.
  // False when it cannot be created or no block can be had for it (then the
  // file is not touched).
  bool create(const char* path);

  // Buffers text, every LF as CR LF. False when a block could not be written
  // (then and after, nothing more is written).
  bool write(std::string_view text) {
    // A line is mostly written as two calls, its text and its line feed,
    // that both fit in the block: each is put there at once.
    size_t room = block_.size() - used_;
    if (failed_ || !file_ || text.empty() || text.size() > room) return writeInPieces(text);
    if (text.size() == 1 && text[0] == '\n') {
      if (room < 2) return writeInPieces(text);
      block_.data()[used_++] = '\r';
      block_.data()[used_++] = '\n';
      return true;
    }
    if (std::memchr(text.data(), '\n', text.size()) != nullptr) return writeInPieces(text);
    std::memcpy(block_.data() + used_, text.data(), text.size());
    used_ += text.size();
    return true;
  }
  // Writes what is buffered and closes the file; false when anything written
  // through this writer failed to reach the file.
  bool close();
  // Closes the file without writing what is buffered.
  void abandon();

 private:
  // write() for text with line feeds, or more than the block holds.
  bool writeInPieces(std::string_view text);
  bool flush();

  UniqueHandle file_;
  HeapBuffer block_;
  size_t used_ = 0;
  bool failed_ = false;
};

#endif  // RQ47_COMMON_TEXT_FILE_H
