// Line-by-line reading and writing of plain text files (system.ini and its
// temporary copy) with the C runtime's text-mode rules done here, so the same
// bytes come out wherever the programs run:
//   reading: a CR LF pair is read as LF, a lone CR is kept, and a Ctrl-Z (0x1A)
//            ends the input;
//   writing: every LF is written as CR LF.
// Both sides move data in large blocks; a line may be of any length and may
// hold any byte (NUL included).
#ifndef RQ47_COMMON_TEXT_FILE_H
#define RQ47_COMMON_TEXT_FILE_H

#include <windows.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "unique_handle.h"

// Bytes moved by one platform call; large blocks keep the number of calls
// small even for files of tens of megabytes.
inline constexpr size_t kTextFileBlockSize = 256 * 1024;

class TextFileReader {
 public:
  enum class ReadStatus { kLine, kEnd, kError };

  TextFileReader();
  TextFileReader(const TextFileReader&) = delete;
  TextFileReader& operator=(const TextFileReader&) = delete;

  // Opens an existing file for reading; others may read and write it meanwhile.
  bool open(const char* path);
  void close() { file_.reset(); }

  // The next line: its text without the line end, and whether a line feed
  // ended it (only the last line of a file can lack one). The text stays
  // valid until the next call. kEnd when nothing is left; kError when the
  // platform failed to read, after which the reader gives nothing more.
  ReadStatus readLine(std::string_view& text, bool& endsWithLineFeed);

 private:
  // Reads the next block into the buffer; false on a read error. At the end
  // of the input the buffer stays empty.
  bool fill();

  UniqueHandle file_;
  std::vector<char> block_;
  size_t begin_ = 0;  // first byte of the block not yet handed out
  size_t end_ = 0;    // end of the block's data
  bool inputEnded_ = false;
  bool failed_ = false;
  std::string longLine_;  // a line that runs across blocks
};

class TextFileWriter {
 public:
  TextFileWriter();
  TextFileWriter(const TextFileWriter&) = delete;
  TextFileWriter& operator=(const TextFileWriter&) = delete;
  // Closes the file; text still buffered is not written (call close() to keep it).
  ~TextFileWriter() = default;

  // Creates the file for reading and writing, or empties it when it exists.
  bool create(const char* path);

  // Buffers text, every LF as CR LF. False when a block could not be written
  // (then and after, nothing more is written).
  bool write(std::string_view text);
  // Writes what is buffered and closes the file; false when anything written
  // through this writer failed to reach the file.
  bool close();
  // Closes the file without writing what is buffered.
  void abandon();

 private:
  bool flush();

  UniqueHandle file_;
  std::vector<char> block_;
  size_t used_ = 0;
  bool failed_ = false;
};

#endif  // RQ47_COMMON_TEXT_FILE_H
